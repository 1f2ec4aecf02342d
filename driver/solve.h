// The fit of a run by the chosen solver and, in mode err, its uncertainty.
#ifndef REDORDIST_DRIVER_SOLVE_H
#define REDORDIST_DRIVER_SOLVE_H

#include <string>

#include "model/paar.h"

struct SolveOutcome {
  bool fitted = false;   // a distribution was fitted and its moments found
  bool finite = true;    // chi2, distribution and moments are finite numbers
  McStatus mc = McStatus::kDone;  // how the uncertainty estimate ended
};

// Whether the fit's chi2, distribution and moments are finite numbers (a
// distribution on one distance has no skewness or kurtosis: NaN there is
// allowed); says so on standard output and in the log when not.
bool results_finite(Paar& m);

// With fit_scaling, SCALING is fitted first (the model keeps the best) and
// the fit at it is the result. write_results writes the table and the scripts (called by the estimates
// after each block from the fifth on). The model adopts the solver's fit;
// its results receive the moments, the estimate and the solver's details.
SolveOutcome solve(Paar& model, std::string const& solver, void (*write_results)(Paar&),
                   bool fit_scaling = false);

#endif
