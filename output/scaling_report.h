// The line, the warning and the summary entries of SCALING fitted with the
// distribution (--fit-scaling).
#ifndef REDORDIST_OUTPUT_SCALING_REPORT_H
#define REDORDIST_OUTPUT_SCALING_REPORT_H

#include <nlohmann/json.hpp>

#include "model/paar.h"

// Wider than this, the SCALING range the data allow (chi2 within 4 of the
// best) cannot be told apart from mass beyond the longest measurable
// distance.
constexpr double kScalingAllowedWidth = 0.1;

// The standard deviation of the fitted SCALING: half the width of the
// SCALING range where chi2 lies within 1 of the best.
double scaling_sd(Paar const& model);

// "Fitted SCALING: ..." (with its +- in mode err) and the range allowed,
// on standard output and in the log; the warning when the range is wider
// than kScalingAllowedWidth. Nothing when SCALING was not fitted.
void report_fitted_scaling(Paar& model);

// scaling_allowed (and scaling_sd in mode err) in the summary when SCALING
// was fitted.
void add_scaling_json(Paar const& model, nlohmann::json& summary);

#endif
