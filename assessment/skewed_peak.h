// One skewed peak: a skew-normal distribution of distances,
//   f(r) = (2 / w) phi((r - xi) / w) Phi(a (r - xi) / w),
// truncated to [near, far], on the Gaussian mixture's sub-grid, fitted by
// least squares (chi2) with a simplex search. With a = 0 it is one Gaussian;
// it stands for every single-peaked shape with a tail on one side, which two
// or three Gaussians can also imitate with two peaks.
#ifndef REDORDIST_ASSESSMENT_SKEWED_PEAK_H
#define REDORDIST_ASSESSMENT_SKEWED_PEAK_H

#include <array>
#include <vector>

#include "model/gaussian_mixture.h"

struct SkewedPeak {
  bool ok = false;
  double location = 0.0, scale = 0.0, shape = 0.0;  // xi, w (Angstrom) and a
  double chi2 = 0.0;
  double aic = 0.0;  // chi2 + 2 * 3
};

// The fine-grid masses of a skewed peak (sum 1; zero where the density
// underflows).
std::vector<double> skewed_peak_mass(std::vector<double> const& fine_centres, double location, double scale,
                                     double shape);

// Starts from the one-Gaussian fit (centre, width) with the tail on
// either side and without one; keeps the lowest chi2.
SkewedPeak fit_skewed_peak(GaussianMixture const& gm, double centre, double width);

// The mode of a skew-normal of shape a and scale 1 about xi = 0: the root
// between 0 and 1 (with the sign of a) of a phi(a z) = z Phi(a z).
double skew_normal_mode(double a);

// The modes of the skewed peaks whose chi2, minimised over scale and shape
// at each mode, lies within delta_chi2 of best's (fit_skewed_peak's): the
// profile walked out from best's mode in doubling steps, then bisected to
// 0.005 Angstrom, inside [near, far]. Where a single peak's shape is open,
// the data fix its mean and effective distance far better than its top.
std::array<double, 2> skewed_mode_range(GaussianMixture const& gm, SkewedPeak const& best, double delta_chi2);

#endif
