// One run: a solver on checked inputs into its run directory PATH + OUTPUT +
// "/", from the run log to the summary. Each run has its own report, set-up
// and model, so several runs in one process share nothing but the inputs.
#ifndef REDORDIST_DRIVER_RUN_ONE_H
#define REDORDIST_DRIVER_RUN_ONE_H

#include <ostream>
#include <string>
#include <vector>

#include "input/run_inputs.h"

struct RunRequest {
  RunInputs inputs;                   // checked; params.output_base names the run
  std::string solver;                 // annealing, maxent or gaussians
  std::string param_file;             // as given on the command line
  std::vector<std::string> command;   // the argument vector, for the summary
  std::vector<std::string> warnings;  // the input readers' warnings, already shown
  bool fit_scaling = false;           // SCALING fitted with the distribution
  std::ostream* console = nullptr;    // where the run's lines go; null: standard output
};

// Runs the mode of the inputs with the solver and writes every output, then
// one closing block on standard output: every warning again and the files
// written. Returns the exit status (0, 1, or 128 + signal).
int run_one(RunRequest const& request);

#endif
