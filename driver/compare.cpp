#include "driver/compare.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "driver/run_one.h"
#include "input/param_keys.h"
#include "input/param_limits.h"
#include "input/run_inputs.h"
#include "input/text_lines.h"
#include "numeric/gsl_errors.h"
#include "numeric/interrupt.h"
#include "numeric/warnings.h"
#include "output/atomic_file.h"
#include "output/compare_report.h"
#include "output/gnuplot_run.h"
#include "output/run_directory.h"

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
    // A file written for maxent or the Gaussians has no annealing schedule:
    // the annealing run takes the template's.
    st = read_run_inputs(files, param_file, kSolvers[i], in.back(), i == 0);
    warnings.push_back(take_warnings());
  }
  std::cout.rdbuf(shown);
  return st;
}

// What the comparison needs beyond each run's checks: a mode that fits,
// run names within the limits, and no input among the comparison's files.
// (The three run directories are checked in check_directories.)
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

// Each run's set-up and directory, checked before any of them is touched:
// a comparison does not replace one run and then refuse the next.
InputStatus check_directories(std::vector<RunInputs> const& inputs, std::string const& param_file) {
  for (size_t i = 0; i < 3; i++) {
    RunInputs in = inputs[i];
    in.params.output_base += std::string("-") + kSolvers[i];
    RunSetup setup(in);
    if (!setup.problem().empty()) return refused(setup.problem());
    std::string conflict = run_directory_conflict(setup, param_file);
    if (!conflict.empty()) return refused(conflict);
  }
  return std::nullopt;
}

// The annealing's schedule keys that took the template's values, said once.
void note_schedule_defaults(RunParams const& p, std::string const& param_file) {
  std::string keys;
  auto const& table = param_keys();
  for (size_t i = 0; i < table.size(); i++)
    if ((p.defaulted >> i & 1) && (table[i].need == Need::kAnnealing || table[i].need == Need::kAnnealingErr) &&
        key_used(table[i], p.mode, "annealing"))
      keys += std::string(keys.empty() ? "" : ", ") + table[i].name;
  if (!keys.empty())
    std::cout << "note: " << printable(param_file) << " has no " << keys
              << ": the annealing run takes the values redordist --template writes\n";
}

// The comparison's own files of an earlier comparison: removed before the
// runs, so that none stands beside runs it does not describe.
void remove_comparison_files(std::string const& stem) {
  std::error_code ec;
  for (char const* suffix : kCompareSuffixes) fs::remove(stem + suffix, ec);
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

// The comparison's summary and the line naming its files; false when the
// summary could not be written.
bool write_comparison(Comparison const& c, int status) {
  std::string name = c.path + c.base + "-compare.json";
  if (!write_file_atomically(name, compare_json(c, status).dump(2) + "\n")) {
    std::cout << "could not write the comparison " << name << "\n";
    return false;
  }
  std::cout << "Comparison files: " << name;
  if (fs::exists(c.path + c.base + "-compare.png")) std::cout << ", " << c.path << c.base << "-compare.png and .pdf";
  std::cout << std::endl;
  return true;
}

}  // namespace

int run_comparison(std::string const& param_file, std::vector<std::string> const& command) {
  install_interrupt_handlers();
  gsl_errors_as_statuses();
  std::vector<RunInputs> inputs;
  std::vector<std::vector<std::string>> warnings;
  InputStatus refusal = read_all_inputs(param_file, inputs, warnings);
  if (!refusal) refusal = check_comparison(inputs[0].params, param_file);
  if (!refusal) refusal = check_directories(inputs, param_file);
  if (refusal) {
    std::cout << refusal->message << std::flush;
    return refusal->status;
  }
  note_schedule_defaults(inputs[0].params, param_file);
  Comparison c{inputs[0].params.path, inputs[0].params.output_base, command, param_file, {}, {}};
  remove_comparison_files(c.path + c.base + "-compare");
  int status = 0;
  for (size_t i = 0; i < 3; i++) {
    RunRequest r{inputs[i], kSolvers[i], param_file, command, warnings[i]};
    std::string base = c.base + "-" + kSolvers[i];
    r.inputs.params.output_base = base;
    std::cout << (i ? "\n" : "") << "=== " << kSolvers[i] << ": " << c.path << base << "/ ===\n";
    int s = run_one(r);
    status = std::max(status, s);
    c.runs.push_back({kSolvers[i], base, s, read_summary(c.path, base)});
    if (interrupt_signal() != 0) {
      // The runs not made hold an earlier comparison's results: said so.
      for (size_t k = i + 1; k < 3; k++) c.stale.push_back(kSolvers[k]);
      std::cout << "\n";
      write_comparison(c, 128 + interrupt_signal());
      return 128 + interrupt_signal();
    }
  }
  bool ok = render_figure(c);
  std::cout << "\n" << compare_table(c);
  ok = write_comparison(c, std::max(status, ok ? 0 : 1)) && ok;
  return std::max(status, ok ? 0 : 1);
}
