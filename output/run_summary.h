// What a user quotes from a run: labelled result lines at the end of the log
// and standard output, the diagnostics of the fit, and the JSON summary
// OUTPUT.json.
#ifndef REDORDIST_OUTPUT_RUN_SUMMARY_H
#define REDORDIST_OUTPUT_RUN_SUMMARY_H

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "assessment/assessment.h"
#include "model/paar.h"

// Edge share and longest measurable distance, with a warning for each that
// triggers (above 5 % at the grid's ends; FAR beyond the measurable range).
struct Diagnostics {
  bool computed = false;
  double edge_share = 0.0;
  double longest_measurable_distance = 0.0;  // Angstrom
};
Diagnostics report_diagnostics(Paar& model, Assessment const& assessment);

// chi2, chi2 per point and the distance moments with their units.
void report_result_lines(Paar& model, Assessment const& assessment);

struct RunSummary {
  std::vector<std::string> command;  // the argument vector
  std::string parameter_file;
  bool fitted = false;       // a distribution was fitted (modes fit and err)
  Diagnostics diagnostics;
  Assessment assessment;  // what judges the fit (when fitted)
  nlohmann::json solver_details;  // what the solver adds (alpha, components, ...)
  int status = 0;                 // the exit status
};

// The summary as a JSON value, without writing it ("files" lists the run's
// files that exist on disk).
nlohmann::json summary_json(Paar const& model, RunSummary const& summary);

// Writes OUTPUT.json atomically; false when it could not be written.
bool write_summary_json(Paar const& model, RunSummary const& summary);

#endif
