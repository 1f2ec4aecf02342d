// SCALING (the dephasable fraction) fitted together with the distribution:
// the chi2 of a solver's fit as a function of SCALING, minimised, and the
// SCALING values whose chi2 lies within 1 and 4 of the minimum.
#ifndef REDORDIST_SOLVER_SCALING_SCALING_FIT_H
#define REDORDIST_SOLVER_SCALING_SCALING_FIT_H

#include "model/paar.h"

// Lowest and highest SCALING searched, and the step of the first scan.
constexpr double kScalingMin = 0.05, kScalingMax = 1.2, kScalingReach = 0.5, kScalingScanStep = 0.05;

// The profile of chi2 over SCALING in [max(kScalingMin, s0 - kScalingReach),
// min(kScalingMax, s0 + kScalingReach)], s0 the model's SCALING: a scan, a
// golden-section search around the scan's lowest point, and the crossings of
// chi2_min + 1 and chi2_min + 4 found by bisection (an end of the interval
// when chi2 stays below). Each chi2 is the solver's fit on a silent copy of
// the model with that SCALING. Nothing of the model changes.
ScalingProfile fit_scaling(Paar const& model, SolverFit (*fit)(Paar const&));

#endif
