// The Gaussian-mixture solver run on the model: the fit (k = 1..3 chosen by
// AIC; the chosen mixture's mass per grid distance handed back with its own
// curve from the sub-grid) and, in mode err, the parametric bootstrap with
// the choice of k included.
#ifndef REDORDIST_SOLVER_GAUSSIANS_GAUSSIANS_RUN_H
#define REDORDIST_SOLVER_GAUSSIANS_GAUSSIANS_RUN_H

#include <functional>
#include <vector>

#include "model/paar.h"
#include "solver/gaussians/gaussian_fit.h"
#include "model/gaussian_mixture.h"
#include "solver/uncertainty/bootstrap.h"

// The run's fit problem with the kernel on the mixture's sub-grid computed
// once (replicates reuse it).
FitProblem gaussian_problem(Paar const& model);

SolverFit gaussians_fit(Paar const& model);

// Also adds the bootstrap's view of the mixture to fit.details and the
// spread of each component to fit.figure_labels.
McStatus gaussians_estimate(Paar& model, SolverFit& fit,
                            std::function<void(Paar&)> const& write_results);

// Re-fits a replicate, the choice of k included, on the run's sub-grid
// kernel: computed once, read by every replicate on every thread. Its extra
// holds k, then weight, centre and width of each component, sorted by centre.
ReplicateSolver gaussian_replicate_solver(double near, double far, FineKernel kernel);

// What the bootstrap says about the mixture: how often each k was chosen,
// and for the replicates that chose the fit's k the mean and standard
// deviation of each component's weight, centre and width.
struct MixtureSpread {
  int replicates = 0;
  std::vector<int> chosen_k;  // counts for k = 1, 2, 3
  int same_k = 0;             // replicates with the fit's k
  std::vector<GaussComponent> mean, sd;  // per component of the fit's k
};
MixtureSpread mixture_spread(MixtureSelection const& fit,
                             std::vector<ReplicateResult> const& accepted);

#endif
