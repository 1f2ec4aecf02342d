// Maximum-entropy distance distribution with the weight of the entropy chosen
// by the classic Bayesian rule.
//
// For a weight alpha > 0 the distribution minimises
//     Q(P) = chi2(P) / 2 - alpha S(P),   S(P) = -sum_j P_j ln(P_j / m_j),
// over P_j >= 0, sum_j P_j = 1, with m the default model. The minimiser is
//     P_j = m_j exp(sum_i lambda_i K_ij) / Z,   lambda_i = -s (f_i - y_i) / (alpha sigma_i^2),
// found by Newton's method on the convex dual in the n_data multipliers.
// alpha is then the root of  -2 alpha S = G,  G = sum_k gamma_k / (gamma_k + alpha),
// gamma_k the eigenvalues of the data curvature s^2 W^{1/2} K (diag P - P P^T) K^T W^{1/2}
// (W = diag 1/sigma^2) at the solution: the entropy lost equals the number of
// directions the data measure well. When no alpha satisfies the rule, the one
// where -2 alpha S / G is nearest to 1 is taken.
#ifndef REDORDIST_SOLVER_MAXENT_H
#define REDORDIST_SOLVER_MAXENT_H

#include <string>
#include <vector>

#include "model/fit_problem.h"

struct MaxentOptions {
  double alpha_fixed = 0.0;      // > 0: solve at this alpha only, no search
  double alpha_start = 0.0;      // > 0: start the search here (a replicate from its fit's alpha)
  double gradient_tol = 1e-10;   // dual gradient relative to the data term at convergence
  int max_newton = 200;          // Newton steps allowed at one alpha
  double log_alpha_tol = 1e-9;   // width of the final bracket in ln alpha
  int max_alpha_solves = 100;    // solves at distinct alpha in one search
  double alpha_step = 10.0;      // factor between alphas while bracketing the root
  // Singular values of s W^{1/2} K below rank_tol times the largest are taken
  // as zero: those directions carry nothing the data can resolve.
  double rank_tol = 1e-13;
};

// One solve at one alpha, for the trace file.
struct MaxentStep {
  double alpha = 0.0;
  double G = 0.0;                 // number of good measurements
  double minus_two_alpha_s = 0.0; // -2 alpha S
  double chi2 = 0.0;
  int newton = 0;                 // Newton steps this solve took
};

struct MaxentResult {
  bool ok = false;
  std::string failure;             // why not ok
  // The rule has no root: alpha is where -2 alpha S / G comes nearest to 1.
  bool no_root = false;
  // Full lines starting "warning: " for the run's list: no root, and a chi2
  // far above the number of points (with the likely causes).
  std::vector<std::string> warnings;
  std::vector<double> p;           // n_grid, sums to 1
  // n_data: P_j ∝ m_j exp(sum_i multipliers_i K_ij) to rounding. They equal
  // -s (f_i - y_i) / (alpha sigma_i^2) to the convergence tolerance, less the
  // part the kernel cannot see (singular values below rank_tol), which leaves P alone.
  std::vector<double> multipliers;
  std::vector<double> fitted;      // n_data, the fitted curve f
  std::vector<double> gamma;       // curvature eigenvalues at the solution, descending
  double alpha = 0.0;
  double G = 0.0;
  double chi2 = 0.0;
  double entropy = 0.0;            // S <= 0
  int rank = 0;                    // kept singular values of s W^{1/2} K
  int newton_steps = 0;            // over all solves
  int evaluations = 0;             // evaluations of P (line-search trials included)
  std::vector<MaxentStep> steps;   // every solve, in order
};

// The maximum-entropy distribution of fp against the default model (n_grid,
// positive or zero, sum 1). warm_multipliers (n_data, the convention of
// MaxentResult::multipliers) start the Newton iteration, e.g. from the fit a
// bootstrap replicate comes from. Requires fp.scaling > 0.
MaxentResult solve_maxent(FitProblem const& fp, std::vector<double> const& model,
                          MaxentOptions const& opt,
                          std::vector<double> const* warm_multipliers = nullptr);

// Default model: uniform over the grid, falling to the ends over the last
// taper Angstrom by a half cosine, sum 1. A point at distance d from its
// nearer grid end gets (1 - cos(pi min(1, (d + h/2) / taper))) / 2 for grid
// step h: measured to the middle of its grid cell, so even the end points keep
// a small positive weight and ln m stays finite. taper <= 0: uniform.
std::vector<double> tapered_uniform_model(std::vector<double> const& distance, double taper);

// Largest |exponent| an evaluation may take exp of as it stands: a sum of
// exp(600) over even a million grid points stays far inside the doubles.
constexpr double kLargestPlainExponent = 600.0;

// ln m_j for an evaluation P_j = exp(e_j) / sum_k exp(e_k), e_j = sum_i
// multipliers_i K_ij + ln m_j, that takes exp of the exponents as they stand:
// exactly ln m_j while the largest e_j lies within kLargestPlainExponent of 0,
// else ln m_j less the largest e_j (P is normalised after exp, so the
// constant moves only the range). Multipliers of several hundred, e.g. from
// errors of 0.1 %, would otherwise overflow exp.
std::vector<double> log_model_for_evaluation(FitProblem const& fp, std::vector<double> const& model,
                                             std::vector<double> const& multipliers);

#endif
