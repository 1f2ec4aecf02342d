// The annealing schedule of one try, and the rule that fills a try's zero
// entries from the first try.
#ifndef REDORDIST_INPUT_ANNEAL_SCHEDULE_H
#define REDORDIST_INPUT_ANNEAL_SCHEDULE_H

#include "input/run_params.h"

// A per-try value whose magnitude is below this counts as a 0 written in the
// file ("not given") and takes the first try's value. No step, Boltzmann k,
// divisor or end temperature means anything that small; the value is kept
// exactly so that existing parameter files keep their schedules.
const double kUnsetTryValue = 1.2e-11;
// A start temperature below this continues from the best state's temperature.
const double kContinueTemp = 1e-12;

struct AnnealSchedule {
  int iters = 0;         // trials per temperature
  double step = 0.0;     // largest move of a multiplier
  double boltzmann = 0;  // Boltzmann constant k of the acceptance rule
  double start = 0.0;    // start temperature
  double divisor = 0.0;  // the temperature is divided by this after each step
  double end = 0.0;      // the annealing stops below this temperature
};

// Try i of the fit after the zero rule; a start temperature of 0 is left 0
// (the annealing continues from the best state's temperature).
AnnealSchedule try_schedule(RunParams const& p, int i);

// The Monte Carlo runs' schedule (the ERR lines).
AnnealSchedule mc_schedule(RunParams const& p);

// Temperature steps of a schedule from start to below end (at least one).
double schedule_steps(double start, double divisor, double end);

// Upper bounds of the trials of the fit (all tries; a try that continues
// from the best state counted from the highest start temperature so far)
// and of one Monte Carlo run. The schedules must have passed the checks.
double fit_trials_bound(RunParams const& p);
double mc_trials_bound(RunParams const& p);

#endif
