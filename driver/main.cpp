// redordist: distance distributions from REDOR dephasing curves. One run per
// parameter file; see README.md and redordist(1).
#include <cmath>
#include <iostream>
#include <string>
#include <vector>

#include "driver/command_line.h"
#include "driver/solve.h"
#include "driver/usage_text.h"
#include "input/run_inputs.h"
#include "input/text_lines.h"
#include "model/paar.h"
#include "numeric/gsl_errors.h"
#include "numeric/interrupt.h"
#include "numeric/warnings.h"
#include "output/matrix_dump.h"
#include "output/plot_scripts.h"
#include "output/result_table.h"
#include "output/run_directory.h"
#include "output/run_log.h"
#include "output/run_summary.h"

namespace {

void write_results(Paar& m) {
  if (!write_out(m)) m.report().out() << "write_out failed\n";
  if (!gnuplot_out(m)) m.report().out() << "gnuplot_out failed\n";
}

// The solver of the mode, the result table, the plot scripts, the closing
// lines and the summary. Returns the exit status.
int run_mode(Paar& model, std::string const& solver, RunSummary& summary) {
  SolveOutcome o;
  if (model.setup->mode == "fit" || model.setup->mode == "err") o = solve(model, solver, write_results);
  summary.fitted = o.fitted && o.finite;
  summary.solver_details = model.results.details;
  if (summary.fitted) summary.diagnostics = report_diagnostics(model);
  bool failed = model.results.output_failed || model.results.solver_failed || !o.finite ||
                (o.mc != McStatus::kDone && o.mc != McStatus::kInterrupted);
  if (!write_out(model)) {
    model.report().out() << "write_out failed\n";
    failed = true;
  }
  if (!gnuplot_out(model)) {
    model.report().out() << "gnuplot_out failed\n";
    failed = true;
  }
  int status = failed ? 1 : 0;
  if (interrupt_signal() != 0) {
    std::string msg = std::string("Run interrupted by ") + interrupt_signal_name() +
                      ": the results so far are written\n";
    model.report().log() << msg;
    model.report().out() << msg;
    status = 128 + interrupt_signal();
  }
  if (summary.fitted) report_result_lines(model);
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

int main(int argc, char** argv) {
  CommandLine cl = parse_command_line(argc, argv);
  if (!cl.error.empty()) {
    std::cout << cl.error;
    return 1;
  }
  if (cl.help) {
    print_help(std::cout);
    return 0;
  }
  if (cl.version) {
    std::cout << "redordist 1\n";
    return 0;
  }
  if (cl.print_template) {
    print_template(std::cout, cl.solver);
    return 0;
  }

  // Until the run directory is touched a signal ends the process at once,
  // even while reading a FIFO blocks; from then on it stops the run at the
  // next safe point.
  install_interrupt_handlers();
  gsl_errors_as_statuses();
  // Everything is read and checked before the run directory is touched.
  RunInputs inputs;
  if (InputStatus refusal = read_run_inputs(cl.param_file, cl.solver, inputs)) {
    std::cout << refusal->message << std::flush;
    return refusal->status;
  }
  auto setup = std::make_shared<RunSetup>(inputs);
  if (!setup->problem().empty()) {
    std::cout << setup->problem();
    return 1;
  }
  Report report(&std::cout);
  for (std::string const& w : take_warnings()) report.keep_warning(w);
  // The model is made on the set-up before its matrices are filled: no copy
  // exists until the solver runs.
  Paar model(setup, report);
  model.results.solver = cl.solver;
  defer_interrupts();
  open_run_directory(model, cl.param_file.c_str());
  write_log_head(model);
  setup->report_inputs(report);
  setup->build_transforms(report);
  if (interrupt_signal() == 0) write_matrix_dumps(model);
  RunSummary summary;
  summary.command.assign(argv, argv + argc);
  summary.parameter_file = cl.param_file;
  if (interrupt_signal() != 0) return stop_before_results(model, summary);
  return run_mode(model, cl.solver, summary);
}
