// The lines, warnings and summary entries that say what the data determine:
// the effective distance, the widths and centres one Gaussian may take, the
// goodness of fit, and the peaks the data support.
#ifndef REDORDIST_OUTPUT_DETERMINED_REPORT_H
#define REDORDIST_OUTPUT_DETERMINED_REPORT_H

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "assessment/advice.h"
#include "assessment/assessment.h"
#include "model/paar.h"
#include "model/peaks.h"

// " (not determined by these data)" after the sd when the data leave the
// width open, else "".
std::string sd_note(Assessment const& a);
// The same after the mean distance.
std::string mean_note(Assessment const& a);

// The peaks as the Peaks line lists them: " N: a Angstrom (x %), b Angstrom
// (y %, not supported)", and "; the WHO support K" when K > 0.
std::string peak_list(std::vector<PeakInfo> const& peaks, int supported, char const* who);

// After the result lines: the effective distance (with its spread in mode
// err), the allowed widths and centres, the tests of the fit and the peaks,
// then a warning for each thing the data do not determine. Standard output
// and the log.
void report_determined(Paar& model, Assessment const& a);

// Adds the effective distance, the allowed widths and centres, whether the
// sd is determined and the peaks to the summary's "distance", and the tests
// as "goodness_of_fit".
void add_determined_json(Paar const& model, Assessment const& a, nlohmann::json& summary);

// The warning on SCALING's trap when there is one, else the advice on mass
// at the grid's ends or beyond the longest measurable distance lmd
// (Angstrom), on standard output and in the log. Returns true when the
// warning already speaks of FAR and lmd.
bool report_edge_advice(Paar& model, Assessment const& a, double edge_share, double lmd);

#endif
