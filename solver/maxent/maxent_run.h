// The maximum-entropy solver run on the model: the fit (its steps in the
// trace, its report on standard output and in the log) and, in mode err, the
// parametric bootstrap around it.
#ifndef REDORDIST_SOLVER_MAXENT_MAXENT_RUN_H
#define REDORDIST_SOLVER_MAXENT_MAXENT_RUN_H

#include <functional>

#include "model/paar.h"
#include "solver/maxent/maxent.h"

// The default model's taper at each grid end (Angstrom): the user's grid
// brackets the distribution, so the ends are unlikely a priori.
const double kDefaultModelTaper = 1.0;

// Fits, writes the trace and reports alpha, G, chi2, chi2 per point and the
// entropy. Hands back multipliers and default model (the fit's MaxentResult
// kept for the bootstrap); a failed solve is reported and not ok.
SolverFit maxent_fit(Paar const& model);

// The bootstrap around the fit the model has adopted, the choice of alpha
// included, each replicate warm-started from the fit's multipliers and alpha.
McStatus maxent_estimate(Paar& model, SolverFit& fit,
                         std::function<void(Paar&)> const& write_results);

#endif
