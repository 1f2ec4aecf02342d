// Newton's method on the maximum-entropy dual (see maxent_dual.h), on the
// range of the error-weighted kernel found by a singular value decomposition.
#include "solver/maxent/maxent_dual.h"

#include "numeric/numeric.h"

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
// Centred, sum_j P_j (A_aj - (AP)_a) (A_bj - (AP)_b), it holds no difference
// of large sums: the form for a row of A far larger than its spread under P
// (a point at N_c 0 with an error of 1e-10 gives 1e10 at every distance),
// where the plain form's rounding can outweigh alpha.
void curvature(MaxentReduced const& red, MaxentDualPoint const& pt, std::vector<double>& h, bool centred) {
  int m = red.n_grid, k = red.rank;
  h.assign(static_cast<size_t>(k) * k, 0.0);
  std::vector<double> weighted(m), rb_centred(m);
  for (int a = 0; a < k; a++) {
    double const* ra = &red.a[static_cast<size_t>(a) * m];
    double shift = centred ? pt.ap[a] : 0.0;
    for (int j = 0; j < m; j++) weighted[j] = (ra[j] - shift) * pt.p[j];
    for (int b = 0; b <= a; b++) {
      double const* rb = &red.a[static_cast<size_t>(b) * m];
      double s;
      if (centred) {
        for (int j = 0; j < m; j++) rb_centred[j] = rb[j] - pt.ap[b];
        s = dot_two_sums(weighted.data(), rb_centred.data(), 0, m);
      } else {
        s = dot_two_sums(weighted.data(), rb, 0, m) - pt.ap[a] * pt.ap[b];
      }
      h[static_cast<size_t>(a) * k + b] = h[static_cast<size_t>(b) * k + a] = s;
    }
  }
}

// Solves (h + alpha I) d = g by Cholesky (h and g are copies); false when
// the matrix is not positive definite.
bool newton_direction(std::vector<double> h, double alpha, std::vector<double> g, int k, std::vector<double>& d) {
  for (int a = 0; a < k; a++) h[static_cast<size_t>(a) * k + a] += alpha;
  gsl_matrix_view hv = gsl_matrix_view_array(h.data(), k, k);
  gsl_vector_view gv = gsl_vector_view_array(g.data(), k);
  gsl_vector_view dv = gsl_vector_view_array(d.data(), k);
  return gsl_linalg_cholesky_decomp1(&hv.matrix) == GSL_SUCCESS &&
         gsl_linalg_cholesky_solve(&hv.matrix, &gv.vector, &dv.vector) == GSL_SUCCESS;
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

// Householder QR of B^T (n_grid x n_data, n_grid >= n_data) in place on B
// (row-major n_data x n_grid, so each column of B^T is a contiguous row of B);
// returns R (n_data x n_data) with B B^T = R^T R. Rows are reflected in order,
// so the result is the same on every run.
std::vector<double> triangular_factor(std::vector<double> b, int n, int m) {
  std::vector<double> r(static_cast<size_t>(n) * n, 0.0);
  for (int c = 0; c < n; c++) {
    double* v = &b[static_cast<size_t>(c) * m];
    double norm = 0.0;
    for (int j = c; j < m; j++) norm += v[j] * v[j];
    norm = std::sqrt(norm);
    double diag = v[c] > 0.0 ? -norm : norm;  // the sign that avoids cancellation
    r[static_cast<size_t>(c) * n + c] = diag;
    if (norm == 0.0) continue;
    v[c] -= diag;  // v = x - diag e_c, |v|^2 = 2 norm (norm + |x_c|)
    double vv = 2.0 * norm * (norm + std::fabs(v[c] + diag));
    for (int row = c + 1; row < n; row++) {
      double* x = &b[static_cast<size_t>(row) * m];
      double s = dot_two_sums(v, x, c, m) * (2.0 / vv);
      for (int j = c; j < m; j++) x[j] -= s * v[j];
      r[static_cast<size_t>(c) * n + row] = x[c];
    }
  }
  return r;
}

// Left singular vectors (n x n_sv, row-major) and singular values
// (descending) of B (n x m). A wide B goes through the triangular factor of
// B^T: with R = U_r S V_r^T, B = V_r S (Q U_r)^T, so V_r holds them. A tall B
// goes to GSL as it is.
int left_singular(std::vector<double> const& b, int n, int m, std::vector<double>& left,
                  std::vector<double>& sv) {
  bool wide = m >= n;
  int rows = n, cols = wide ? n : m;
  std::vector<double> x = wide ? triangular_factor(b, n, m) : b;
  gsl_matrix_view xv = gsl_matrix_view_array(x.data(), rows, cols);
  gsl_matrix* v = gsl_matrix_alloc(cols, cols);
  gsl_vector* s = gsl_vector_alloc(cols);
  gsl_vector* work = gsl_vector_alloc(cols);
  int status = gsl_linalg_SV_decomp(&xv.matrix, v, s, work);
  gsl_matrix const* l = wide ? v : &xv.matrix;
  left.resize(static_cast<size_t>(n) * cols);
  for (int i = 0; i < n; i++)
    for (int a = 0; a < cols; a++) left[static_cast<size_t>(i) * cols + a] = gsl_matrix_get(l, i, a);
  sv.assign(s->data, s->data + cols);
  gsl_matrix_free(v);
  gsl_vector_free(s);
  gsl_vector_free(work);
  return status;
}

}  // namespace

bool reduce_maxent(FitProblem const& fp, std::vector<double> const& model, double rank_tol,
                   MaxentReduced& red, std::string& why) {
  why.clear();
  if (!check_problem(fp, model, why)) return false;
  int n = fp.n_data, m = fp.n_grid;
  std::vector<double> b(static_cast<size_t>(n) * m);  // B, row-major
  for (int i = 0; i < n; i++)
    for (int j = 0; j < m; j++) b[static_cast<size_t>(i) * m + j] = fp.scaling * fp.k(i, j) / fp.sigma[i];
  std::vector<double> left, sv;  // n x n_sv row-major, n_sv
  int status = left_singular(b, n, m, left, sv);
  int n_sv = static_cast<int>(sv.size());
  int k = 0;
  while (k < n_sv && sv[0] > 0.0 && sv[k] > rank_tol * sv[0]) k++;
  red.n_grid = m;
  red.rank = k;
  red.u.assign(static_cast<size_t>(n) * k, 0.0);
  red.a.assign(static_cast<size_t>(k) * m, 0.0);
  red.c.assign(k, 0.0);
  // A = U_k^T B straight from B: exact to rounding in B's own size, however
  // small the singular value.
  for (int i = 0; i < n; i++) {
    double ci = (fp.target[i] - 1.0 + fp.scaling) / fp.sigma[i];
    for (int a = 0; a < k; a++) {
      double ui = left[static_cast<size_t>(i) * n_sv + a];
      red.u[static_cast<size_t>(i) * k + a] = ui;
      red.c[a] += ui * ci;
      double* ra = &red.a[static_cast<size_t>(a) * m];
      double const* bi = &b[static_cast<size_t>(i) * m];
      for (int j = 0; j < m; j++) ra[j] += ui * bi[j];
    }
  }
  red.log_model.resize(m);
  for (int j = 0; j < m; j++)
    red.log_model[j] = model[j] > 0.0 ? std::log(model[j]) : -std::numeric_limits<double>::infinity();
  if (status != GSL_SUCCESS) why = "singular value decomposition of the kernel failed";
  return status == GSL_SUCCESS;
}

// Damped Newton: the full step when it lowers D enough (Armijo), else halved.
// Close to the minimum D changes by less than its rounding, so a step is also
// taken when D stays within a few ulps of the sum of its terms. One loop with
// its step, line search and stopping test together, longer than usual.
MaxentSolve solve_dual(MaxentReduced const& red, double alpha, std::vector<double> const& z0,
                       double gradient_tol, int max_newton) {
  int k = red.rank;
  MaxentSolve out;
  out.z = z0;
  evaluate(red, alpha, out.z, out.at);
  out.evaluations = 1;
  std::vector<double> g(k), h, d(k), trial_z(k);
  bool centred = false;  // the curvature in its centred form, once the plain one failed
  MaxentDualPoint trial;
  for (;;) {
    // Each component against its own scale: one point with a tiny error (a row
    // of 1e9 at N_c 0) must not loosen the test for the components that hold
    // the distribution.
    bool converged = true;
    for (int a = 0; a < k; a++) {
      g[a] = out.at.ap[a] - red.c[a] + alpha * out.z[a];
      converged = converged && std::fabs(g[a]) <= gradient_tol * (1.0 + std::fabs(red.c[a]) + alpha * std::fabs(out.z[a]));
    }
    if (converged) {
      out.ok = true;
      break;
    }
    if (out.newton >= max_newton) {
      out.failure = "Newton iteration did not converge";
      break;
    }
    curvature(red, out.at, h, centred);
    bool solved = newton_direction(h, alpha, g, k, d);
    if (!solved && !centred) {  // the plain form's rounding outweighs alpha: centred from now on
      centred = true;
      curvature(red, out.at, h, centred);
      solved = newton_direction(h, alpha, g, k, d);
    }
    if (!solved) {
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
    curvature(red, out.at, h, centred);
    out.gamma = eigenvalues(h, k);
    for (double gk : out.gamma) out.G += gk / (gk + alpha);
  }
  return out;
}
