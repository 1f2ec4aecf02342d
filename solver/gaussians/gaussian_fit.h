// Parametric distance distributions: 1, 2 and 3 truncated Gaussians fitted by
// weighted least squares (chi2) from fixed starts, the number of components
// chosen by Akaike's criterion AIC = chi2 + 2 p, p = 3k - 1 free parameters.
// Deterministic: the same problem gives bit-identical results on every call.
// GSL's error handler is switched off during a call and restored after it,
// so calls must not run in several threads at once.
#ifndef REDORDIST_SOLVER_GAUSSIAN_FIT_H
#define REDORDIST_SOLVER_GAUSSIAN_FIT_H

#include <vector>

#include "model/fit_problem.h"
#include "model/gaussian_mixture.h"

struct GaussComponent {
  double weight = 0.0;  // share of the distribution, the weights sum to 1
  double centre = 0.0;  // Angstrom
  double width = 0.0;   // standard deviation before truncation, Angstrom
  bool width_at_floor = false;  // the fit wants a width at or below kWidthFloor
};

struct MixtureFit {
  int k = 0;
  std::vector<GaussComponent> comp;  // sorted by centre
  double chi2 = 0.0;
  double aic = 0.0;
  bool ok = false;  // false when there are fewer data points than parameters
};

struct MixtureSelection {
  std::vector<MixtureFit> fits;   // k = 1, 2, 3
  int chosen = -1;                // index into fits of the smallest AIC
  std::vector<double> grid_mass;  // n_grid, the chosen mixture's mass around each grid distance
  std::vector<double> curve;      // n_data, its fitted curve f_i
  double mean = 0.0;              // Angstrom, of the chosen mixture on the sub-grid
  double sd = 0.0;                // Angstrom
};

struct MixtureOptions {
  int max_components = 3;
  int screen_iterations = 6;    // per start, before ranking the starts
  int polish_starts = 3;        // best screened starts carried on to convergence
  int polish_iterations = 200;
};

// near, far: the run's NEAR and FAR (Angstrom); every component is truncated
// to [near, far] even when the grid reaches slightly past far. kernel: the
// sub-grid kernel when it is known (see GaussianMixture), else computed here.
MixtureSelection fit_gaussian_mixtures(FitProblem const& fp, double near, double far,
                                       MixtureOptions const& opt = {}, FineKernel kernel = nullptr);

#endif
