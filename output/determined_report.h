// The lines, warnings and summary entries that say what the data determine:
// the effective distance, the widths and centres one Gaussian may take, the
// goodness of fit, and the peaks the data support.
#ifndef REDORDIST_OUTPUT_DETERMINED_REPORT_H
#define REDORDIST_OUTPUT_DETERMINED_REPORT_H

#include <string>

#include <nlohmann/json.hpp>

#include "assessment/assessment.h"
#include "model/paar.h"

// Above this share of the distribution on the first two and last two grid
// distances, the data may not constrain it.
constexpr double kEdgeLimit = 0.05;

// " (not determined by these data)" after the sd when the data leave the
// width open, else "".
std::string sd_note(Assessment const& a);
// The same after the mean distance.
std::string mean_note(Assessment const& a);

// After the result lines: the effective distance (with its spread in mode
// err), the allowed widths and centres, the tests of the fit and the peaks,
// then a warning for each thing the data do not determine. Standard output
// and the log.
void report_determined(Paar& model, Assessment const& a);

// Adds the effective distance, the allowed widths and centres, whether the
// sd is determined and the peaks to the summary's "distance", and the tests
// as "goodness_of_fit".
void add_determined_json(Paar const& model, Assessment const& a, nlohmann::json& summary);

// One piece of advice, as a warning, for mass piled on the first two or last
// two grid distances (edge_share above kEdgeLimit) or beyond the longest
// measurable distance lmd (Angstrom). That mass stands for signal the
// experiment cannot place: when the curve's late plateau disagrees with
// SCALING, SCALING comes first (a wider grid would only move the mass out);
// otherwise widen the grid, but never past lmd. Returns true when the advice
// already speaks of FAR and lmd.
bool report_edge_advice(Paar& model, Assessment const& a, double edge_share, double lmd);

// The advice on SCALING from the curve's late plateau ("" when the plateau
// does not point to SCALING): the level and the SCALING it suggests, or
// (brief) only the SCALING.
std::string scaling_hint(Paar const& model, Assessment const& a, bool brief = false);

#endif
