// One flat-topped peak: every distance of a band [c - h, c + h] equally
// likely, its edges blurred by a Gaussian of sd e (the band convolved with
// the Gaussian),
//   f(r) = (Phi((r - c + h) / e) - Phi((r - c - h) / e)) / (2 h),
// truncated to [near, far], on the Gaussian mixture's sub-grid, fitted by
// least squares (chi2) with a simplex search. Its mean is c and its variance
// h^2 / 3 + e^2. Two Gaussians imitate a flat band with two peaks; this is
// the one-peak model beside them.
#ifndef REDORDIST_ASSESSMENT_FLAT_PEAK_H
#define REDORDIST_ASSESSMENT_FLAT_PEAK_H

#include <vector>

#include "model/gaussian_mixture.h"

struct FlatPeak {
  bool ok = false;
  double centre = 0.0, half_width = 0.0, edge = 0.0;  // c, h, e (Angstrom)
  double chi2 = 0.0;
  double aic = 0.0;  // chi2 + 2 * 3
};

// The fine-grid masses of a flat-topped peak (sum 1).
std::vector<double> flat_peak_mass(std::vector<double> const& fine_centres, double centre, double half_width,
                                   double edge);

// Starts from the one-Gaussian fit (centre, width): bands as wide as the
// Gaussian's sd and twice that; keeps the lowest chi2.
FlatPeak fit_flat_peak(GaussianMixture const& gm, double centre, double width);

#endif
