// Newton's method on the maximum-entropy dual (see maxent_dual.h), on the
// range of the error-weighted kernel found by a singular value decomposition.
#include "solver/maxent_dual.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include <gsl/gsl_eigen.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_linalg.h>

namespace {

double dot(std::vector<double> const& x, std::vector<double> const& y) {
  double s = 0.0;
  for (size_t i = 0; i < x.size(); i++) s += x[i] * y[i];
  return s;
}

bool check_problem(FitProblem const& fp, std::vector<double> const& model, std::string& why) {
  size_t n = static_cast<size_t>(fp.n_data), m = static_cast<size_t>(fp.n_grid);
  if (fp.n_data < 1 || fp.n_grid < 1 || fp.kernel.size() != n * m || fp.target.size() != n ||
      fp.sigma.size() != n || model.size() != m)
    why = "inconsistent problem sizes";
  else if (!(fp.scaling > 0.0) || !std::isfinite(fp.scaling))
    why = "the scaling must be positive";
  else if (std::any_of(fp.sigma.begin(), fp.sigma.end(), [](double s) { return !(s > 0.0); }))
    why = "every error must be positive";
  else if (std::any_of(model.begin(), model.end(), [](double v) { return !(v >= 0.0); }) ||
           std::none_of(model.begin(), model.end(), [](double v) { return v > 0.0; }))
    why = "the default model must be non-negative with some positive weight";
  return why.empty();
}

// P, A P, ln Z, D and S at z (log-sum-exp: the largest exponent is taken out).
void evaluate(MaxentReduced const& red, double alpha, std::vector<double> const& z,
              MaxentDualPoint& pt) {
  int m = red.n_grid, k = red.rank;
  std::vector<double>& e = pt.p;
  e = red.log_model;
  for (int a = 0; a < k; a++) {
    double const* row = &red.a[static_cast<size_t>(a) * m];
    for (int j = 0; j < m; j++) e[j] += z[a] * row[j];
  }
  double emax = *std::max_element(e.begin(), e.end());
  double sum = 0.0;
  for (int j = 0; j < m; j++) sum += (e[j] = std::exp(e[j] - emax));
  for (int j = 0; j < m; j++) e[j] /= sum;
  pt.ap.assign(k, 0.0);
  for (int a = 0; a < k; a++) {
    double const* row = &red.a[static_cast<size_t>(a) * m];
    double s = 0.0;
    for (int j = 0; j < m; j++) s += row[j] * e[j];
    pt.ap[a] = s;
  }
  pt.log_z = emax + std::log(sum);
  double zap = dot(z, pt.ap);
  pt.dual = pt.log_z - dot(z, red.c) + 0.5 * alpha * dot(z, z);
  pt.entropy = pt.log_z - zap;
}

// The data curvature A (diag P - P P^T) A^T into h (rank x rank, row-major).
void curvature(MaxentReduced const& red, MaxentDualPoint const& pt, std::vector<double>& h) {
  int m = red.n_grid, k = red.rank;
  h.assign(static_cast<size_t>(k) * k, 0.0);
  std::vector<double> weighted(m);
  for (int a = 0; a < k; a++) {
    double const* ra = &red.a[static_cast<size_t>(a) * m];
    for (int j = 0; j < m; j++) weighted[j] = ra[j] * pt.p[j];
    for (int b = 0; b <= a; b++) {
      double const* rb = &red.a[static_cast<size_t>(b) * m];
      double s = 0.0;
      for (int j = 0; j < m; j++) s += weighted[j] * rb[j];
      s -= pt.ap[a] * pt.ap[b];
      h[static_cast<size_t>(a) * k + b] = h[static_cast<size_t>(b) * k + a] = s;
    }
  }
}

// Eigenvalues of the curvature, descending, rounding negatives lifted to 0.
std::vector<double> eigenvalues(std::vector<double> h, int k) {
  gsl_matrix_view hv = gsl_matrix_view_array(h.data(), k, k);
  gsl_vector* ev = gsl_vector_alloc(k);
  gsl_eigen_symm_workspace* ws = gsl_eigen_symm_alloc(k);
  gsl_eigen_symm(&hv.matrix, ev, ws);
  gsl_eigen_symm_free(ws);
  std::vector<double> g(ev->data, ev->data + k);
  gsl_vector_free(ev);
  for (double& x : g) x = std::max(x, 0.0);
  std::sort(g.begin(), g.end(), std::greater<double>());
  return g;
}

}  // namespace

bool reduce_maxent(FitProblem const& fp, std::vector<double> const& model, double rank_tol,
                   MaxentReduced& red, std::string& why) {
  why.clear();
  if (!check_problem(fp, model, why)) return false;
  int n = fp.n_data, m = fp.n_grid;
  // GSL decomposes tall matrices: B^T (n_grid x n_data) when the grid is the
  // longer side, else B itself. Either way left[i][k] and right[j][k] hold
  // the singular vectors of B = left diag(sv) right^T.
  bool transpose = m >= n;
  int rows = transpose ? m : n, cols = transpose ? n : m;
  gsl_matrix* x = gsl_matrix_alloc(rows, cols);
  for (int i = 0; i < n; i++)
    for (int j = 0; j < m; j++) {
      double b = fp.scaling * fp.k(i, j) / fp.sigma[i];
      if (transpose) gsl_matrix_set(x, j, i, b); else gsl_matrix_set(x, i, j, b);
    }
  gsl_matrix* v = gsl_matrix_alloc(cols, cols);
  gsl_vector* sv = gsl_vector_alloc(cols);
  gsl_vector* work = gsl_vector_alloc(cols);
  gsl_error_handler_t* old = gsl_set_error_handler_off();
  int status = gsl_linalg_SV_decomp(x, v, sv, work);
  gsl_set_error_handler(old);
  gsl_matrix const* left = transpose ? v : x;
  gsl_matrix const* right = transpose ? x : v;
  int k = 0;
  double top = gsl_vector_get(sv, 0);
  while (k < cols && top > 0.0 && gsl_vector_get(sv, k) > rank_tol * top) k++;
  red.n_grid = m;
  red.rank = k;
  red.a.assign(static_cast<size_t>(k) * m, 0.0);
  red.u.assign(static_cast<size_t>(n) * k, 0.0);
  red.c.assign(k, 0.0);
  for (int a = 0; a < k; a++) {
    double s = gsl_vector_get(sv, a);
    for (int j = 0; j < m; j++) red.a[static_cast<size_t>(a) * m + j] = s * gsl_matrix_get(right, j, a);
    for (int i = 0; i < n; i++) {
      double ui = gsl_matrix_get(left, i, a);
      red.u[static_cast<size_t>(i) * k + a] = ui;
      red.c[a] += ui * (fp.target[i] - 1.0 + fp.scaling) / fp.sigma[i];
    }
  }
  gsl_matrix_free(x);
  gsl_matrix_free(v);
  gsl_vector_free(sv);
  gsl_vector_free(work);
  red.log_model.resize(m);
  for (int j = 0; j < m; j++)
    red.log_model[j] = model[j] > 0.0 ? std::log(model[j]) : -std::numeric_limits<double>::infinity();
  if (status != GSL_SUCCESS) why = "singular value decomposition of the kernel failed";
  return status == GSL_SUCCESS;
}

// Damped Newton: the full step when it lowers D enough (Armijo), else halved.
// Close to the minimum D changes by less than its rounding, so a step is also
// taken when D stays within a few ulps of the sum of its terms.
MaxentSolve solve_dual(MaxentReduced const& red, double alpha, std::vector<double> const& z0,
                       double gradient_tol, int max_newton) {
  int k = red.rank;
  MaxentSolve out;
  out.z = z0;
  evaluate(red, alpha, out.z, out.at);
  out.evaluations = 1;
  double c_norm = std::sqrt(dot(red.c, red.c));
  std::vector<double> g(k), h, d(k), trial_z(k);
  MaxentDualPoint trial;
  gsl_error_handler_t* old = gsl_set_error_handler_off();
  for (;;) {
    for (int a = 0; a < k; a++) g[a] = out.at.ap[a] - red.c[a] + alpha * out.z[a];
    double g_norm = std::sqrt(dot(g, g));
    if (g_norm <= gradient_tol * (1.0 + c_norm + alpha * std::sqrt(dot(out.z, out.z)))) {
      out.ok = true;
      break;
    }
    if (out.newton >= max_newton) {
      out.failure = "Newton iteration did not converge";
      break;
    }
    curvature(red, out.at, h);
    for (int a = 0; a < k; a++) h[static_cast<size_t>(a) * k + a] += alpha;
    gsl_matrix_view hv = gsl_matrix_view_array(h.data(), k, k);
    gsl_vector_view gv = gsl_vector_view_array(g.data(), k);
    gsl_vector_view dv = gsl_vector_view_array(d.data(), k);
    if (gsl_linalg_cholesky_decomp1(&hv.matrix) != GSL_SUCCESS ||
        gsl_linalg_cholesky_solve(&hv.matrix, &gv.vector, &dv.vector) != GSL_SUCCESS) {
      out.failure = "dual Hessian not positive definite";
      break;
    }
    for (double& x : d) x = -x;
    double slope = dot(g, d);
    double slack = 1e-14 * (std::fabs(out.at.log_z) + std::fabs(dot(out.z, red.c)) +
                            0.5 * alpha * dot(out.z, out.z) + 1.0);
    double t = 1.0;
    bool accepted = false;
    for (int half = 0; half < 60 && !accepted; half++, t *= 0.5) {
      for (int a = 0; a < k; a++) trial_z[a] = out.z[a] + t * d[a];
      evaluate(red, alpha, trial_z, trial);
      out.evaluations++;
      accepted = std::isfinite(trial.dual) && trial.dual <= out.at.dual + 1e-4 * t * slope + slack;
    }
    if (!accepted) {
      out.failure = "line search found no decrease of the dual";
      break;
    }
    out.z.swap(trial_z);
    std::swap(out.at, trial);
    out.newton++;
  }
  if (out.ok) {
    curvature(red, out.at, h);
    out.gamma = eigenvalues(h, k);
    for (double gk : out.gamma) out.G += gk / (gk + alpha);
  }
  gsl_set_error_handler(old);
  return out;
}
