// One truncated Gaussian on a mixture's sub-grid, evaluated fast enough for
// a profile that tries tens of thousands of centres and widths: its bin
// masses from the density at each bin's midpoint (no normal CDF per bin) and
// its curve through the mixture's sub-grid kernel. The arithmetic of every
// value is fixed (the same operations in the same order for any build); two
// values at a time go through the processor's paired double operations.
#ifndef REDORDIST_ASSESSMENT_SINGLE_GAUSSIAN_H
#define REDORDIST_ASSESSMENT_SINGLE_GAUSSIAN_H

#include <vector>

#include "model/gaussian_mixture.h"

class SingleGaussian {
 public:
  explicit SingleGaussian(GaussianMixture const& gm);

  // Mass of each sub-grid bin of the Gaussian (centre c, sd w, Angstrom)
  // truncated to [near, far]: sums to 1; bins outside [lo, hi) are zero.
  void mass(double c, double w, std::vector<double>& m, int& lo, int& hi) const;
  // g_i = (K_fine mass)_i, the curve of the whole signal dephasable, at the
  // data points; scratch holds the masses (one per thread: the object itself
  // is read-only).
  void shape(double c, double w, std::vector<double>& g, std::vector<double>& scratch) const;

 private:
  GaussianMixture const& gm_;
  int n_fine_, n_data_;
  FineKernel kt_;  // the mixture's sub-grid kernel transposed: n_fine x n_data, row-major
};

#endif
