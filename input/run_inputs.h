// Everything a run reads, checked, before anything is created on disk: the
// parameter file, the nuclei, the data and the prescribed distribution.
#ifndef REDORDIST_INPUT_RUN_INPUTS_H
#define REDORDIST_INPUT_RUN_INPUTS_H

#include <string>
#include <vector>

#include "input/data_file.h"
#include "input/run_params.h"

struct RunInputs {
  RunParams params;
  double gamma_x = 0.0, gamma_y = 0.0;  // of XN and YN
  std::vector<DataPoint> data;
  PrescribedDist prescribed;
};

// Reads and checks all inputs named by the parameter file; any refusal ends
// the process with one line and status 1 before anything is written.
RunInputs read_run_inputs(char const* param_file);

// What the deterministic solvers need beyond the common checks: a positive
// SCALING (their curve divides by it) and, for the Gaussians, a grid range
// wide enough for a width above the floor. Refused with one line, status 1.
void check_solver_inputs(RunParams const& p, std::string const& solver);

#endif
