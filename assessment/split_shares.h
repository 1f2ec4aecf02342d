// The shares of two supported peaks over every split of the two populations
// the data allow: the two-Gaussian fits with the nearer one's weight held
// (solver/gaussians/weight_profile.h), each read as a reported peak is read,
// the mass between the minima of its distribution.
#ifndef REDORDIST_ASSESSMENT_SPLIT_SHARES_H
#define REDORDIST_ASSESSMENT_SPLIT_SHARES_H

#include <array>
#include <vector>

#include "model/gaussian_mixture.h"
#include "solver/gaussians/gaussian_fit.h"

// The lowest and highest share of each of the two peaks over the fits within
// delta_chi2 of the best whose distribution has two peaks, and at the
// profile's ends (linear in chi2 between the last fit within and the first
// beyond); empty when none has two peaks, or when `two` is not a fit of two
// Gaussians.
std::vector<std::array<double, 2>> split_share_ranges(GaussianMixture const& gm, MixtureFit const& two,
                                                      double delta_chi2);

#endif
