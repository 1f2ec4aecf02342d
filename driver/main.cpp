// redordist: distance distributions from REDOR dephasing curves. One run per
// parameter file; see README.md and redordist(1).
#include <iostream>
#include <string>

#include "driver/command_line.h"
#include "driver/compare.h"
#include "driver/run_one.h"
#include "driver/study.h"
#include "driver/usage_text.h"
#include "input/run_inputs.h"
#include "numeric/gsl_errors.h"
#include "numeric/interrupt.h"
#include "numeric/warnings.h"

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
  if (cl.compare) return run_comparison(cl.param_file, {argv, argv + argc});
  if (!cl.study_file.empty())
    return run_study({cl.param_file, cl.study_file, cl.solver, cl.fit_scaling, cl.shared, {argv, argv + argc}});

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
  if (cl.fit_scaling && inputs.params.mode == "sim") {
    std::cout << cl.param_file << ": MODE sim simulates and fits nothing; --fit-scaling needs MODE fit or err\n";
    return 1;
  }
  return run_one({inputs, cl.solver, cl.param_file, {argv, argv + argc}, take_warnings(), cl.fit_scaling});
}
