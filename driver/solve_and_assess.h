// The fit of a run and its assessment, into the run's summary. The part of
// the assessment that depends on the data alone is computed beside the
// solver when a core is spare: a fit in mode fit runs on one core, so a run
// ends sooner by about that part; every value is the same either way.
#ifndef REDORDIST_DRIVER_SOLVE_AND_ASSESS_H
#define REDORDIST_DRIVER_SOLVE_AND_ASSESS_H

#include <string>

#include "driver/solve.h"
#include "output/run_summary.h"

// solve() with these arguments; then, for a fitted run, summary's fitted,
// solver_details, assessment and diagnostics.
SolveOutcome solve_and_assess(Paar& model, std::string const& solver, void (*write_results)(Paar&),
                              bool fit_scaling, RunSummary& summary);

#endif
