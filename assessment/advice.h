// The advice of a judged fit: which warnings it gives, in which order, and
// their words, decided from the fit and its assessment. output/ prints them.
#ifndef REDORDIST_ASSESSMENT_ADVICE_H
#define REDORDIST_ASSESSMENT_ADVICE_H

#include <string>
#include <vector>

#include "assessment/assessment.h"
#include "model/paar.h"

// Above this share of the distribution on the first two and last two grid
// distances, the data may not constrain it.
constexpr double kEdgeLimit = 0.05;

// The warnings on the fit (does it explain the data) and then on the shape
// (the mean and sd open or outside what the data allow, the effective
// distance outside its range, peaks the data do not support, Gaussian
// components the data do not place, a maxent peak within its prior's taper).
std::vector<std::string> judged_warnings(Paar const& model, Assessment const& a);

// The advice, as one warning, for mass piled on the first two or last two
// grid distances (edge_share above kEdgeLimit) or beyond the longest
// measurable distance lmd (Angstrom). That mass stands for signal the
// experiment cannot place: when the curve's late plateau disagrees with
// SCALING, SCALING comes first (a wider grid would only move the mass out);
// otherwise widen the grid, but never past lmd. speaks_of_far: the advice
// already speaks of FAR and lmd. No warning: none is needed.
struct EdgeAdvice {
  std::string warning;
  bool speaks_of_far = false;
};
EdgeAdvice edge_advice(Paar const& model, Assessment const& a, double edge_share, double lmd);

// The advice on SCALING from the curve's late plateau ("" when the plateau
// does not point to SCALING): the level and the SCALING it suggests, or
// (brief) only the SCALING.
std::string scaling_hint(Paar const& model, Assessment const& a, bool brief = false);

#endif
