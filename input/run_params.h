// Everything the parameter file says, as read: texts, the distance grid, the
// spinning set-up, the fit's schedule (one value per try) and the Monte
// Carlo schedule. Units: Angstrom, Hz, microseconds. The keys themselves,
// their defaults and rules are in input/param_keys.h.
#ifndef REDORDIST_INPUT_RUN_PARAMS_H
#define REDORDIST_INPUT_RUN_PARAMS_H

#include <string>
#include <vector>

#include "input/input_files.h"
#include "input/input_status.h"

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
  // Bit k set: key k of param_keys() was left out and took its default.
  unsigned long long defaulted = 0;
  // Where the values were read, for refusals: the file as named, and the
  // line of each key (by its index in param_keys(); 0 for a default).
  std::string param_file;
  std::vector<size_t> key_line;
};

// Reads the parameter file: KEY: value lines in any order, blank lines and
// "#" comments anywhere; the 33-line file of earlier versions is one such
// file. Keys a run of this solver and mode does not need may be left out and
// take their defaults. Refuses (one line naming the file, line or key, the
// value and the fix) an unreadable file, an unknown, misspelt or repeated
// key, a value that is not wholly a number, and a missing key the run needs.
// With schedule_defaults (--compare on a file written for another solver),
// the annealing's schedule keys the file leaves out take their defaults.
InputStatus read_params(InputFiles& files, std::string const& param_file, std::string const& solver,
                        RunParams& p, bool schedule_defaults = false);
// The same with the file read from disk.
InputStatus read_params(std::string const& param_file, std::string const& solver, RunParams& p);

// Refuses values that cannot make a run with this solver (one line naming
// the key, the value and the rule).
InputStatus check_params(RunParams const& p, std::string const& solver);

#endif
