// The choice of alpha for the maximum-entropy distribution: the root in
// ln alpha of phi = -2 alpha S - G, bracketed by steps of a constant factor
// from a start and then closed by Brent's method. Each solve starts from the
// multipliers of the solved alpha nearest in ln alpha, so the Newton
// iterations stay short and the result does not depend on timing.
//
// When phi has no root (data the default model and the kernel cannot
// reconcile: no dephasing, S/S0 outside [0, 1], errors far too small), the
// rule is satisfied as nearly as it can be: the alpha at which -2 alpha S and
// G are nearest in ratio, over the whole search range, located to 1e-6 in
// ln alpha.
#include "solver/maxent/maxent.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include <gsl/gsl_cdf.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_roots.h>

#include "solver/maxent/maxent_dual.h"

namespace {

struct Solved {
  double log_alpha;
  MaxentSolve solve;
  double phi;       // -2 alpha S - G
  double mismatch;  // |ln(-2 alpha S / G)|; infinite unless both are positive
};

struct AlphaSearch {
  FitProblem const& fp;
  MaxentReduced const& red;
  MaxentOptions const& opt;
  MaxentResult& res;
  std::vector<double> first_z;
  std::vector<Solved> visited;
  int failed = 0;  // solves whose Newton iteration failed

  bool budget_left() const { return static_cast<int>(visited.size()) + failed < opt.max_alpha_solves; }

  // Index into visited of the solve at ln alpha (an alpha solved before is
  // looked up: Brent asks for the bracket ends again), or -1 when Newton
  // failed there.
  int at(double log_alpha) {
    std::vector<double> const* z0 = &first_z;
    double best = INFINITY;
    for (size_t i = 0; i < visited.size(); i++) {
      Solved const& v = visited[i];
      if (v.log_alpha == log_alpha) return static_cast<int>(i);
      if (std::fabs(v.log_alpha - log_alpha) < best) best = std::fabs(v.log_alpha - log_alpha), z0 = &v.solve.z;
    }
    double alpha = std::exp(log_alpha);
    MaxentSolve sol = solve_dual(red, alpha, *z0, opt.gradient_tol, opt.max_newton);
    res.newton_steps += sol.newton;
    res.evaluations += sol.evaluations;
    if (!sol.ok) {
      failed++;
      res.failure = sol.failure + " at alpha " + std::to_string(alpha);
      return -1;
    }
    std::vector<double> f;
    fitted_curve(fp, sol.at.p, f);
    MaxentStep s;
    s.alpha = alpha, s.G = sol.G, s.minus_two_alpha_s = -2.0 * alpha * sol.at.entropy;
    s.chi2 = chi2_of_curve(fp, f), s.newton = sol.newton;
    res.steps.push_back(s);
    double ratio = s.minus_two_alpha_s / s.G;
    bool both_positive = s.G > 0.0 && ratio > 0.0 && std::isfinite(ratio);
    double mismatch = both_positive ? std::fabs(std::log(ratio)) : INFINITY;
    visited.push_back({log_alpha, std::move(sol), s.minus_two_alpha_s - s.G, mismatch});
    return static_cast<int>(visited.size()) - 1;
  }

  double phi(double log_alpha) {
    int i = at(log_alpha);
    return i < 0 ? NAN : visited[i].phi;
  }
  double mismatch(double log_alpha) {
    int i = at(log_alpha);
    return i < 0 ? INFINITY : visited[i].mismatch;
  }
};

double phi_callback(double log_alpha, void* search) {
  return static_cast<AlphaSearch*>(search)->phi(log_alpha);
}

// Trace of the data curvature at P = m: the scale of the gamma_k, and so of alpha.
double curvature_scale(MaxentReduced const& red) {
  double t = 0.0;
  for (int a = 0; a < red.rank; a++) {
    double s1 = 0.0, s2 = 0.0;
    for (int j = 0; j < red.n_grid; j++) {
      double mj = std::exp(red.log_model[j]), x = red.a[static_cast<size_t>(a) * red.n_grid + j];
      s1 += mj * x;
      s2 += mj * x * x;
    }
    t += s2 - s1 * s1;
  }
  return t > 0.0 ? t : 1.0;
}

struct Range {
  double lo, hi, step;  // limits of ln alpha, step in ln alpha
};

// Steps from the start by opt.alpha_step towards the sign change of phi (phi > 0:
// alpha too large) within the range. Returns true and the bracket in ln alpha
// (equal ends: phi is 0 there), or false when phi keeps its sign up to the
// limit, a failed solve or a distribution that has collapsed onto one grid
// point (G = 0: nothing lies further down).
bool bracket(AlphaSearch& s, double log_start, Range const& range, std::pair<double, double>& out) {
  double la = log_start, fa = s.phi(la);
  if (std::isnan(fa)) return false;
  double dir = fa > 0 ? -1.0 : 1.0;
  while (fa != 0.0) {
    double lb = std::min(range.hi, std::max(range.lo, la + dir * range.step));
    if (lb == la || !s.budget_left() || (dir < 0 && s.visited[s.at(la)].solve.G == 0.0)) return false;
    double fb = s.phi(lb);
    if (std::isnan(fb)) return false;
    if ((fa > 0) != (fb > 0)) {
      out = {std::min(la, lb), std::max(la, lb)};
      return true;
    }
    la = lb, fa = fb;
  }
  out = {la, la};
  return true;
}

// The root of phi in [lo, hi] to opt.log_alpha_tol; converged is false when
// the budget of solves (or an iteration) ends the search before that.
double brent(AlphaSearch& s, double lo, double hi, bool& converged) {
  gsl_function f{&phi_callback, &s};
  gsl_root_fsolver* r = gsl_root_fsolver_alloc(gsl_root_fsolver_brent);
  gsl_root_fsolver_set(r, &f, lo, hi);
  double root = 0.5 * (lo + hi);
  converged = false;
  while (s.budget_left()) {
    if (gsl_root_fsolver_iterate(r) != GSL_SUCCESS) break;
    root = gsl_root_fsolver_root(r);
    converged = gsl_root_test_interval(gsl_root_fsolver_x_lower(r), gsl_root_fsolver_x_upper(r),
                                       s.opt.log_alpha_tol, 0.0) == GSL_SUCCESS;
    if (converged) break;
  }
  gsl_root_fsolver_free(r);
  return root;
}

// No root: every step of the range is solved (both directions from the
// start, each up to its limit, a failure or a collapsed distribution), the
// step with the smallest mismatch is taken (ties and all-infinite to the
// larger alpha: nearer the default model) and, when both its neighbours
// are worse, the minimum between them is found by golden section.
int nearest_alpha(AlphaSearch& s, double log_start, Range const& range) {
  for (double dir : {-1.0, 1.0})
    for (double la = log_start; s.budget_left();) {
      int i = s.at(la);
      if (i < 0 || (dir < 0 && s.visited[i].solve.G == 0.0)) break;
      double next = std::min(range.hi, std::max(range.lo, la + dir * range.step));
      if (next == la) break;
      la = next;
    }
  if (s.visited.empty()) return -1;
  auto better = [&](Solved const& a, Solved const& b) {
    return a.mismatch < b.mismatch || (a.mismatch == b.mismatch && a.log_alpha > b.log_alpha);
  };
  size_t best = 0;
  for (size_t i = 1; i < s.visited.size(); i++)
    if (better(s.visited[i], s.visited[best])) best = i;
  double mid = s.visited[best].log_alpha, m0 = s.visited[best].mismatch;
  double lo = -INFINITY, hi = INFINITY;
  for (Solved const& v : s.visited) {
    if (v.log_alpha < mid && v.log_alpha > lo && v.mismatch > m0) lo = v.log_alpha;
    if (v.log_alpha > mid && v.log_alpha < hi && v.mismatch > m0) hi = v.log_alpha;
  }
  if (!std::isfinite(m0) || !std::isfinite(lo) || !std::isfinite(hi)) return s.at(mid);
  const double g = 0.5 * (3.0 - std::sqrt(5.0));
  double a = lo, b = hi;
  double x1 = a + g * (b - a), x2 = b - g * (b - a);
  double f1 = s.mismatch(x1), f2 = s.mismatch(x2);
  while (b - a > 1e-6 && s.budget_left()) {
    if (f1 <= f2) {
      b = x2, x2 = x1, f2 = f1, x1 = a + g * (b - a), f1 = s.mismatch(x1);
    } else {
      a = x1, x1 = x2, f1 = f2, x2 = b - g * (b - a), f2 = s.mismatch(x2);
    }
  }
  double pick = f1 <= f2 ? x1 : x2;
  return std::min(f1, f2) < m0 ? s.at(pick) : s.at(mid);
}

void fill_result(FitProblem const& fp, MaxentReduced const& red, double alpha, MaxentSolve const& sol,
                 MaxentResult& res) {
  res.alpha = alpha;
  res.p = sol.at.p;
  res.G = sol.G;
  res.gamma = sol.gamma;
  res.entropy = sol.at.entropy;
  fitted_curve(fp, res.p, res.fitted);
  res.chi2 = chi2_of_curve(fp, res.fitted);
  // lambda_i = s w_i / sigma_i with w = U z: the multipliers P is made of.
  res.multipliers.assign(fp.n_data, 0.0);
  for (int i = 0; i < fp.n_data; i++) {
    for (int a = 0; a < red.rank; a++) res.multipliers[i] += red.u[static_cast<size_t>(i) * red.rank + a] * sol.z[a];
    res.multipliers[i] *= fp.scaling / fp.sigma[i];
  }
}

// The warnings a result carries: no root of the rule, and a chi2 that data
// with errors of the stated size would exceed with probability below 1e-6.
void add_warnings(MaxentResult& res, int n_data) {
  char b[400];
  if (res.no_root) {
    std::snprintf(b, sizeof b,
                  "warning: maximum entropy: no weight alpha was found to satisfy -2 alpha S = G; "
                  "alpha %g is taken (-2 alpha S = %g, G = %g), where the two come nearest in ratio",
                  res.alpha, -2.0 * res.alpha * res.entropy, res.G);
    res.warnings.push_back(b);
  }
  if (!(gsl_cdf_chisq_Q(res.chi2, n_data) >= 1e-6)) {
    std::snprintf(b, sizeof b,
                  "warning: maximum entropy: chi2 %g for %d points is far above what the errors "
                  "allow; the errors may be too small, or SCALING, MAS, the nuclei (XN, YN) or the "
                  "grid (NEAR, FAR) may not match the data",
                  res.chi2, n_data);
    res.warnings.push_back(b);
  }
}

}  // namespace

MaxentResult solve_maxent(FitProblem const& fp, std::vector<double> const& model,
                          MaxentOptions const& opt, std::vector<double> const* warm_multipliers) {
  MaxentResult res;
  MaxentReduced red;
  if (!reduce_maxent(fp, model, opt.rank_tol, red, res.failure)) return res;
  res.rank = red.rank;
  AlphaSearch s{fp, red, opt, res, std::vector<double>(red.rank, 0.0), {}, 0};
  if (warm_multipliers && static_cast<int>(warm_multipliers->size()) == fp.n_data) {
    // z = U^T w with w_i = sigma_i lambda_i / s.
    for (int i = 0; i < fp.n_data; i++) {
      double w = fp.sigma[i] * (*warm_multipliers)[i] / fp.scaling;
      for (int a = 0; a < red.rank; a++) s.first_z[a] += red.u[static_cast<size_t>(i) * red.rank + a] * w;
    }
  }
  int chosen = -1;
  if (opt.alpha_fixed > 0.0) {
    chosen = s.at(std::log(opt.alpha_fixed));
  } else {
    double log_scale = std::log(curvature_scale(red));
    Range range{log_scale + std::log(1e-16), log_scale + std::log(1e8), std::log(opt.alpha_step)};
    double start = opt.alpha_start > 0.0 ? std::log(opt.alpha_start) : log_scale;
    std::pair<double, double> b;
    // A root not refined within the budget is no root: the solve nearest the
    // rule is taken, and said.
    if (bracket(s, start, range, b)) {
      bool done = b.first == b.second;
      double root = done ? b.first : brent(s, b.first, b.second, done);
      if (done) chosen = s.at(root);
    }
    if (chosen < 0) {
      res.no_root = true;
      chosen = nearest_alpha(s, start, range);
    }
  }
  if (chosen < 0) return res;
  fill_result(fp, red, std::exp(s.visited[chosen].log_alpha), s.visited[chosen].solve, res);
  add_warnings(res, fp.n_data);
  res.ok = true;
  return res;
}
