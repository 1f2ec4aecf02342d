#include "assessment/flat_peak.h"

#include <algorithm>
#include <cmath>

#include <gsl/gsl_cdf.h>

#include "assessment/peak_simplex.h"
#include "numeric/kernel_dots.h"

namespace {

struct Problem {
  GaussianMixture const* gm;
  std::vector<double> kernel;  // n_fine x n_data: the run's kernel on the sub-grid, transposed
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
  return fine_mass_chi2(*p.gm, p.kernel, flat_peak_mass(p.gm->fine_centres(), c, std::exp(lh), std::exp(le))) +
         wall;
}

}  // namespace

std::vector<double> flat_peak_mass(std::vector<double> const& r, double c, double h, double e) {
  std::vector<double> m(r.size(), 0.0);
  double total = 0.0;
  for (size_t b = 0; b < r.size(); b++) {
    double lower = (r[b] - c - h) / e, upper = (r[b] - c + h) / e;
    // Above kCdfOne sds the normal CDF is 1 to the last bit: past the top a
    // bin's mass is exactly 0, as is every later one's.
    if (lower > kCdfOne) break;
    m[b] = (upper > kCdfOne ? 1.0 : gsl_cdf_ugaussian_P(upper)) - gsl_cdf_ugaussian_P(lower);
    total += m[b];
  }
  if (total > 0.0)
    for (double& v : m) v /= total;
  return m;
}

FlatPeak fit_flat_peak(GaussianMixture const& gm, double centre, double width) {
  Problem p{&gm, {}};
  gm.problem().kernel_at(gm.fine_centres(), p.kernel);
  p.kernel = transposed(p.kernel, gm.problem().n_data, static_cast<int>(gm.fine_centres().size()));
  gsl_multimin_function f{simplex_f, 3, &p};
  FlatPeak best;
  double w = std::min(std::max(width, 2.0 * kWidthFloor), 0.9 * gm.width_max());
  for (double band : {1.0, 2.0}) {
    std::array<double, 3> x = {centre, std::log(std::min(band * w, 0.9 * gm.width_max())),
                               std::log(std::max(0.3 * w, 1.5 * kWidthFloor))};
    double c2 = simplex3(f, x, {0.5 * w, 0.3, 0.3});
    if (std::isfinite(c2) && c2 < 1e11 && (!best.ok || c2 < best.chi2))
      best = {true, x[0], std::exp(x[1]), std::exp(x[2]), c2, c2 + 6.0};
  }
  return best;
}
