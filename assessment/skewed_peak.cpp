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

// chi2 of the skewed peak (xi, ln w, a), each kept inside its range by a
// steep wall so that the simplex turns back.
double skew_chi2(Problem const& p, double xi, double lw, double a) {
  double near = p.gm->near(), far = p.gm->far();
  double lo = std::log(kWidthFloor), hi = std::log(p.gm->width_max());
  double wall = 0.0;
  if (xi < near - 1.0 || xi > far + 1.0 || lw < lo || lw > hi || std::fabs(a) > kMaxShape) wall = 1e12;
  xi = std::min(std::max(xi, near - 1.0), far + 1.0);
  lw = std::min(std::max(lw, lo), hi);
  a = std::min(std::max(a, -kMaxShape), kMaxShape);
  return fine_mass_chi2(*p.gm, p.kernel, skewed_peak_mass(p.gm->fine_centres(), xi, std::exp(lw), a)) + wall;
}

// x = (xi, ln w, a).
double simplex_f(gsl_vector const* x, void* params) {
  return skew_chi2(*static_cast<Problem*>(params), gsl_vector_get(x, 0), gsl_vector_get(x, 1), gsl_vector_get(x, 2));
}

Problem problem_of(GaussianMixture const& gm) {
  Problem p{&gm, {}};
  gm.problem().kernel_at(gm.fine_centres(), p.kernel);
  p.kernel = transposed(p.kernel, gm.problem().n_data, static_cast<int>(gm.fine_centres().size()));
  return p;
}

// The skewed peak with its mode held: x = (ln w, a), xi = mode - w m(a).
struct AtMode {
  Problem const* p;
  double mode;
};

double mode_f(gsl_vector const* x, void* params) {
  AtMode const& q = *static_cast<AtMode*>(params);
  double lw = gsl_vector_get(x, 0), a = std::min(std::max(gsl_vector_get(x, 1), -kMaxShape), kMaxShape);
  double w = std::exp(std::min(std::max(lw, std::log(kWidthFloor)), std::log(q.p->gm->width_max())));
  return skew_chi2(*q.p, q.mode - w * skew_normal_mode(a), lw, gsl_vector_get(x, 1));
}

// The least chi2 with the mode at mode, from the shape x (which becomes the
// shape found); when that lies above level, also from a tail on side
// (+1: towards longer distances), the shape a mode moved the other way needs.
double chi2_at_mode(Problem const& p, double mode, std::array<double, 2>& x, double side, double level) {
  AtMode q{&p, mode};
  gsl_multimin_function f{mode_f, 2, &q};
  double c2 = simplex<2>(f, x, {0.3, 1.0});
  if (c2 <= level) return c2;
  std::array<double, 2> turned = {x[0], 3.0 * side};
  double c2t = simplex<2>(f, turned, {0.3, 1.0});
  if (c2t < c2) x = turned, c2 = c2t;
  return c2;
}

// The last mode from m0 towards dir (-1 or +1) whose chi2 stays at or below level.
double mode_end(Problem const& p, SkewedPeak const& best, double m0, int dir, double level) {
  double bound = dir < 0 ? p.gm->near() : p.gm->far();
  std::array<double, 2> x = {std::log(best.scale), best.shape};
  double inside = m0, out = bound, step = 0.02;
  while (dir * (bound - inside) > 0.0) {
    double trial = dir * (inside + dir * step - bound) >= 0.0 ? bound : inside + dir * step;
    std::array<double, 2> y = x;
    if (!(chi2_at_mode(p, trial, y, -dir, level) <= level)) {
      out = trial;
      break;
    }
    inside = trial, x = y, step *= 2.0;
  }
  while (dir * (out - inside) > 0.005) {
    double mid = 0.5 * (inside + out);
    std::array<double, 2> y = x;
    if (chi2_at_mode(p, mid, y, -dir, level) <= level)
      inside = mid, x = y;
    else
      out = mid;
  }
  return inside;
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
  Problem p = problem_of(gm);
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

double skew_normal_mode(double a) {
  double b = std::fabs(a), lo = 0.0, hi = 1.0;
  if (b == 0.0) return 0.0;
  while (hi - lo > 1e-12) {
    double z = 0.5 * (lo + hi);
    (b * gsl_ran_ugaussian_pdf(b * z) > z * gsl_cdf_ugaussian_P(b * z) ? lo : hi) = z;
  }
  return std::copysign(0.5 * (lo + hi), a);
}

std::array<double, 2> skewed_mode_range(GaussianMixture const& gm, SkewedPeak const& best, double delta_chi2) {
  Problem p = problem_of(gm);
  double m0 = best.location + best.scale * skew_normal_mode(best.shape), level = best.chi2 + delta_chi2;
  m0 = std::min(std::max(m0, gm.near()), gm.far());
  std::array<double, 2> range;
  // Each side by the same code whatever the thread count.
#pragma omp parallel sections
  {
#pragma omp section
    range[0] = mode_end(p, best, m0, -1, level);
#pragma omp section
    range[1] = mode_end(p, best, m0, 1, level);
  }
  return range;
}
