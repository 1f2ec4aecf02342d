// A fit problem whose kernel is the exact powder-averaged REDOR curve: for
// data at N_c rotor cycles (cycle index j = N_c / 2) the value at distance r
// is redor_exact(j D(r) / MAS) with D(r) = dipolar_constant / r^3 (Hz, r in
// Angstrom). Target and sigma are left at 1 and 1 for the caller to fill.
#ifndef REDORDIST_MODEL_EXACT_PROBLEM_H
#define REDORDIST_MODEL_EXACT_PROBLEM_H

#include <vector>

#include "model/fit_problem.h"

FitProblem exact_redor_problem(std::vector<double> const& rotor_cycles, double dipolar_constant,
                               double mas, std::vector<double> const& distance);

#endif
