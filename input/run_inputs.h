// Everything a run reads, checked, before anything is created on disk: the
// parameter file, the nuclei, the data and the prescribed distribution.
#ifndef REDORDIST_INPUT_RUN_INPUTS_H
#define REDORDIST_INPUT_RUN_INPUTS_H

#include <string>
#include <vector>

#include "input/data_file.h"
#include "input/input_status.h"
#include "input/run_params.h"

struct RunInputs {
  RunParams params;
  double gamma_x = 0.0, gamma_y = 0.0;  // of XN and YN
  std::vector<DataPoint> data;
  PrescribedDist prescribed;
  std::vector<std::string> curve_lines;  // of LAMBDA_D unless none
  InputTexts texts;  // the bytes of the parameter, data and prescribed files
};

// Reads and checks all inputs named by the parameter file for a run with
// this solver (annealing, maxent or gaussians); the first refusal is
// returned, and nothing has been written then.
// Each file is read once through files: a comparison passes the same files
// to the inputs of its three runs.
InputStatus read_run_inputs(InputFiles& files, std::string const& param_file, std::string const& solver,
                            RunInputs& in, bool schedule_defaults = false);
InputStatus read_run_inputs(std::string const& param_file, std::string const& solver, RunInputs& in);

#endif
