// How the data split two overlapping populations: fits of two Gaussians with
// the nearer one's weight held at a series of values, the other four
// parameters (both centres and widths) fitted again at each. Where the two
// curves overlap, a whole range of splits fits as well as the best one, and
// the noise's spread about the solver's own split says nothing of it.
#ifndef REDORDIST_SOLVER_WEIGHT_PROFILE_H
#define REDORDIST_SOLVER_WEIGHT_PROFILE_H

#include <vector>

#include "model/gaussian_mixture.h"
#include "solver/gaussians/gaussian_fit.h"

struct WeightProfilePoint {
  MixtureShape shape;  // components sorted by centre as in `best`
  double chi2 = 0.0;
};

// From the two-Gaussian fit `best`, the nearer component's weight is stepped
// by kWeightStep down to 0.01 and up to 0.99, each fit started from the one
// before; a side ends with the first fit whose chi2 exceeds the lowest seen
// by more than `delta_chi2` (kept: the profile's end lies between it and the
// fit before). Returns the fits in order of the held weight, the best fit's
// own among them. Deterministic.
std::vector<WeightProfilePoint> two_gaussian_weight_profile(GaussianMixture const& gm, MixtureFit const& best,
                                                            double delta_chi2);

#endif
