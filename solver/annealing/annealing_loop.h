// The Metropolis annealing of the Lagrange multipliers, written once for the
// fit's tries and for every Monte Carlo run. chi2 is the energy.
//
// An Annealer holds the three copies of the model it works on (current,
// trial, best) and what carries from one schedule to the next (energies, the
// best state's temperature, the step and evaluation counters). run() anneals
// under one schedule; what differs between callers (trace rows, progress
// lines, what a non-finite chi2 means, cancellation) comes in as hooks.
#ifndef REDORDIST_SOLVER_ANNEALING_LOOP_H
#define REDORDIST_SOLVER_ANNEALING_LOOP_H

#include <atomic>
#include <functional>

#include <gsl/gsl_rng.h>

#include "input/anneal_schedule.h"
#include "model/paar.h"

// What one temperature step did, for trace rows and progress lines.
struct AnnealStep {
  int step = 0;          // temperature steps so far (over all schedules), before this one
  int evals = 0;         // finite trial evaluations so far
  double temp = 0.0;
  int iters = 0;         // trials at this temperature
  int down = 0, acc = 0, rej = 0;  // trials taken downhill, accepted uphill, rejected
  double e_cur = 0.0, e_best = 0.0;
  Paar const* current = nullptr;
};

struct AnnealHooks {
  // After every temperature step.
  std::function<void(AnnealStep const&)> on_step;
  // A trial whose chi2 is not finite, at temperature temp: return true to
  // end the annealing (run() then returns kNotFinite), false to count the
  // trial as rejected and go on.
  std::function<bool(double temp, Paar const& trial)> on_not_finite;
  // When given and turned true, the annealing ends after its current step.
  std::atomic<bool> const* cancel = nullptr;
};

enum class AnnealEnd { kDone, kNotFinite, kCancelled };

class Annealer {
 public:
  // Copies model three times, then evaluates model itself: its chi2 is the
  // starting energy. t_best is the temperature a schedule starting at 0
  // continues from until a best state is found.
  Annealer(Paar& model, double t_best);

  AnnealEnd run(AnnealSchedule const& s, gsl_rng* r, AnnealHooks const& hooks);

  // The temperature at which the best state so far was found.
  double best_temp() const { return t_best_; }

  // Puts the best state into model and evaluates it there.
  void finish(Paar& model);

 private:
  Paar current_, trial_, best_;
  double e_cur_, e_best_, t_best_;
  int step_ = 0, evals_ = 0;
};

// One annealing trial: trial takes the multipliers of current (the rest of
// its evaluation state is recomputed), each multiplier j in order is moved by
// (u + u) S - S with its own uniform draw u, and the trial is evaluated.
// Returns its chi2. current and trial must be copies of the same model.
double try_move(Paar& trial, Paar const& current, gsl_rng* r, double S);

#endif
