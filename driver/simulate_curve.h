// The REDOR curve of a distance distribution at given rotor-cycle counts,
// by the kernel of the run's set-up (the sum mode sim makes of a prescribed
// distribution): S/S0(N_c) = sum_k p_k K(N_c, r_k).
#ifndef REDORDIST_DRIVER_SIMULATE_CURVE_H
#define REDORDIST_DRIVER_SIMULATE_CURVE_H

#include <vector>

#include "input/run_inputs.h"

// inputs: checked, its data points give the cycle counts; r in Angstrom.
// Empty when the kernel would be too large to compute (problem holds why).
std::vector<double> simulate_curve(RunInputs const& inputs, std::vector<double> const& r,
                                   std::vector<double> const& p, std::string& problem);

#endif
