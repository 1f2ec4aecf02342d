#include "solver/gaussians/flat_peak.h"

#include <algorithm>
#include <cmath>

#include <gsl/gsl_cdf.h>
#include <gsl/gsl_multimin.h>

#include "numeric/numeric.h"

namespace {

struct Problem {
  GaussianMixture const* gm;
  std::vector<double> kernel;  // n_data x n_fine: the run's kernel on the sub-grid
};

// x = (c, ln h, ln e), kept inside their ranges by a steep wall.
double simplex_f(gsl_vector const* x, void* params) {
  Problem const& p = *static_cast<Problem*>(params);
  double near = p.gm->near(), far = p.gm->far();
  double lo = std::log(kWidthFloor), hi = std::log(p.gm->width_max());
  double c = gsl_vector_get(x, 0), lh = gsl_vector_get(x, 1), le = gsl_vector_get(x, 2);
  double wall = (c < near || c > far || lh < lo || lh > hi || le < lo || le > hi) ? 1e12 : 0.0;
  c = std::min(std::max(c, near), far);
  lh = std::min(std::max(lh, lo), hi), le = std::min(std::max(le, lo), hi);
  FitProblem const& fp = p.gm->problem();
  std::vector<double> const& r = p.gm->fine_centres();
  std::vector<double> mass = flat_peak_mass(r, c, std::exp(lh), std::exp(le));
  double c2 = 0.0;
  for (int i = 0; i < fp.n_data; i++) {
    double k = dot_two_sums(&p.kernel[i * r.size()], mass.data(), 0, static_cast<int>(r.size()));
    double res = (fp.scaling * k + 1.0 - fp.scaling - fp.target[i]) / fp.sigma[i];
    c2 += res * res;
  }
  return c2 + wall;
}

}  // namespace

std::vector<double> flat_peak_mass(std::vector<double> const& r, double c, double h, double e) {
  std::vector<double> m(r.size(), 0.0);
  double total = 0.0;
  for (size_t b = 0; b < r.size(); b++) {
    m[b] = gsl_cdf_ugaussian_P((r[b] - c + h) / e) - gsl_cdf_ugaussian_P((r[b] - c - h) / e);
    total += m[b];
  }
  if (total > 0.0)
    for (double& v : m) v /= total;
  return m;
}

FlatPeak fit_flat_peak(GaussianMixture const& gm, double centre, double width) {
  Problem p{&gm, {}};
  gm.problem().kernel_at(gm.fine_centres(), p.kernel);
  gsl_multimin_function f{simplex_f, 3, &p};
  gsl_multimin_fminimizer* s = gsl_multimin_fminimizer_alloc(gsl_multimin_fminimizer_nmsimplex2, 3);
  gsl_vector* x = gsl_vector_alloc(3);
  gsl_vector* step = gsl_vector_alloc(3);
  FlatPeak best;
  double w = std::min(std::max(width, 2.0 * kWidthFloor), 0.9 * gm.width_max());
  for (double band : {1.0, 2.0}) {
    gsl_vector_set(x, 0, centre);
    gsl_vector_set(x, 1, std::log(std::min(band * w, 0.9 * gm.width_max())));
    gsl_vector_set(x, 2, std::log(std::max(0.3 * w, 1.5 * kWidthFloor)));
    for (int k = 0; k < 3; k++) gsl_vector_set(step, k, k == 0 ? 0.5 * w : 0.3);
    gsl_multimin_fminimizer_set(s, &f, x, step);
    for (int it = 0; it < 400; it++) {
      if (gsl_multimin_fminimizer_iterate(s) != GSL_SUCCESS) break;
      if (gsl_multimin_test_size(gsl_multimin_fminimizer_size(s), 1e-6) == GSL_SUCCESS) break;
    }
    double c2 = gsl_multimin_fminimizer_minimum(s);
    if (std::isfinite(c2) && c2 < 1e11 && (!best.ok || c2 < best.chi2)) {
      gsl_vector const* m = gsl_multimin_fminimizer_x(s);
      best = {true, gsl_vector_get(m, 0), std::exp(gsl_vector_get(m, 1)), std::exp(gsl_vector_get(m, 2)), c2,
              c2 + 6.0};
    }
  }
  gsl_vector_free(step);
  gsl_vector_free(x);
  gsl_multimin_fminimizer_free(s);
  return best;
}
