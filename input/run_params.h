// Everything the 33-line parameter file says, as read: texts, the distance
// grid, the spinning set-up, the fit's schedule (one value per try) and the
// Monte Carlo schedule. Units: Angstrom, Hz, microseconds.
#ifndef REDORDIST_INPUT_RUN_PARAMS_H
#define REDORDIST_INPUT_RUN_PARAMS_H

#include <string>
#include <vector>

struct RunParams {
  std::string mode;             // "fit", "err" or "sim"
  std::string lambda_d_file;    // universal dephasing curve (optional)
  std::string xydata_file;      // the measured REDOR curve
  std::string distdist_file;    // prescribed distance distribution (optional)
  std::string path;             // PATH; the run directory once the model is built
  std::string output_base;      // OUTPUT
  std::string detect_nucleus;   // XN
  std::string dephase_nucleus;  // YN
  double near = 0.0, far = 0.0, grain = 0.0;  // Angstrom
  int per_2pi = 0;
  double mid_pulse = 0.0;  // microseconds
  double mas = 0.0;        // Hz
  double scaling_a = 0.0;  // SCALING: the dephasable fraction
  double scaling_b = 0.0;  // SCALING's optional second value, only echoed
  int last_point = 0;
  int ntries = 0;
  // One value per try (NTRIES of each).
  std::vector<double> iters_at_temp, max_step_size, boltzmann, init_temp, atten_temp, min_temp;
  int err_iters_at_temp = 0;
  double err_max_step_size = 0.0;
  double err_boltzmann = 0.0;
  double err_init_temp = 0.0;
  double err_atten_temp = 0.0;
  double err_min_temp = 0.0;
  double min_stdev2 = 0.0;
  int per_mc_block = 0;
  int max_mc_blocks = 0;
  double max_mc_chi2 = 0.0;
};

// Reads the parameter file (its first 33 lines, by position). A line that
// does not match its key leaves the field at 0 or empty, with a warning on
// standard output. An unreadable file ends the process with a message.
RunParams read_params(char const* param_file);

// Refuses, with one line and status 1, values that cannot make a run.
void check_params(RunParams const& p);

#endif
