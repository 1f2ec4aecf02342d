// The curves of a study stacked into one fit problem, and the fit of that
// problem by each solver family: one distribution for every curve's rows.
#ifndef REDORDIST_DRIVER_SHARED_SOLVERS_H
#define REDORDIST_DRIVER_SHARED_SOLVERS_H

#include <memory>
#include <string>
#include <vector>

#include "driver/study_shared.h"
#include "model/run_setup.h"

// Appends one curve's rows with its SCALING taken into the target and
// errors, so that the stacked problem has SCALING 1 and the same chi2.
void append_curve(FitProblem const& c, FitProblem& all);

// The stacked problem all (the rows of setups, in order) fitted by solver:
// f receives the distribution and the parameter count (and the Gaussians'
// components), fitted the stacked curve at the data points; false with
// f.failure set when the fit failed.
bool solve_stacked(std::string const& solver, FitProblem const& all,
                   std::vector<std::shared_ptr<RunSetup>> const& setups, SharedFit& f,
                   std::vector<double>& fitted);

#endif
