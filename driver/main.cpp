// redordist: distance distributions from REDOR dephasing curves. One run per
// parameter file; see README.md and redordist(1).
#include <iostream>
#include <string>
#include <vector>

#include "driver/command_line.h"
#include "driver/solve.h"
#include "driver/usage_text.h"
#include "input/run_inputs.h"
#include "input/text_lines.h"
#include "model/paar.h"
#include "numeric/interrupt.h"
#include "output/matrix_dump.h"
#include "output/plot_scripts.h"
#include "output/result_table.h"
#include "output/run_directory.h"
#include "output/run_log.h"
#include "output/run_summary.h"
#include "solver/annealing/boltzmann_me.h"

namespace {

void write_results(Paar& m) {
  if (!write_out(m)) std::cout << "write_out failed\n";
  if (!gnuplot_out(m)) std::cout << "gnuplot_out failed\n";
}

// The solver of the mode, the result table, the plot scripts, the closing
// lines and the summary. Returns the exit status.
int run_mode(Paar& model, std::string const& solver, RunSummary& summary) {
  SolveOutcome o;
  if (model.mode == "fit" || model.mode == "err") o = solve(model, solver, write_results);
  summary.fitted = o.fitted && o.finite;
  summary.solver_details = o.details;
  if (summary.fitted) summary.diagnostics = report_diagnostics(model);
  bool failed = model.output_failed || !o.finite || (o.mc != kMcDone && o.mc != kMcInterrupted);
  if (!write_out(model)) {
    std::cout << "write_out failed\n";
    failed = true;
  }
  if (!gnuplot_out(model)) {
    std::cout << "gnuplot_out failed\n";
    failed = true;
  }
  int status = failed ? 1 : 0;
  if (interrupt_signal() != 0) {
    std::string msg = std::string("Run interrupted by ") + interrupt_signal_name() +
                      ": the results so far are written\n";
    model.log << msg;
    std::cout << msg;
    status = 128 + interrupt_signal();
  }
  if (summary.fitted) report_result_lines(model);
  summary.status = status;
  if (!write_summary_json(model, summary)) {
    std::cout << "could not write the summary " << model.stem() << ".json\n";
    if (status == 0) status = 1;
  }
  std::cout.flush();
  return status;
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

  install_interrupt_handlers();
  // Everything is read and checked before the run directory is touched.
  RunInputs inputs;
  if (InputStatus refusal = read_run_inputs(cl.param_file, cl.solver, inputs)) {
    std::cout << refusal->message << std::flush;
    return refusal->status;
  }
  Paar model(inputs);
  model.solver = cl.solver;
  open_run_directory(model, cl.param_file.c_str());
  write_log_head(model);
  model.report_inputs();
  model.build_transforms();
  write_matrix_dumps(model);
  RunSummary summary;
  summary.command.assign(argv, argv + argc);
  summary.parameter_file = cl.param_file;
  return run_mode(model, cl.solver, summary);
}
