// The peaks of a distribution and whether the data support them. A peak is
// a stretch of the grid between two minima of the distribution holding at
// least a given share of it. Models of the same data, each with its own
// number of peaks, are compared by Akaike's criterion: one, two and three
// Gaussians (two or three can also make a single broad or skewed peak: what
// counts is the peaks of the mixture, not its components) and one skewed
// peak. The data support N peaks when no model with fewer peaks comes
// within 2 of the lowest AIC: more peaks must earn their parameters.
#ifndef REDORDIST_ASSESSMENT_PEAK_SUPPORT_H
#define REDORDIST_ASSESSMENT_PEAK_SUPPORT_H

#include <array>
#include <string>
#include <vector>

#include "assessment/assessment.h"
#include "assessment/skewed_peak.h"
#include "model/peaks.h"
#include "solver/gaussians/gaussian_fit.h"
#include "model/gaussian_mixture.h"

constexpr double kAicMargin = 2.0;

struct PeakModel {
  std::string name;  // "1 Gaussian", "2 Gaussians", "3 Gaussians", "skewed peak", "flat-topped peak"
  double aic = 0.0;
  std::vector<PeakInfo> peaks;  // of the model's distribution on the run's grid
  // The mean, sd and effective distance of its distribution (Angstrom).
  std::array<double, 3> moments{};
};

// The fitted mixtures of sel (on gm's problem), one skewed peak and one
// flat-topped peak; the skewed peak's fit also into *skewed when given.
std::vector<PeakModel> peak_models(MixtureSelection const& sel, GaussianMixture const& gm,
                                   SkewedPeak* skewed = nullptr);

// Marks the peaks the models support and returns how many peaks the data
// support (0 without models). When that is fewer than the peaks, the peaks
// nearest those of the best model with that many stay supported.
int mark_supported_peaks(std::vector<PeakInfo>& peaks, std::vector<PeakModel> const& models);

// Withdraws the support of every peak beyond distance r (Angstrom), where a
// lower SCALING explains the mass as well as the peak does; the number of
// peaks that lost it.
int unsupport_peaks_beyond(std::vector<PeakInfo>& peaks, double r);

#endif
