// The Gaussian-mixture solver run on the model: the fit (the chosen
// mixture's mass per grid distance left as the model's distribution, its
// curve as the model's fit) and the replicate solver of its bootstrap.
#ifndef REDORDIST_SOLVER_GAUSSIAN_RUN_H
#define REDORDIST_SOLVER_GAUSSIAN_RUN_H

#include <vector>

#include "model/paar.h"
#include "solver/uncertainty/bootstrap.h"
#include "solver/gaussians/gaussian_fit.h"

// The run's fit problem with the kernel on the mixture's sub-grid computed
// once (replicates reuse it).
FitProblem gaussian_problem(Paar const& model);

// Fits k = 1..3 and puts the chosen mixture into model (when one was found).
MixtureSelection gaussian_fit(Paar& model, FitProblem const& fp);

// Re-fits a replicate, the choice of k included. Its extra holds k, then
// weight, centre and width of each component, sorted by centre.
ReplicateSolver gaussian_replicate_solver(Paar const& model, FitProblem const& fp);

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
