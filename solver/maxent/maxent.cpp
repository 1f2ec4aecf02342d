// The choice of alpha for the maximum-entropy distribution: the root in
// ln alpha of phi = -2 alpha S - G, bracketed by steps of a constant factor
// from a start and then closed by Brent's method. Each solve starts from the
// multipliers of the solved alpha nearest in ln alpha, so the Newton
// iterations stay short and the result does not depend on timing.
#include "solver/maxent/maxent.h"

#include <cmath>
#include <utility>

#include <gsl/gsl_errno.h>
#include <gsl/gsl_roots.h>

#include "solver/maxent/maxent_dual.h"

namespace {

struct Solved {
  double log_alpha;
  MaxentSolve solve;
  double phi;
};

struct AlphaSearch {
  FitProblem const& fp;
  MaxentReduced const& red;
  MaxentOptions const& opt;
  MaxentResult& res;
  std::vector<Solved> visited;
  std::vector<double> first_z;
  MaxentSolve last;
  bool failed = false;

  // Solves at ln alpha (an alpha solved before is looked up: Brent asks for
  // the bracket ends again) and records the step; phi, or NaN after a failure.
  double phi(double log_alpha) {
    if (failed) return NAN;
    std::vector<double> const* z0 = &first_z;
    double best = INFINITY;
    for (Solved const& v : visited) {
      if (v.log_alpha == log_alpha) {
        last = v.solve;
        return v.phi;
      }
      if (std::fabs(v.log_alpha - log_alpha) < best) best = std::fabs(v.log_alpha - log_alpha), z0 = &v.solve.z;
    }
    double alpha = std::exp(log_alpha);
    last = solve_dual(red, alpha, *z0, opt.gradient_tol, opt.max_newton);
    res.newton_steps += last.newton;
    res.evaluations += last.evaluations;
    if (!last.ok) {
      failed = true;
      res.failure = last.failure + " at alpha " + std::to_string(alpha);
      return NAN;
    }
    std::vector<double> f;
    fitted_curve(fp, last.at.p, f);
    MaxentStep s;
    s.alpha = alpha, s.G = last.G, s.minus_two_alpha_s = -2.0 * alpha * last.at.entropy;
    s.chi2 = chi2_of_curve(fp, f), s.newton = last.newton;
    res.steps.push_back(s);
    visited.push_back({log_alpha, last, s.minus_two_alpha_s - s.G});
    return visited.back().phi;
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

// Steps from the start by opt.alpha_step towards the sign change of phi (phi > 0:
// alpha too large) within [1e-16, 1e8] times the curvature scale. Returns the
// bracket in ln alpha, or sets *at_end and returns the visited alpha with the
// smallest |phi| twice when phi keeps its sign up to the limit.
std::pair<double, double> bracket(AlphaSearch& s, double log_start, double log_scale, bool* at_end) {
  double lo_limit = log_scale + std::log(1e-16), hi_limit = log_scale + std::log(1e8);
  double step = std::log(s.opt.alpha_step);
  double la = log_start, fa = s.phi(la);
  double best = la, best_phi = std::fabs(fa);
  double dir = fa > 0 ? -1.0 : 1.0;
  while (!s.failed && fa != 0.0) {
    double lb = std::min(hi_limit, std::max(lo_limit, la + dir * step));
    if (lb == la || static_cast<int>(s.visited.size()) >= s.opt.max_alpha_solves) break;
    double fb = s.phi(lb);
    if (s.failed) break;
    if ((fa > 0) != (fb > 0)) return {std::min(la, lb), std::max(la, lb)};
    if (std::fabs(fb) < best_phi) best = lb, best_phi = std::fabs(fb);
    la = lb, fa = fb;
  }
  *at_end = fa != 0.0;
  return {fa == 0.0 ? la : best, fa == 0.0 ? la : best};
}

double brent(AlphaSearch& s, double lo, double hi) {
  gsl_function f{&phi_callback, &s};
  gsl_root_fsolver* r = gsl_root_fsolver_alloc(gsl_root_fsolver_brent);
  gsl_root_fsolver_set(r, &f, lo, hi);
  double root = 0.5 * (lo + hi);
  while (!s.failed && static_cast<int>(s.visited.size()) < s.opt.max_alpha_solves) {
    if (gsl_root_fsolver_iterate(r) != GSL_SUCCESS) break;
    root = gsl_root_fsolver_root(r);
    if (gsl_root_test_interval(gsl_root_fsolver_x_lower(r), gsl_root_fsolver_x_upper(r),
                               s.opt.log_alpha_tol, 0.0) == GSL_SUCCESS)
      break;
  }
  gsl_root_fsolver_free(r);
  return root;
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

}  // namespace

MaxentResult solve_maxent(FitProblem const& fp, std::vector<double> const& model,
                          MaxentOptions const& opt, std::vector<double> const* warm_multipliers) {
  MaxentResult res;
  MaxentReduced red;
  if (!reduce_maxent(fp, model, opt.rank_tol, red, res.failure)) return res;
  res.rank = red.rank;
  AlphaSearch s{fp, red, opt, res, {}, std::vector<double>(red.rank, 0.0), {}, false};
  if (warm_multipliers && static_cast<int>(warm_multipliers->size()) == fp.n_data) {
    // z = U^T w with w_i = sigma_i lambda_i / s.
    for (int i = 0; i < fp.n_data; i++) {
      double w = fp.sigma[i] * (*warm_multipliers)[i] / fp.scaling;
      for (int a = 0; a < red.rank; a++) s.first_z[a] += red.u[static_cast<size_t>(i) * red.rank + a] * w;
    }
  }
  gsl_error_handler_t* old = gsl_set_error_handler_off();
  double log_alpha;
  if (opt.alpha_fixed > 0.0) {
    log_alpha = std::log(opt.alpha_fixed);
  } else {
    double log_scale = std::log(curvature_scale(red));
    double start = opt.alpha_start > 0.0 ? std::log(opt.alpha_start) : log_scale;
    std::pair<double, double> b = bracket(s, start, log_scale, &res.alpha_at_bracket_end);
    log_alpha = b.first == b.second || s.failed ? b.first : brent(s, b.first, b.second);
  }
  gsl_set_error_handler(old);
  if (!s.failed) s.phi(log_alpha);
  if (s.failed) return res;
  fill_result(fp, red, std::exp(log_alpha), s.last, res);
  res.ok = true;
  return res;
}
