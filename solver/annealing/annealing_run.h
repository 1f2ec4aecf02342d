// The annealing run on the model: the fit (a copy of the model annealed, its
// multipliers handed back) and, in mode err, the Monte Carlo estimate around
// the fit the model has adopted.
#ifndef REDORDIST_SOLVER_ANNEALING_ANNEALING_RUN_H
#define REDORDIST_SOLVER_ANNEALING_ANNEALING_RUN_H

#include <functional>

#include "model/paar.h"

SolverFit annealing_fit(Paar const& model);

// Estimates into model.results.mc; write_results is called after every
// block from the fifth on.
McStatus annealing_estimate(Paar& model, SolverFit& fit,
                            std::function<void(Paar&)> const& write_results);

#endif
