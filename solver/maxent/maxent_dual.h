// The dual of the maximum-entropy problem at one fixed alpha.
//
// With w_i = sigma_i lambda_i / s (multipliers in units of the data errors),
// B = s W^{1/2} K and c_i = (y_i - 1 + s) / sigma_i, the minimiser of
// chi2/2 - alpha S is P ∝ m exp(B^T w), and w minimises the strictly convex
//     D(w) = ln Z(w) - w.c + (alpha / 2) |w|^2,   Z(w) = sum_j m_j exp((B^T w)_j),
// with gradient B P - c + alpha w = r / sigma + alpha w (r = f - y) and Hessian
// B (diag P - P P^T) B^T + alpha I: the data curvature plus alpha, so its
// eigenvalues are gamma_k + alpha. Only the range of B matters to P, so the
// iteration runs on z = U^T w with B = U Sigma V^T truncated to the rank
// that the singular values support: A = Sigma V^T (rank x n_grid).
#ifndef REDORDIST_SOLVER_MAXENT_DUAL_H
#define REDORDIST_SOLVER_MAXENT_DUAL_H

#include <string>
#include <vector>

#include "model/fit_problem.h"

struct MaxentReduced {
  int n_grid = 0;
  int rank = 0;
  std::vector<double> a;        // rank x n_grid, row-major: Sigma V^T
  std::vector<double> u;        // n_data x rank, row-major: left singular vectors
  std::vector<double> c;        // rank: U^T c
  std::vector<double> log_model;  // n_grid: ln m_j (-inf where m_j = 0)
};

// The reduced problem of fp and model; false (why filled) when it has none.
bool reduce_maxent(FitProblem const& fp, std::vector<double> const& model, double rank_tol,
                   MaxentReduced& red, std::string& why);

// The state of the dual at one z.
struct MaxentDualPoint {
  std::vector<double> p;      // n_grid
  std::vector<double> ap;     // rank: A P
  double log_z = 0.0;
  double dual = 0.0;          // D
  double entropy = 0.0;       // S = ln Z - z.(A P)
};

struct MaxentSolve {
  MaxentDualPoint at;
  std::vector<double> z;      // rank
  std::vector<double> gamma;  // eigenvalues of the curvature at the solution, descending
  double G = 0.0;
  int newton = 0;
  int evaluations = 0;
  bool ok = false;
  std::string failure;
};

// Damped Newton from z0 at weight alpha; stops when every component of
// grad D falls below gradient_tol (1 + |c_a| + alpha |z_a|).
MaxentSolve solve_dual(MaxentReduced const& red, double alpha, std::vector<double> const& z0,
                       double gradient_tol, int max_newton);

#endif
