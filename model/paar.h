// The model of one REDOR distance-distribution run, made of three parts:
//   - the set-up (RunSetup): parameters, grid, data, kernel and matrices,
//     read-only and shared by every copy and thread;
//   - the solver state (SolverState): what a solver changes, owned by each
//     copy;
//   - the results (RunResults): moments, uncertainty estimate, solver
//     details and failures.
// A copy shares the set-up and copies the rest; nothing is half-filled.
//
// Glossary of the names the program keeps:
//   Paar        the model: set-up, state and results together.
//   gvg, gmg    element of a GSL vector / matrix (numeric/numeric.h).
//   BoltzmannME the annealing solver: simulated annealing of the Lagrange
//               multipliers with chi2 as the energy, and its Monte Carlo
//               error estimate (MC_error).
//   calc_state  evaluate the multipliers: distribution, fitted curves at the
//               data points and at every cycle index, residual, chi2.
//   calc_state_dataonly_nosim
//               the same at the data points only (no smooth curve): the
//               annealing's inner loop.
//   copy_min    take another copy's evaluated state (multipliers, data,
//               distribution, curves, chi2).
//   calc_dist_stats
//               the moments of the distribution over distance and coupling.
//   adjust      the prescribed share ("forced" distances): its curve is
//               removed from the data before the rest is fitted.
//   lambda_D    j D / MAS at 2j rotor cycles, D the dipolar coupling in Hz.
#ifndef REDORDIST_MODEL_PAAR_H
#define REDORDIST_MODEL_PAAR_H

#include <memory>
#include <string>
#include <vector>

#include "model/run_results.h"
#include "model/run_setup.h"
#include "model/solver_fit.h"
#include "model/solver_state.h"

class Paar : public SolverState {
 public:
  // A model on a set-up whose matrices are built; speaks through rep.
  Paar(std::shared_ptr<const RunSetup> setup, Report& rep);
  Paar(Paar const&) = default;
  Paar& operator=(Paar const&) = delete;

  std::shared_ptr<const RunSetup> setup;
  RunResults results;

  Report& report() const { return *report_; }
  // From now on the model speaks through rep (a silent report for trial fits).
  void speak_to(Report& rep) { report_ = &rep; }

  int copy_min(Paar const& other);
  // The annealing's cheap moves between its own copies, which share data:
  // take only the multipliers of other (an evaluation redoes the rest), or
  // exchange the whole evaluation state with other.
  void take_multipliers(Paar const& other);
  void swap_state(Paar& other);

  double calc_state();
  double calc_state_dataonly_nosim();
  // The moments of the distribution into results, reported on standard
  // output and in the log.
  int calc_dist_stats();

  // Takes a solver's answer as the model's state and evaluates it at the
  // data points: multipliers (with a default model) or a fixed distribution
  // with its own curve.
  void adopt(SolverFit const& fit);

  // Share of the distribution on the first two and last two grid distances:
  // mass piled up there is usually not what the data say.
  double edge_share() const;

  // The fit problem of the current data and scaling.
  FitProblem fit_problem() const { return setup->fit_problem(data, scaling); }

  std::string stem() const { return setup->stem(); }

 private:
  Report* report_;
};

#endif
