#include "driver/run_one.h"

#include <cmath>
#include <filesystem>
#include <iostream>
#include <memory>
#include <unistd.h>

#include "driver/solve_and_assess.h"
#include "model/paar.h"
#include "numeric/interrupt.h"
#include "output/matrix_dump.h"
#include "output/plot_scripts.h"
#include "output/result_table.h"
#include "output/run_directory.h"
#include "output/run_log.h"
#include "output/run_summary.h"
#include "output/sim_report.h"
#include "output/tidy_tables.h"

namespace {

// The table, the tidy tables and the plot scripts; false when one failed
// (each failure is said on standard output).
bool write_tables_and_scripts(Paar& m) {
  bool ok = true;
  if (!write_out(m)) {
    m.report().out() << "write_out failed\n";
    ok = false;
  }
  if (!write_tidy_tables(m)) {
    m.report().out() << "could not write the tables " << m.stem() << "-*.csv\n";
    ok = false;
  }
  if (!gnuplot_out(m)) {
    m.report().out() << "gnuplot_out failed\n";
    ok = false;
  }
  return ok;
}

// The estimates' refresh after each block from the fifth on.
void write_results(Paar& m) { write_tables_and_scripts(m); }

// Every warning of the run again, then the files of its directory, so that
// neither is lost among the progress lines above.
void closing_block(Paar& m, std::string const& param_file) {
  std::ostream& out = m.report().out();
  auto const& w = m.report().warnings();
  out << "\n";
  if (w.empty()) out << "No warnings.\n";
  else out << w.size() << (w.size() == 1 ? " warning:\n" : " warnings:\n");
  for (std::string const& line : w) out << "  " << console_line(line) << "\n";
  out << "Files in " << m.setup->path << ":\n ";
  size_t col = 1;
  for (std::string const& f : run_files(m, param_file)) {
    std::string name = std::filesystem::path(f).filename().string();
    if (col > 1 && col + 1 + name.size() > 100) out << "\n ", col = 1;
    out << " " << name;
    col += 1 + name.size();
  }
  out << "\n";
}

// The solver of the mode, the result tables, the plot scripts, the closing
// lines and the summary. Returns the exit status.
int run_mode(Paar& model, RunRequest const& r, RunSummary& summary) {
  SolveOutcome o;
  if (model.setup->mode == "fit" || model.setup->mode == "err")
    o = solve_and_assess(model, r.solver, write_results, r.fit_scaling, summary);
  summary.solver_details = model.results.details;
  bool failed = model.results.output_failed || model.results.solver_failed || !o.finite ||
                (o.mc != McStatus::kDone && o.mc != McStatus::kInterrupted);
  if (!write_tables_and_scripts(model)) failed = true;
  int status = failed ? 1 : 0;
  if (interrupt_signal() != 0) {
    std::string msg = std::string("Run interrupted by ") + interrupt_signal_name() +
                      ": the results so far are written\n";
    model.report().log() << msg;
    model.report().out() << msg;
    status = 128 + interrupt_signal();
  }
  if (summary.fitted) report_result_lines(model, summary.assessment);
  if (model.setup->mode == "sim") report_simulation(model);
  summary.status = status;
  if (!write_summary_json(model, summary)) {
    model.report().out() << "could not write the summary " << model.stem() << ".json\n";
    if (status == 0) status = 1;
  }
  model.report().out().flush();
  return status;
}

// A signal before the solver: the kernel may be incomplete, so nothing is
// computed from it; the log and the summary say which signal came.
int stop_before_results(Paar& model, RunSummary& summary) {
  std::string msg = std::string("Run interrupted by ") + interrupt_signal_name() +
                    " before any result: none is written\n";
  model.report().both(msg);
  summary.status = 128 + interrupt_signal();
  model.chi2 = std::nan("");  // no fit: the summary shows null
  if (!write_summary_json(model, summary))
    model.report().out() << "could not write the summary " << model.stem() << ".json\n";
  model.report().out().flush();
  return summary.status;
}

}  // namespace

int run_one(RunRequest const& r) {
  auto setup = std::make_shared<RunSetup>(r.inputs);
  if (!setup->problem().empty()) {
    (r.console ? *r.console : std::cout) << setup->problem();
    return 1;
  }
  Report report(r.console ? r.console : &std::cout, !r.console && isatty(STDOUT_FILENO) == 1);
  for (std::string const& w : r.warnings) report.keep_warning(w);
  // The model is made on the set-up before its matrices are filled: no copy
  // exists until the solver runs.
  Paar model(setup, report);
  model.results.solver = r.solver;
  defer_interrupts();
  open_run_directory(model, r.param_file.c_str(), r.inputs.texts);
  write_log_head(model);
  setup->report_inputs(report);
  setup->build_transforms(report);
  if (interrupt_signal() == 0) write_matrix_dumps(model);
  RunSummary summary;
  summary.command = r.command;
  summary.parameter_file = r.param_file;
  int status = interrupt_signal() != 0 ? stop_before_results(model, summary) : run_mode(model, r, summary);
  closing_block(model, r.param_file);
  return status;
}
