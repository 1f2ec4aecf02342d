#include "driver/compare.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "driver/run_one.h"
#include "input/param_limits.h"
#include "input/run_inputs.h"
#include "input/text_lines.h"
#include "numeric/gsl_errors.h"
#include "numeric/interrupt.h"
#include "numeric/warnings.h"
#include "output/atomic_file.h"
#include "output/compare_report.h"
#include "output/gnuplot_run.h"

namespace fs = std::filesystem;

namespace {

const char* const kSolvers[] = {"annealing", "maxent", "gaussians"};
const char* const kCompareSuffixes[] = {"-compare.json", "-compare.gp", "-compare.png", "-compare.pdf"};

// Every solver's inputs, read and checked as a run of that solver alone
// reads them, before anything is written. The input warnings are shown
// once, while the first solver's are read; each run keeps its own list.
InputStatus read_all_inputs(std::string const& param_file, std::vector<RunInputs>& in,
                            std::vector<std::vector<std::string>>& warnings) {
  std::streambuf* shown = std::cout.rdbuf();
  std::ostringstream quiet;
  InputFiles files;  // each file read once, for all three runs
  InputStatus st;
  for (size_t i = 0; i < 3 && !st; i++) {
    if (i > 0) std::cout.rdbuf(quiet.rdbuf());  // the same warnings again
    in.emplace_back();
    st = read_run_inputs(files, param_file, kSolvers[i], in.back());
    warnings.push_back(take_warnings());
  }
  std::cout.rdbuf(shown);
  return st;
}

// What the comparison needs beyond each run's checks: a mode that fits,
// run names within the limits, and no input among the comparison's files.
InputStatus check_comparison(RunParams const& p, std::string const& param_file) {
  if (p.mode != "fit" && p.mode != "err")
    return refused("--compare needs MODE fit or err; " + printable(param_file) + " has MODE " + printable(p.mode) + "\n");
  for (char const* s : kSolvers) {
    std::string base = p.output_base + "-" + s;
    if (base.size() > kMaxOutputLen || (p.path + base + "/").size() > kMaxRunDirLen)
      return refused("input error: OUTPUT " + printable(p.output_base) + " is too long for the run " +
                     printable(base) + " of --compare; shorten OUTPUT or PATH\n");
  }
  for (char const* suffix : kCompareSuffixes) {
    std::string out = p.path + p.output_base + suffix;
    std::error_code ec;
    for (std::string const& f : {param_file, p.xydata_file, p.distdist_file, p.lambda_d_file})
      if (!f.empty() && fs::exists(out, ec) && fs::equivalent(f, out, ec))
        return refused("input error: " + printable(f) + " would be overwritten by the comparison as " +
                       printable(out) + "; choose another OUTPUT\n");
  }
  return std::nullopt;
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

int run_comparison(std::string const& param_file, std::vector<std::string> const& command) {
  install_interrupt_handlers();
  gsl_errors_as_statuses();
  std::vector<RunInputs> inputs;
  std::vector<std::vector<std::string>> warnings;
  InputStatus refusal = read_all_inputs(param_file, inputs, warnings);
  if (!refusal) refusal = check_comparison(inputs[0].params, param_file);
  if (refusal) {
    std::cout << refusal->message << std::flush;
    return refusal->status;
  }
  Comparison c{inputs[0].params.path, inputs[0].params.output_base, command, param_file, {}};
  int status = 0;
  for (size_t i = 0; i < 3; i++) {
    RunRequest r{inputs[i], kSolvers[i], param_file, command, warnings[i]};
    std::string base = c.base + "-" + kSolvers[i];
    r.inputs.params.output_base = base;
    std::cout << (i ? "\n" : "") << "=== " << kSolvers[i] << ": " << c.path << base << "/ ===\n";
    int s = run_one(r);
    status = std::max(status, s);
    if (interrupt_signal() != 0) return 128 + interrupt_signal();
    c.runs.push_back({kSolvers[i], base, s, read_summary(c.path, base)});
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
