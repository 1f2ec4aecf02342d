// What the one-peak models (the skewed peak, the flat-topped peak) share:
// the chi2 of a distribution of fine-grid masses on the run's kernel, and a
// simplex search over two or three parameters.
#ifndef REDORDIST_ASSESSMENT_PEAK_SIMPLEX_H
#define REDORDIST_ASSESSMENT_PEAK_SIMPLEX_H

#include <array>
#include <vector>

#include <gsl/gsl_multimin.h>

#include "model/gaussian_mixture.h"

// Above this many sds the normal CDF is 1 to the last bit (1 - Q(x) with
// Q(8.3) already below half an ulp of 1): its value needs no computing.
constexpr double kCdfOne = 8.6;

// chi2 of fine-grid masses (sum 1) with kernel, the run's kernel on gm's
// sub-grid transposed (n_fine x n_data, row-major), at gm's SCALING.
double fine_mass_chi2(GaussianMixture const& gm, std::vector<double> const& kernel, std::vector<double> const& mass);

// The minimum of f over N (2 or 3) parameters by the Nelder-Mead simplex
// from x with the first steps step (at most 400 iterations, to a size of
// 1e-6); x becomes the point found.
template <size_t N>
double simplex(gsl_multimin_function& f, std::array<double, N>& x, std::array<double, N> const& step);
inline double simplex3(gsl_multimin_function& f, std::array<double, 3>& x, std::array<double, 3> const& step) {
  return simplex<3>(f, x, step);
}

#endif
