#include "solver/gaussians/skewed_peak.h"

#include <algorithm>
#include <cmath>

#include <gsl/gsl_cdf.h>
#include <gsl/gsl_multimin.h>
#include <gsl/gsl_randist.h>

#include "numeric/numeric.h"

namespace {

constexpr double kMaxShape = 20.0;

struct Problem {
  GaussianMixture const* gm;
  std::vector<double> kernel;  // n_data x n_fine: the run's kernel on the sub-grid
};

double chi2_of(Problem const& p, double xi, double w, double a) {
  FitProblem const& fp = p.gm->problem();
  std::vector<double> const& r = p.gm->fine_centres();
  std::vector<double> mass = skewed_peak_mass(r, xi, w, a);
  size_t nf = r.size();
  double c2 = 0.0;
  for (int i = 0; i < fp.n_data; i++) {
    double k = dot_two_sums(&p.kernel[i * nf], mass.data(), 0, static_cast<int>(nf));
    double res = (fp.scaling * k + 1.0 - fp.scaling - fp.target[i]) / fp.sigma[i];
    c2 += res * res;
  }
  return c2;
}

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
  return chi2_of(p, xi, std::exp(lw), a) + wall;
}

}  // namespace

std::vector<double> skewed_peak_mass(std::vector<double> const& r, double xi, double w, double a) {
  std::vector<double> m(r.size(), 0.0);
  double total = 0.0;
  for (size_t b = 0; b < r.size(); b++) {
    double t = (r[b] - xi) / w;
    if (std::fabs(t) > 40.0) continue;
    m[b] = gsl_ran_ugaussian_pdf(t) * gsl_cdf_ugaussian_P(a * t);
    total += m[b];
  }
  if (total > 0.0)
    for (double& v : m) v /= total;
  return m;
}

SkewedPeak fit_skewed_peak(GaussianMixture const& gm, double centre, double width) {
  Problem p{&gm, {}};
  gm.problem().kernel_at(gm.fine_centres(), p.kernel);
  gsl_multimin_function f{simplex_f, 3, &p};
  gsl_multimin_fminimizer* s = gsl_multimin_fminimizer_alloc(gsl_multimin_fminimizer_nmsimplex2, 3);
  gsl_vector* x = gsl_vector_alloc(3);
  gsl_vector* step = gsl_vector_alloc(3);
  SkewedPeak best;
  double w = std::max(width, 1.5 * kWidthFloor);
  for (double a0 : {0.0, 3.0, -3.0}) {
    // A skew-normal of shape a has its mean delta w sqrt(2/pi) above xi,
    // delta = a / sqrt(1 + a^2), and its sd w sqrt(1 - 2 delta^2 / pi).
    double delta = a0 / std::sqrt(1.0 + a0 * a0);
    double w0 = std::min(w / std::sqrt(1.0 - 2.0 * delta * delta / M_PI), 0.95 * gm.width_max());
    gsl_vector_set(x, 0, centre - delta * w0 * std::sqrt(2.0 / M_PI));
    gsl_vector_set(x, 1, std::log(w0));
    gsl_vector_set(x, 2, a0);
    gsl_vector_set(step, 0, 0.5 * w0);
    gsl_vector_set(step, 1, 0.3);
    gsl_vector_set(step, 2, 1.0);
    gsl_multimin_fminimizer_set(s, &f, x, step);
    for (int it = 0; it < 400; it++) {
      if (gsl_multimin_fminimizer_iterate(s) != GSL_SUCCESS) break;
      if (gsl_multimin_test_size(gsl_multimin_fminimizer_size(s), 1e-6) == GSL_SUCCESS) break;
    }
    double c2 = gsl_multimin_fminimizer_minimum(s);
    if (std::isfinite(c2) && c2 < 1e11 && (!best.ok || c2 < best.chi2)) {
      gsl_vector const* m = gsl_multimin_fminimizer_x(s);
      best = {true, gsl_vector_get(m, 0), std::exp(gsl_vector_get(m, 1)), gsl_vector_get(m, 2), c2, c2 + 6.0};
    }
  }
  gsl_vector_free(step);
  gsl_vector_free(x);
  gsl_multimin_fminimizer_free(s);
  return best;
}
