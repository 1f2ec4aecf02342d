// What a simulation (mode sim) simulated: the chi2 of the prescribed
// distribution's curve against the data on standard output, and the
// distribution's moments and effective distance for the summary.
#ifndef REDORDIST_OUTPUT_SIM_REPORT_H
#define REDORDIST_OUTPUT_SIM_REPORT_H

#include <nlohmann/json.hpp>

#include "model/paar.h"

// Two lines on standard output; the model is evaluated (after write_out).
void report_simulation(Paar& model);

// The summary's "distance" in mode sim: mean, sd, skewness,
// excess_kurtosis, effective, share, unit; null without a distribution.
nlohmann::json simulation_json(Paar const& model);

#endif
