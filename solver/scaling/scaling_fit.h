// SCALING (the dephasable fraction) fitted together with the distribution:
// the chi2 of a solver's fit as a function of SCALING, minimised, and the
// SCALING values whose chi2 lies within 1 and 4 of the minimum.
#ifndef REDORDIST_SOLVER_SCALING_SCALING_FIT_H
#define REDORDIST_SOLVER_SCALING_SCALING_FIT_H

#include "model/paar.h"

// Lowest and highest SCALING searched, and the step of the first scan.
// SCALING is the dephasable share of the pairs, physically in (0, 1]; the
// scan reaches 1.2 so that a curve dipping a little below zero at long
// dephasing (noise, or a baseline offset) is fitted rather than cut off.
constexpr double kScalingMin = 0.05, kScalingMax = 1.2, kScalingScanStep = 0.05;
// A best SCALING within this of an end of the scan lies at that end.
constexpr double kScalingAtEnd = 1e-3;

// The profile of chi2 over SCALING in [kScalingMin, kScalingMax], whatever
// the model's SCALING: a scan, a golden-section search around the scan's
// lowest point, and the crossings of chi2_min + 1 and chi2_min + 4 found by
// bisection (an end of the scan when chi2 stays below). Each chi2 is the
// solver's fit on a silent copy of the model with that SCALING. Nothing of
// the model changes.
ScalingProfile fit_scaling(Paar const& model, SolverFit (*fit)(Paar const&));

#endif
