// What several curves fitted with one distribution determine together: the
// single Gaussians they allow (widths, centres, moments and effective
// distances within chi2 + 4 of the best, with every curve's rows), and the
// shared distribution's mean, sd and effective distance judged against them
// by the rules of a single run's assessment, and its peaks against the peak
// models of the curves together.
#ifndef REDORDIST_ASSESSMENT_STACKED_ASSESSMENT_H
#define REDORDIST_ASSESSMENT_STACKED_ASSESSMENT_H

#include <array>
#include <cmath>
#include <vector>

#include "assessment/assessment.h"
#include "model/fit_problem.h"
#include "model/peaks.h"

struct StackedAssessment {
  WidthAllowed width;  // not computed: the range is too short for a Gaussian
  double mean = 0.0, sd = 0.0, effective = 0.0;  // of the shared distribution, Angstrom
  bool mean_determined = false, sd_determined = false, effective_determined = false;
  bool width_determined = false;  // the widest allowed width within kWideWidths of the narrowest
  // The best single Gaussian fits the curves together (chi2 with n - 3
  // degrees of freedom not above its 0.999 quantile): otherwise its ranges
  // say nothing of the shared distribution, and nothing is determined.
  bool one_gaussian_fits = false;
  // The shared distribution's peaks, each marked supported when the fewest
  // peaks any model within kAicMargin of the best AIC needs (one to three
  // Gaussians, a skewed or flat-topped peak, fitted to the curves together)
  // put one there; supported_peaks is that fewest number (0: no model fitted).
  std::vector<PeakInfo> peaks;
  int supported_peaks = 0;
};

// all: the curves' rows stacked, each curve's SCALING taken into its rows
// (SCALING 1); p: the shared distribution on all.distance. factor: when its
// second value exceeds the first, every curve's SCALING may be scaled by a
// common factor in that range (what the shared fit's data allow), and the
// Gaussians are taken at their best factor too. When a lower factor
// explains the mass beyond the curves' full-cycle distance as well: peaks
// beyond unsupported_beyond are not supported, and other_effective (the
// effective distance of the distribution refitted at that factor) joins the
// range the effective distance is judged by.
StackedAssessment assess_stacked(FitProblem const& all, std::vector<double> const& p,
                                 std::array<double, 2> factor = {0.0, 0.0}, double unsupported_beyond = INFINITY,
                                 double other_effective = NAN);

#endif
