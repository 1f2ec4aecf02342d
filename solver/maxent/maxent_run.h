// The maximum-entropy solver run on the model: the fit (its state left in the
// model, its steps in the trace) and the replicate solver of its bootstrap.
#ifndef REDORDIST_SOLVER_MAXENT_FIT_H
#define REDORDIST_SOLVER_MAXENT_FIT_H

#include "model/paar.h"
#include "solver/uncertainty/bootstrap.h"
#include "solver/maxent/maxent.h"

// The default model's taper at each grid end (Angstrom): the user's grid
// brackets the distribution, so the ends are unlikely a priori.
const double kDefaultModelTaper = 1.0;

// Fits, reports alpha, G, chi2, chi2 per point and the entropy on standard
// output and in the log, writes the trace and leaves multipliers, default
// model and distribution in model. A failed solve is reported and sets
// model.output_failed.
MaxentResult maxent_fit(Paar& model);

// Re-solves a replicate, the choice of alpha included, warm-started from the
// fit's multipliers and alpha.
ReplicateSolver maxent_replicate_solver(Paar const& model, MaxentResult const& fit);

#endif
