// What judges a fit: what the data determine of the fitted distribution
// (goodness of fit, the late plateau, the widths and centres one Gaussian
// may take at every SCALING the data allow, the peaks and their support,
// the Gaussian components the data do not place, the intervals of mode err),
// computed from the run's problem and its fit, returned as a value.
#ifndef REDORDIST_ASSESSMENT_ASSESS_H
#define REDORDIST_ASSESSMENT_ASSESS_H

#include <memory>

#include "assessment/assessment.h"
#include "model/paar.h"

// One Gaussian is taken not to describe the data when another model of the
// peaks (two or three Gaussians, one skewed peak) beats its AIC by more than
// this: its profile then says nothing of the distribution's width.
constexpr double kOneGaussianAicGap = 10.0;
// The precision a distance is quoted to: the sd is determined when it lies
// within 0.06 Angstrom (0.05 and the spread a 0.05 Angstrom grid adds) or a
// third of the sd of every single Gaussian the data allow, the mean when it
// lies within 0.05 Angstrom or 1 % of every one's mean. On the validation
// panel (bench/validate_determined.py) these flag every sd and mean more
// than 0.05 Angstrom or 30 % (1 %) from the truth, with few needless flags.
constexpr double kSdPrecision = 0.06, kSdRelPrecision = 1.0 / 3.0;
constexpr double kMeanPrecision = 0.05, kMeanRelPrecision = 0.01;
// Whether every value in [lo, hi] lies within max(abs, rel * value) of v.
bool every_within(double v, double lo, double hi, double abs, double rel);
// The allowed widths leave the sd open when the widest is more than this
// many times the narrowest; a reported value outside a narrower range
// disagrees with the data.
constexpr double kWideWidths = 3.0;
// The effective distance lies outside the allowed range [lo, hi] (the single
// Gaussians within chi2 + 1) when it lies outside what chi2 + 4 allows, about
// twice as far from the middle: beyond lo or hi by more than half the range,
// and at least by this (Angstrom), the rounding of a printed distance. Nearer
// than that, the data allow the value at 95 %: no disagreement to report.
constexpr double kEffectiveSlack = 0.005;
bool effective_outside(double r_eff, double lo, double hi);
// The effective distance is determined when the single Gaussians within chi2
// + 1 of the best give effective distances within 1.5 % either side of their
// middle: those within chi2 + 4 (about twice as far) then stay within the 3 %
// a distance is quoted to. A broad distribution whose short-distance tail has
// dephased by the first point leaves <r^-6> open although the curve is fitted.
constexpr double kEffectiveRelPrecision = 0.015;

// A supported peak is placed by the data when every peak model within
// kAicMargin of the best AIC has a peak within this of it (Angstrom): they
// then lie within 0.15 Angstrom of one another, three steps of the usual
// 0.05 Angstrom grid, the precision a peak position is quoted to.
constexpr double kPeakPrecision = 0.075;

// A share piled at a grid end is named from this size on (below it the mean
// moves by at most a few hundredths of an Angstrom).
constexpr double kPileFloor = 0.01;

// The share on the first two or last two grid distances when it lies
// between kPileFloor and kEdgeLimit and rises towards the end (a decaying
// tail is the distribution's own), with the moments of the rest; not at FAR
// when SCALING's trap is found (its warning names that mass).
Assessment::EdgePile edge_pile(Paar const& model);

// A component whose width sits at the widest allowed (above 0.98 of it), or
// whose centre lies within half a grain (at least 0.01 Angstrom) of NEAR or
// FAR, is where the bounds put it, not the data: a line each in component_problems.
struct MixtureFit;
void flag_components(Paar const& model, MixtureFit const& fit, double width_max, Assessment& d);

// Where one Gaussian does not describe the data (and the allowed widths were
// computed), r_eff is judged by the peak models within kAicMargin of the best
// (1-3 Gaussians, a skewed and a flat-topped peak): determined when it lies
// within kEffectiveRelPrecision of every one's effective distance. With a
// SCALING profile (fitted, or the trap's), the solver's fits at the SCALINGs
// within kAicMargin of its best join them.
void judge_effective_by_models(Paar const& model, Assessment& d);
// Where one Gaussian does not describe the data and the SCALING trap is
// found (a lower SCALING clears the share beyond one dephasing cycle), the
// mean and the sd move with that share: not determined.
void judge_moments_in_trap(Paar const& model, Assessment& d);
// Where one Gaussian does not describe the data (and the trap has not said
// so already), the mean and the sd are judged by the peak models within
// kAicMargin of the best AIC: each determined when it lies within the quoted
// precision (kMeanPrecision, kSdPrecision) of every one's.
void judge_moments_by_models(Paar const& model, Assessment& d);

// Each supported peak against the peak models within kAicMargin of the best:
// the nearest peak of each gives its range, and the peak is placed when that
// range lies within kPeakPrecision of its position. Two populations the data
// cannot separate from one, or a skewed peak against a Gaussian, move it.
void judge_peak_positions(Paar const& model, Assessment& d);

struct AssessmentBasis;
// Quiet: computes, prints nothing, changes nothing in the model. basis: the
// data's part, made ahead (assessment_basis); made here when absent or made
// for other data or another SCALING.
Assessment assess(Paar const& model, std::shared_ptr<AssessmentBasis const> basis = nullptr);

// The degrees of freedom the run's solver used, when it says: G for the
// maximum entropy, 3k - 1 for k Gaussians. False for the annealing.
bool solver_dof(Paar const& model, double& dof);

#endif
