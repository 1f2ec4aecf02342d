// The state a solver changes: the data it fits (perturbed in the Monte Carlo
// estimate), the distribution in the model's form, the fitted curves, the
// residual and chi2, and the evaluation's scratch. Each copy owns its state
// outright, so copies evaluate side by side on several threads.
#ifndef REDORDIST_MODEL_SOLVER_STATE_H
#define REDORDIST_MODEL_SOLVER_STATE_H

#include "model/run_setup.h"
#include "numeric/gsl_handles.h"

struct SolverState {
  SolverState() = default;
  // Sized for the set-up; data are the measured S/S0, the rest zero.
  explicit SolverState(RunSetup const& s);

  GslVec data;          // n_data, the S/S0 being fitted
  GslVec lagrange;      // n_data, multipliers lambda_i
  // ln m_j of a default model m (P_j proportional to m_j exp(sum_i lambda_i
  // K_ij)); empty for the annealing, whose m is uniform.
  GslVec log_default_model;
  // A parametric solver's own unscaled curve at the data points: when set,
  // the distribution is the solver's and not a function of the multipliers.
  GslVec fixed_curve;
  GslVec distribution;  // n_grid, fraction of the fitted share at each distance
  GslVec fit_to_data;   // n_data, fitted S/S0 at the data points
  GslVec residual;      // n_data, fit minus the data of the fitted share
  GslVec smooth_fit;    // n_cycles, fitted S/S0 at every cycle index
  double chi2 = 0.0;    // sum of squared residuals over errors
  double avgdev = 0.0;  // mean residual
  double scaling = 0.0; // dephasable fraction used by the curve

  // Evaluation scratch.
  GslVec scratch_exponent;  // n_grid
  GslVec scratch_weights;   // n_grid
  GslVec scratch_weighted;  // n_data
};

#endif
