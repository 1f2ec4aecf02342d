// Parametric bootstrap of a deterministic solver: each replicate draws noise
// around the FITTED curve with each point's error and is solved again, the
// choices the solver makes (its regularisation, its number of components)
// included. The replicates' distributions are accumulated in blocks exactly
// as the annealing's Monte Carlo estimate does it (PER MC BLOCK, MAX MC
// BLOCKS, MIN STDEV2, MAX MC CHI2), so the table's Monte Carlo columns mean
// the same for every solver: the noise part of the uncertainty, not the
// smoothing bias.
//
// Replicate t always takes the t-th block of 12 x n_data draws of GSL's
// default generator; replicates are solved in batches on all threads and
// consumed in order, so every output is the same for any thread count.
#ifndef REDORDIST_SOLVER_BOOTSTRAP_H
#define REDORDIST_SOLVER_BOOTSTRAP_H

#include <functional>
#include <vector>

#include "model/fit_problem.h"
#include "model/paar.h"

struct ReplicateResult {
  bool ok = false;
  double chi2 = 0.0;
  std::vector<double> distribution;  // n_grid, sums to 1
  std::vector<double> extra;         // whatever the caller wants to collect
};

// Solves one replicate problem; called from several threads at once.
using ReplicateSolver = std::function<ReplicateResult(FitProblem const& replicate)>;

// Runs the bootstrap on model (the fit already in it: fitted curve in
// model.fit_to_data). write_results is called after every block from the
// fifth on. accepted (when given) receives the accepted replicates in order.
// Returns how the estimate ended.
McStatus parametric_bootstrap(Paar& model, ReplicateSolver const& solve,
                         std::function<void(Paar&)> const& write_results,
                         std::vector<ReplicateResult>* accepted);

#endif
