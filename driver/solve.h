// The fit of a run by the chosen solver and, in mode err, its uncertainty.
#ifndef REDORDIST_DRIVER_SOLVE_H
#define REDORDIST_DRIVER_SOLVE_H

#include <string>

#include <nlohmann/json.hpp>

#include "model/paar.h"

struct SolveOutcome {
  bool fitted = false;   // a distribution was fitted and its moments found
  bool finite = true;    // chi2, distribution and moments are finite numbers
  int mc = 0;            // McStatus of the uncertainty estimate
  nlohmann::json details;  // what the solver adds to the summary
};

// write_results writes the table and the scripts (called by the estimates
// after each block from the fifth on).
SolveOutcome solve(Paar& model, std::string const& solver, void (*write_results)(Paar&));

#endif
