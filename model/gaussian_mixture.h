// A distance distribution made of k truncated Gaussians in r, on a sub-grid
// fine enough (0.01 Angstrom) that the curve follows the shape and not the
// run's grid. The free parameters are unbounded; the transforms below keep
// every mixture they describe physical, so a least-squares solver can move
// them freely:
//   centre_c = near + (far - near) * logistic(a_c)              in [near, far]
//   width_c  = floor + (width_max - floor) * logistic(u_c)       standard deviation
//   weight_c = exp(z_c) / sum_d exp(z_d), with z_k = 0           positive, sum 1
// Parameter vector layout: a_0, u_0, a_1, u_1, ..., a_{k-1}, u_{k-1},
// z_0, ..., z_{k-2}: 3k - 1 values.
#ifndef REDORDIST_MODEL_GAUSSIAN_MIXTURE_H
#define REDORDIST_MODEL_GAUSSIAN_MIXTURE_H

#include <memory>
#include <vector>

#include "model/fit_problem.h"

// Narrowest width (standard deviation, Angstrom) a component may take. A
// REDOR curve sampled to a few per cent cannot tell a 0.02 Angstrom spread
// from a single distance: over the dephasing range the curves differ by far
// less than the errors, so narrower widths would only be noise fitting.
constexpr double kWidthFloor = 0.02;
// Spacing of the sub-grid on which the mixture's mass meets the kernel (Angstrom).
constexpr double kFineStep = 0.01;

struct MixtureShape {
  std::vector<double> weight, centre, width;  // centre and width in Angstrom
  int k() const { return static_cast<int>(weight.size()); }
};

// The kernel on the sub-grid (n_data x n_fine, row-major), read-only: one
// computation serves every mixture of a run, on every thread.
using FineKernel = std::shared_ptr<std::vector<double> const>;

// The normal CDF at each active bin edge of every component, as the last
// residuals() computed them for parameters `theta`. A least-squares solver asks
// for the Jacobian at the very point whose residuals it has just accepted; the
// Jacobian then reads these values instead of computing them again (the same
// bits: the same function of the same arguments). One per solver workspace.
struct EdgeCdfs {
  std::vector<double> theta;
  std::vector<std::vector<double>> p;  // per component: edges lo..hi of its active bins
  std::vector<double> z;               // per component: its mass inside [near, far]
};

class GaussianMixture {
 public:
  // Evaluates fp.kernel_at on the sub-grid, unless `kernel` holds it already:
  // the fine_kernel() of a mixture on the same data points (N_c) and the same
  // [near, far], e.g. the fit's for a bootstrap replicate. Throws
  // std::invalid_argument when [near, far] is too short for a width range
  // above the floor.
  GaussianMixture(FitProblem const& fp, double near, double far, FineKernel kernel = nullptr);

  static int n_params(int k) { return 3 * k - 1; }
  double near() const { return near_; }
  double far() const { return far_; }
  double width_max() const { return width_max_; }
  FitProblem const& problem() const { return fp_; }
  std::vector<double> const& fine_centres() const { return centre_; }
  FineKernel fine_kernel() const { return kfine_; }
  // The same transposed (n_fine x n_data), for products at all data points at once.
  FineKernel fine_kernel_transposed() const { return kt_; }

  MixtureShape decode(double const* theta, int k) const;
  // The inverse of decode; values at a bound are pulled just inside it.
  std::vector<double> encode(MixtureShape const& m) const;

  // Mass of each sub-grid bin (sums to 1).
  void fine_mass(MixtureShape const& m, std::vector<double>& mass, EdgeCdfs* keep = nullptr) const;
  // Mass in the cell [r_j - g/2, r_j + g/2] of each grid distance, clipped to [near, far].
  std::vector<double> grid_mass(MixtureShape const& m) const;
  // f_i = s * (K_fine mass)_i + 1 - s at the data points.
  void curve(MixtureShape const& m, std::vector<double>& f, EdgeCdfs* keep = nullptr) const;

  // Weighted residuals (f_i - y_i) / sigma_i, and their Jacobian (n_data x
  // n_params, row-major) with respect to the free parameters. With `cdfs`,
  // residuals() keeps its edge CDFs there and jacobian() reuses them when its
  // theta is the one they were kept for.
  void residuals(double const* theta, int k, double* r, EdgeCdfs* cdfs = nullptr) const;
  void jacobian(double const* theta, int k, double* jac, EdgeCdfs const* cdfs = nullptr) const;

 private:
  FitProblem const& fp_;
  double near_, far_, width_max_;
  int n_fine_;
  std::vector<double> edge_;    // n_fine + 1 bin edges, edge_[n_fine] = far
  std::vector<double> centre_;  // n_fine bin centres
  FineKernel kfine_;            // n_data x n_fine, row-major
  FineKernel kt_;               // the same transposed: n_fine x n_data
};

#endif
