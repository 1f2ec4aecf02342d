#include "assessment/skewed_peak.h"

#include <algorithm>
#include <cmath>

#include <gsl/gsl_cdf.h>
#include <gsl/gsl_randist.h>

#include "assessment/peak_simplex.h"
#include "numeric/kernel_dots.h"

namespace {

constexpr double kMaxShape = 20.0;

struct Problem {
  GaussianMixture const* gm;
  std::vector<double> kernel;  // n_fine x n_data: the run's kernel on the sub-grid, transposed
};

// x = (xi, ln w, a), each kept inside its range by a steep wall so that the
// simplex turns back.
double simplex_f(gsl_vector const* x, void* params) {
  Problem const& p = *static_cast<Problem*>(params);
  double xi = gsl_vector_get(x, 0), lw = gsl_vector_get(x, 1), a = gsl_vector_get(x, 2);
  double near = p.gm->near(), far = p.gm->far();
  double lo = std::log(kWidthFloor), hi = std::log(p.gm->width_max());
  double wall = 0.0;
  if (xi < near - 1.0 || xi > far + 1.0 || lw < lo || lw > hi || std::fabs(a) > kMaxShape) wall = 1e12;
  xi = std::min(std::max(xi, near - 1.0), far + 1.0);
  lw = std::min(std::max(lw, lo), hi);
  a = std::min(std::max(a, -kMaxShape), kMaxShape);
  return fine_mass_chi2(*p.gm, p.kernel, skewed_peak_mass(p.gm->fine_centres(), xi, std::exp(lw), a)) + wall;
}

}  // namespace

std::vector<double> skewed_peak_mass(std::vector<double> const& r, double xi, double w, double a) {
  std::vector<double> m(r.size(), 0.0);
  double total = 0.0;
  for (size_t b = 0; b < r.size(); b++) {
    double t = (r[b] - xi) / w;
    if (std::fabs(t) > 40.0) continue;
    m[b] = gsl_ran_ugaussian_pdf(t) * (a * t > kCdfOne ? 1.0 : gsl_cdf_ugaussian_P(a * t));
    total += m[b];
  }
  if (total > 0.0)
    for (double& v : m) v /= total;
  return m;
}

SkewedPeak fit_skewed_peak(GaussianMixture const& gm, double centre, double width) {
  Problem p{&gm, {}};
  gm.problem().kernel_at(gm.fine_centres(), p.kernel);
  p.kernel = transposed(p.kernel, gm.problem().n_data, static_cast<int>(gm.fine_centres().size()));
  gsl_multimin_function f{simplex_f, 3, &p};
  SkewedPeak best;
  double w = std::max(width, 1.5 * kWidthFloor);
  for (double a0 : {0.0, 3.0, -3.0}) {
    // A skew-normal of shape a has its mean delta w sqrt(2/pi) above xi,
    // delta = a / sqrt(1 + a^2), and its sd w sqrt(1 - 2 delta^2 / pi).
    double delta = a0 / std::sqrt(1.0 + a0 * a0);
    double w0 = std::min(w / std::sqrt(1.0 - 2.0 * delta * delta / M_PI), 0.95 * gm.width_max());
    std::array<double, 3> x = {centre - delta * w0 * std::sqrt(2.0 / M_PI), std::log(w0), a0};
    double c2 = simplex3(f, x, {0.5 * w0, 0.3, 1.0});
    if (std::isfinite(c2) && c2 < 1e11 && (!best.ok || c2 < best.chi2))
      best = {true, x[0], std::exp(x[1]), x[2], c2, c2 + 6.0};
  }
  return best;
}
