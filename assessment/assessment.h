// What the data determine about a fitted distribution, beside its moments:
// whether the fit explains the data, the widths and centres one Gaussian may
// take at the data's precision, and which peaks the data support.
#ifndef REDORDIST_ASSESSMENT_ASSESSMENT_H
#define REDORDIST_ASSESSMENT_ASSESSMENT_H

#include <array>
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "model/goodness_of_fit.h"
#include "model/late_plateau.h"
#include "model/peaks.h"
#include "solver/uncertainty/interval95.h"

// The widths (standard deviation before truncation) and centres of one
// truncated Gaussian whose chi2 lies within delta_chi2 of the best one's,
// on the run's own kernel. Angstrom.
struct WidthAllowed {
  bool computed = false;
  double width_lo = 0.0, width_hi = 0.0;
  double centre_lo = 0.0, centre_hi = 0.0;
  bool lo_at_floor = false;    // the narrowest width allowed is the floor itself
  bool hi_at_ceiling = false;  // the widest is the widest a Gaussian may take here
  double best_width = 0.0, best_centre = 0.0, best_chi2 = 0.0;
  // The means and standard deviations on the run's grid of the allowed
  // Gaussians (each width with its best centre): the reported moments' scale.
  double mean_lo = 0.0, mean_hi = 0.0;
  double sd_lo = 0.0, sd_hi = 0.0;
  // The effective distances of the Gaussians within delta chi2 1 of the
  // best: one standard deviation of r_eff whatever the shape.
  double effective_lo = 0.0, effective_hi = 0.0;
};

// The range and centres the assessment used (Angstrom), and the largest
// lambda_D its kernel needs there.
struct AssessmentGrid {
  double near = 0.0, far = 0.0, step = 0.0;
  int centres = 0;
  double lambda_top = 0.0;
};

// The fit does not explain the data when chi2 lies above, or the residuals'
// signs run together beyond, what noise gives with this probability.
constexpr double kFitFailsP = 1e-3;

struct Assessment {
  bool computed = false;
  AssessmentGrid grid;
  // Goodness of fit.
  Chi2Test chi2;
  bool dof_known = false;  // the solver says how many degrees of freedom it used
  double dof_used = 0.0;
  RunsTest runs;
  // chi2 above what the errors allow (p < kFitFailsP): the fit determines
  // none of its numbers (moments, effective distance, peaks), whatever the
  // profiles at its SCALING say. Signs that run together at a small chi2
  // (errors overestimated) leave the numbers standing.
  bool chi2_fails() const { return chi2.p_high < kFitFailsP; }
  bool fit_explains() const { return !chi2_fails() && !(runs.p_few < kFitFailsP); }
  LatePlateau plateau;  // of the fitted share's data
  // Width and centre.
  WidthAllowed width;
  bool one_gaussian_describes = true;  // one Gaussian is not far worse than the best mixture
  bool sd_determined = true;
  bool mean_determined = true;
  std::string width_problem;  // why the width is not determined ("" when it is)
  // A reported sd or mean outside a narrow allowed range: it disagrees with
  // the data (and is not determined either).
  bool sd_disagrees = false, mean_disagrees = false;
  std::string disagree_problem;
  bool effective_outside = false;  // r_eff outside the range allowed (chi2 within 1)
  bool effective_determined = true;  // that range narrow, and r_eff inside it
  // Where one Gaussian does not describe the data: the span of the effective
  // distances of the peak models within kAicMargin of the best and of the
  // reported one, which then judge r_eff.
  bool effective_by_models = false;
  double effective_models_lo = 0.0, effective_models_hi = 0.0;
  // The solver's own fits at the SCALINGs its profile allows as well (within
  // kAicMargin of the best), when they widen that span: their SCALINGs and
  // effective distances.
  bool effective_by_scaling = false;
  double effective_scaling_lo = 0.0, effective_scaling_hi = 0.0;
  double effective_scaling_r_lo = 0.0, effective_scaling_r_hi = 0.0;
  // Peaks.
  std::vector<PeakInfo> peaks;
  // The SCALINGs of the solver's fits (within kAicMargin of its profile's
  // best) whose nearest peaks widened a supported peak's placed range.
  bool peaks_by_scaling = false;
  double peaks_scaling_lo = 0.0, peaks_scaling_hi = 0.0;
  // In mode err, with one supported peak: the modes of the skewed peaks
  // within the 95 % profile level (chi2 within 1.96^2) of the best (Angstrom;
  // NaN when not computed).
  std::array<double, 2> skewed_modes{NAN, NAN};
  // In mode err, with two supported peaks: each one's lowest and highest
  // share over the splits of two Gaussians within chi2 + 3.84 of the best
  // (empty when not computed).
  std::vector<std::array<double, 2>> split_shares;
  Interval95 mean_interval, sd_interval, effective_interval, scaling_interval;
  // The models of the same data the peaks are judged by: name, AIC, peaks.
  struct Model {
    std::string name;
    double aic;
    int peaks;
    std::vector<double> positions;  // of its peaks, Angstrom
    std::array<double, 3> moments{};  // mean, sd, effective distance, Angstrom
    std::vector<double> shares{};     // of its peaks, between the minima of its distribution
  };
  std::vector<Model> peak_models;
  int supported_peaks = 0;  // how many peaks the data support
  bool peaks_supported = true;
  // Peaks beyond one dephasing cycle that a lower SCALING explains as well
  // (marked not supported; the warning on SCALING speaks of them).
  int peaks_beyond_cycle = 0;
  // Gaussian components (of the Gaussian solver) the data do not place:
  // one line each, for the warnings.
  std::vector<std::string> component_problems;
  // A small share (kPileFloor to kEdgeLimit) piled on the first two or last
  // two grid distances, rising towards the end: mass the solver put where
  // the grid stops, which enters the mean and sd. The moments without it.
  struct EdgePile {
    bool found = false;
    bool at_far = false;
    double share = 0.0;
    double mean_without = 0.0, sd_without = 0.0;  // Angstrom
  } edge_pile;
};

#endif
