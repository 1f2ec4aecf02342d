#include "driver/compare.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <gsl/gsl_errno.h>

#include "driver/run_one.h"
#include "input/param_limits.h"
#include "input/run_inputs.h"
#include "input/text_lines.h"
#include "numeric/fatal.h"
#include "numeric/interrupt.h"
#include "numeric/warnings.h"
#include "output/atomic_file.h"
#include "output/compare_report.h"
#include "output/gnuplot_run.h"

namespace fs = std::filesystem;

namespace {

const char* const kSolvers[] = {"annealing", "maxent", "gaussians"};
const char* const kCompareSuffixes[] = {"-compare.json", "-compare.gp", "-compare.png", "-compare.pdf"};

// What the comparison needs beyond one run's checks, refused before
// anything is written: a mode that fits, every solver's own conditions,
// run names within the limits, and no input among the comparison's files.
void check_compare_inputs(RunInputs const& in, std::string const& param_file) {
  RunParams const& p = in.params;
  if (p.mode != "fit" && p.mode != "err")
    fatal_exit("--compare needs MODE fit or err; " + printable(param_file) + " has MODE " + printable(p.mode) + "\n", 1);
  for (char const* s : kSolvers) {
    check_solver_inputs(p, s);
    std::string base = p.output_base + "-" + s;
    if (base.size() > kMaxOutputLen || (p.path + base + "/").size() > kMaxRunDirLen)
      fatal_exit("input error: OUTPUT " + printable(p.output_base) + " is too long for the run " + printable(base) +
                     " of --compare; shorten OUTPUT or PATH\n", 1);
  }
  for (char const* suffix : kCompareSuffixes) {
    std::string out = p.path + p.output_base + suffix;
    std::error_code ec;
    for (std::string const& f : {param_file, p.xydata_file, p.distdist_file, p.lambda_d_file})
      if (!f.empty() && fs::exists(out, ec) && fs::equivalent(f, out, ec))
        fatal_exit("input error: " + printable(f) + " would be overwritten by the comparison as " + printable(out) +
                       "; choose another OUTPUT\n", 1);
  }
}

// The figure: the script written, the old figures removed, gnuplot run in
// PATH. False when the script could not be written or gnuplot failed.
bool render_figure(Comparison const& c) {
  std::string script = compare_figure_script(c), stem = c.path + c.base + "-compare";
  std::error_code ec;
  fs::remove(stem + ".png", ec);
  fs::remove(stem + ".pdf", ec);
  if (script.empty()) {
    std::cout << "note: no run has a distribution; no comparison figure is drawn\n";
    return true;
  }
  if (!write_file_atomically(stem + ".gp", script)) {
    std::cout << "could not write the comparison script " << stem << ".gp\n";
    return false;
  }
  return run_gnuplot({c.base + "-compare.gp"}, stem + ".gp", c.path) != GnuplotEnd::kFailed;
}

}  // namespace

int compare_main(int argc, char** argv) {
  if (argc != 3) {
    std::cout << "usage: redordist --compare PARAMETER_FILE\n";
    return 1;
  }
  install_interrupt_handlers();
  gsl_set_error_handler_off();
  RunInputs inputs = read_run_inputs(argv[2]);
  check_compare_inputs(inputs, argv[2]);
  std::vector<std::string> warnings = take_warnings();
  Comparison c{inputs.params.path, inputs.params.output_base, {argv, argv + argc}, argv[2], {}};
  int status = 0;
  for (char const* solver : kSolvers) {
    RunRequest r{inputs, solver, argv[2], c.command, warnings};
    r.inputs.params.output_base = c.base + "-" + solver;
    std::cout << (c.runs.empty() ? "" : "\n") << "=== " << solver << ": " << c.path << r.inputs.params.output_base
              << "/ ===\n";
    int s = run_one(r);
    status = std::max(status, s);
    if (interrupt_signal() != 0) return 128 + interrupt_signal();
    c.runs.push_back({solver, r.inputs.params.output_base, s, read_summary(c.path, r.inputs.params.output_base)});
  }
  bool ok = render_figure(c);
  std::cout << "\n" << compare_table(c);
  std::string name = c.path + c.base + "-compare.json";
  if (!write_file_atomically(name, compare_json(c, std::max(status, ok ? 0 : 1)).dump(2) + "\n")) {
    std::cout << "could not write the comparison " << name << "\n";
    ok = false;
  }
  std::cout << "Comparison files: " << name;
  if (fs::exists(c.path + c.base + "-compare.png")) std::cout << ", " << c.path << c.base << "-compare.png and .pdf";
  std::cout << std::endl;
  return std::max(status, ok ? 0 : 1);
}
