// redordist: distance distributions from REDOR dephasing curves. One run per
// parameter file; see README.md and redordist(1).
#include <cstring>
#include <iostream>
#include <string>

#include "driver/compare.h"
#include "driver/run_one.h"
#include "driver/solve.h"
#include "driver/usage_text.h"
#include "input/run_inputs.h"
#include "input/text_lines.h"
#include "numeric/interrupt.h"
#include "numeric/warnings.h"

#include <gsl/gsl_errno.h>

namespace {

const char* const kUsage = "usage: redordist [--solver annealing|maxent|gaussians] PARAMETER_FILE\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--compare") == 0) return compare_main(argc, argv);
  std::string solver = "annealing";
  int arg = 1;
  if (argc >= 2 && std::strcmp(argv[1], "--solver") == 0) {
    if (argc < 3) {
      std::cout << "--solver needs a name: annealing, maxent or gaussians\n";
      return 1;
    }
    solver = argv[2];
    arg = 3;
    if (!known_solver(solver)) {
      std::cout << "unknown solver \"" << printable(solver)
                << "\"; choose annealing, maxent or gaussians\n";
      return 1;
    }
  }
  if (argc <= arg) {
    std::cout << kUsage;
    return 1;
  }
  if (std::strcmp(argv[arg], "--help") == 0) {
    print_help(std::cout);
    return 0;
  }
  if (std::strcmp(argv[arg], "--template") == 0) {
    print_template(std::cout);
    return 0;
  }
  if (std::strcmp(argv[arg], "--version") == 0) {
    std::cout << "redordist 1\n";
    return 0;
  }

  // Until the run directory is touched a signal ends the process at once,
  // even while reading a FIFO blocks; from then on it stops the run at the
  // next safe point.
  install_interrupt_handlers();
  // GSL's aborting error handler is switched off once, for the whole run and
  // every thread: each caller checks the status GSL returns.
  gsl_set_error_handler_off();
  // Everything is read and checked before the run directory is touched.
  RunInputs inputs = read_run_inputs(argv[arg]);
  check_solver_inputs(inputs.params, solver);
  return run_one({inputs, solver, argv[arg], {argv, argv + argc}, take_warnings()});
}
