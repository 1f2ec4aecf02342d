// SCALING (the dephasable fraction) fitted together with the distribution:
// the solver's criterion (AIC: chi2 plus twice the parameters its fit used)
// as a function of SCALING, minimised, and the SCALING values whose
// criterion lies within 1 and 4 of the minimum.
#ifndef REDORDIST_SOLVER_SCALING_SCALING_FIT_H
#define REDORDIST_SOLVER_SCALING_SCALING_FIT_H

#include <cmath>

#include <nlohmann/json.hpp>

#include "model/paar.h"

// Lowest and highest SCALING searched, and the step of the first scan.
// SCALING is the dephasable share of the pairs, physically in (0, 1]; the
// scan reaches 1.2 so that a curve dipping a little below zero at long
// dephasing (noise, or a baseline offset) is fitted rather than cut off.
constexpr double kScalingMin = 0.05, kScalingMax = 1.2, kScalingScanStep = 0.05;
// A best SCALING within this of an end of the scan lies at that end.
constexpr double kScalingAtEnd = 1e-3;

// The parameters a solver's fit used, from its details: 3k - 1 for k
// Gaussians, G (the good measurements) for the maximum entropy, 0 when the
// solver does not say (the annealing).
double fit_parameters(nlohmann::json const& details);

// The profile of the criterion over SCALING in [kScalingMin, kScalingMax],
// whatever the model's SCALING: a scan, a golden-section search around the
// scan's lowest point, and the lowest and highest SCALING of the whole scan
// within 1 and 4 of the minimum, their ends found by bisection (so that a
// second low region far from the best one is inside). Each point is the
// solver's fit on a silent copy of the model with that SCALING; each keeps
// the share of its distribution beyond the distance watch (Angstrom).
// Nothing of the model changes.
ScalingProfile fit_scaling(Paar const& model, SolverFit (*fit)(Paar const&), double watch = INFINITY);

#endif
