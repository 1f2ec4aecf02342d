// The line, the warning and the summary entries of SCALING fitted with the
// distribution (--fit-scaling).
#ifndef REDORDIST_OUTPUT_SCALING_REPORT_H
#define REDORDIST_OUTPUT_SCALING_REPORT_H

#include <nlohmann/json.hpp>

#include "model/paar.h"

// Wider than this, the SCALING range the data allow (AIC within 4 of the
// best) cannot be told apart from mass beyond the longest measurable
// distance.
constexpr double kScalingAllowedWidth = 0.1;

// The standard deviation of the fitted SCALING: half the width of the
// SCALING range where the AIC lies within 1 of the best.
double scaling_sd(Paar const& model);

// A fitted SCALING at an end of the scan, or whose allowed range runs past 1
// or is wider than kScalingAllowedWidth, is not determined by the data.
bool scaling_undetermined(ScalingProfile const& profile);

// The warning of mass beyond one dephasing cycle that a lower SCALING
// explains as well, with both explanations' numbers; "" when there is none.
std::string scaling_trap_warning(Paar const& model);

// "Fitted SCALING: ..." (with its +- in mode err) and the range allowed,
// on standard output and in the log; the warning when the range is wider
// than kScalingAllowedWidth. Nothing when SCALING was not fitted.
void report_fitted_scaling(Paar& model);

// scaling_allowed (and scaling_sd in mode err) in the summary when SCALING
// was fitted.
void add_scaling_json(Paar const& model, nlohmann::json& summary);

#endif
