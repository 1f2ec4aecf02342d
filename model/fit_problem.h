// What a distribution solver needs to know about a run, without the model's
// bookkeeping: the kernel at the data points and the curve the fitted share
// must explain.
//
// For a distribution P over the grid (P_j >= 0, sum P_j = 1) the fitted curve
// at data point i is
//     f_i = scaling * (K P)_i + 1 - scaling,
// and chi2 = sum_i ((f_i - target_i) / sigma_i)^2. target already holds the
// data with a prescribed share's curve removed and renormalised to the fitted
// share, so every solver sees the same chi2 as the annealing.
#ifndef REDORDIST_MODEL_FIT_PROBLEM_H
#define REDORDIST_MODEL_FIT_PROBLEM_H

#include <functional>
#include <vector>

struct FitProblem {
  int n_data = 0;
  int n_grid = 0;
  std::vector<double> kernel;    // n_data x n_grid, row-major: S/S0 of grid distance j at point i
  std::vector<double> target;    // n_data, dimensionless S/S0
  std::vector<double> sigma;     // n_data, error of each target value (> 0)
  std::vector<double> distance;  // n_grid, Angstrom, ascending, evenly spaced
  double scaling = 1.0;          // dephasable fraction of the signal
  // The same kernel at any distances r (Angstrom): fills out with n_data x r.size()
  // values, row-major. Parametric solvers use it on a sub-grid finer than the grid.
  std::function<void(std::vector<double> const& r, std::vector<double>& out)> kernel_at;

  double k(int i, int j) const { return kernel[static_cast<size_t>(i) * n_grid + j]; }
};

// The fitted curve f (n_data) of a distribution p (n_grid).
inline void fitted_curve(FitProblem const& fp, std::vector<double> const& p, std::vector<double>& f) {
  f.assign(fp.n_data, 0.0);
  for (int i = 0; i < fp.n_data; i++) {
    double s = 0.0;
    for (int j = 0; j < fp.n_grid; j++) s += fp.k(i, j) * p[j];
    f[i] = fp.scaling * s + 1.0 - fp.scaling;
  }
}

inline double chi2_of_curve(FitProblem const& fp, std::vector<double> const& f) {
  double c = 0.0;
  for (int i = 0; i < fp.n_data; i++) {
    double r = (f[i] - fp.target[i]) / fp.sigma[i];
    c += r * r;
  }
  return c;
}

#endif
