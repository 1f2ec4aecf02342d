// What a run found beyond the solver's state: the moments of the
// distribution, the uncertainty estimate, what the solver says about its
// result, and what went wrong.
#ifndef REDORDIST_MODEL_RUN_RESULTS_H
#define REDORDIST_MODEL_RUN_RESULTS_H

#include <array>
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "model/peaks.h"
#include "numeric/gsl_handles.h"

// The spread over the Monte Carlo runs (or bootstrap replicates) of the
// mean distance, of the distance sd and of the effective distance, Angstrom
// (runs 0: none).
struct McDistance {
  size_t runs = 0;
  double mean = 0.0, mean_sd = 0.0, sd = 0.0, sd_sd = 0.0;
  double effective = 0.0, effective_sd = 0.0;
  // Over the same runs: the spread of the distribution's median and mode
  // (Angstrom), and the 2.5 and 97.5 percentiles of each of the five numbers.
  double median_sd = 0.0, mode_sd = 0.0;
  std::array<double, 2> mean_p{}, sd_p{}, effective_p{}, median_p{}, mode_p{};
  // The peaks of each run's distribution, found as the reported ones are.
  std::vector<std::vector<PeakInfo>> run_peaks;
};

// The per-distance uncertainty estimate, n_grid each: the mean of the block
// means and its scatter, the mean of the block standard deviations and
// their scatter.
struct McEstimate {
  GslVec average, average_err, stdev, stdev_err;
  // The 2.5 and 97.5 percentiles over the runs at each distance (empty
  // before two runs).
  std::vector<double> band_p025, band_p975;
  McDistance distance;
};

enum class McStatus { kDone, kNotFinite, kTooManyRejections, kInterrupted };

// SCALING fitted with the distribution (--fit-scaling): the best value, the
// chi2 there, and the SCALING values whose chi2 lies within 1 (one standard
// deviation) and within 4 of it; an end of the searched interval stands
// where chi2 stays below.
// One SCALING the profile fitted: the fit's chi2, its criterion (AIC, chi2
// plus twice the parameters the solver used), and the share of its
// distribution beyond the distance watched (with that share's mean distance)
// and the distance of its highest point, Angstrom.
struct ScalingPoint {
  double scaling = 0.0, chi2 = INFINITY, aic = INFINITY;
  double beyond = 0.0, beyond_at = 0.0, peak = 0.0;
  double effective = NAN;  // the fit's effective distance (Angstrom)
  std::vector<double> peaks{};  // its peaks' positions (Angstrom)
};

struct ScalingProfile {
  bool fitted = false;
  double best = 0.0, chi2 = 0.0;
  double aic = 0.0;  // the best fit's criterion
  // The SCALING values whose criterion lies within 1 and 4 of the best,
  // anywhere in the scan.
  double lo1 = 0.0, hi1 = 0.0, lo4 = 0.0, hi4 = 0.0;
  int fits = 0;  // solver fits the search took
  double scan_lo = 0.0, scan_hi = 0.0;  // the range scanned
  bool at_scan_end = false;             // the best lies at an end of it
  std::vector<ScalingPoint> points;     // every fit, in order of SCALING
};

// Mass where the data see no full dephasing cycle, which a lower SCALING
// explains as well: the share of the reported distribution beyond the
// distance that completes one cycle by the longest dephasing time, and the
// profile over SCALING that shows the other explanation.
struct ScalingTrap {
  bool checked = false;          // the cycle distance is known
  double lambda_min = 0.0;       // lambda_D of the kernel's first minimum
  double cycle_distance = 0.0;   // Angstrom
  double share = 0.0, at = 0.0;  // the share beyond it and its mean distance
  bool found = false;            // the share exceeds kTrapShare
  ScalingProfile profile;        // over SCALING (the fitted one's when SCALING was fitted)
  ScalingPoint other;            // the allowed SCALING with the least share beyond
};

struct RunResults {
  // Mean, standard deviation, skewness and kurtosis (3 for a normal
  // distribution) of the distribution over distance (Angstrom) and over
  // dipolar coupling (Hz), as calc_dist_stats last found them.
  std::array<double, 4> distance_moments{}, coupling_moments{};
  double effective_distance = 0.0;         // <r^-6>^(-1/6), Angstrom
  McEstimate mc;
  std::string solver = "annealing";        // the method that made the distribution
  std::vector<std::string> figure_labels;  // what the figure says of the distribution
  nlohmann::json details;                  // what the solver adds to the summary
  ScalingProfile scaling_fit;              // SCALING fitted with the distribution
  ScalingTrap scaling_trap;                // mass beyond one dephasing cycle, or SCALING
  bool solver_failed = false;              // the solver found no distribution
  bool output_failed = false;              // an output file could not be written
};

#endif
