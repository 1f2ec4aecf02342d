// redordist PARAMETER_FILE --solver maxent|gaussians --study FILE.csv --shared:
// after the separate fits, one distance distribution fitted by the same
// solver to every fitted curve at once. Each curve keeps its own kernel rows
// (its MAS, nuclei and N_c), errors and SCALING; the grid is the parameter
// file's. The shared fit is weighed against the separate ones by AIC =
// chi2 + 2 G, G the parameters of each fit: for maximum entropy the number of
// measurements the data determine, for k Gaussians 3k - 1, plus one for each
// SCALING fitted. With fit_scaling (the study's --fit-scaling) the shared fit
// fits each curve's SCALING too, in turn with the distribution.
#ifndef REDORDIST_DRIVER_STUDY_SHARED_H
#define REDORDIST_DRIVER_STUDY_SHARED_H

#include <cmath>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "assessment/stacked_assessment.h"
#include "driver/study_inputs.h"
#include "output/study_table.h"
#include "solver/gaussians/gaussian_fit.h"

// Separate fits whose AIC lies this much below the shared fit's: the curves
// do not share one distribution.
constexpr double kNotShared = 10.0;

struct SharedFit {
  std::string failure;              // non-empty: no shared fit
  std::vector<std::string> curves;  // the curves fitted together
  std::vector<double> chi2, separate_chi2, separate_g;  // by curve
  std::vector<double> scaling;                // by curve, of the shared fit
  std::vector<double> separate_scaling;       // by curve, fitted on its own (NaN: not fitted)
  std::vector<double> scaling_lo4, scaling_hi4;  // by curve, chi2 within 4 at the shared distribution
  double factor_lo4 = 1.0, factor_hi4 = 1.0;  // all SCALINGs scaled by these, the distribution refitted: AIC within 4
  bool scaling_fitted = false;
  int rounds = 0;                             // fits of the distribution
  double last_gain = NAN;  // the criterion's fall in the last round when the rounds ran out (NaN: they ended)
  std::vector<int> points;
  std::vector<double> distance, p;  // Angstrom; fractions summing to 1
  double alpha = 0.0, g = 0.0, chi2_total = 0.0;
  double aic_shared = 0.0, aic_separate = 0.0;
  std::string disagrees_most;       // the curve whose chi2 rises most when shared
  std::string solver = "maxent";    // maxent or gaussians
  std::vector<GaussComponent> components;  // the Gaussians' chosen mixture
  StackedAssessment together;       // what the curves determine together
  // Mass beyond the longest distance any curve sees through a full dephasing
  // cycle against every curve's SCALING scaled down by one common factor:
  // above kTrapShare there, the lowest factor the data allow (AIC within 4)
  // and the distribution refitted at it, the other explanation.
  struct Trap {
    double cycle_distance = NAN;   // Angstrom; NaN: no curve's kernel has a first minimum
    double share = 0.0, at = NAN;  // the shared distribution's share beyond it and its mean distance
    double peak = NAN;             // the shared distribution's highest grid distance
    double factor = 1.0;           // the lowest common factor allowed
    double other_share = NAN, other_peak = NAN, other_effective = NAN;  // of the refit at that factor
    bool found = false;            // the factor lies a SCALING scan step (0.05) or more below 1
    bool clears() const { return other_share < 0.5 * share; }
  } trap;
  // By curve, at each of its points: N_c, dephasing time (ms), S/S0 and its
  // error as read, the shared fit in the same units (the prescribed share's
  // curve added back where there is one); and the runs test of its residuals.
  struct CurveFit {
    std::vector<double> n_c, time_ms, s_s0, error, fit;
    double p_runs_few = 1.0;
  };
  std::vector<CurveFit> by_curve;
  // Without --fit-scaling, for curves that do not share one distribution at
  // their SCALINGs: every curve's SCALING fitted with the distribution, that
  // fit's AIC (NaN: not tried) and its chi2 test. They share one when that
  // AIC is not clearly above the separate fits' and the fit explains the data.
  struct OwnScaling {
    std::vector<double> scaling;
    double aic = NAN, chi2 = NAN, p_high = NAN;
  } own_scaling;
  bool own_scaling_shares() const {
    return own_scaling.aic - aic_separate < kNotShared && own_scaling.p_high >= kFitFailsP;
  }
};

// The most fits of the distribution when SCALING is fitted by curve.
constexpr int kSharedRounds = 20;
constexpr double kRoundsGainWarn = 0.1;

// The shared fit by solver (maxent or gaussians) of the curves whose
// separate fit by it succeeded (rows give their summaries); at least two
// are needed.
SharedFit fit_shared(StudyInputs const& st, std::vector<StudyRow> const& rows, std::string const& solver = "maxent",
                     bool fit_scaling = false);

// The warning when the shared distribution's far mass and a lower common
// factor of the SCALINGs explain the curves alike, else "".
std::string shared_trap_warning(SharedFit const& f);

// The warning when the separate fits are clearly better (AIC lower by 10 or
// more), else "".
std::string shared_warning(SharedFit const& f);

// The warning that the SCALINGs fitted by curve stopped at kSharedRounds
// while the last round still lowered the criterion by kRoundsGainWarn or
// more (a tenth of the chi2 step that bounds a one-sd range): "" when they
// converged or crept on by less, which moves no range a user reads.
std::string shared_rounds_warning(SharedFit const& f);

nlohmann::json shared_json(SharedFit const& f);

// The shared fit at every point of every curve, as a tidy table
// (curve,n_c,time_ms,s_s0,error,fit,residual; residual = s_s0 - fit).
std::string shared_csv(SharedFit const& f);

#endif
