// The profile of chi2 of one truncated Gaussian in its width and in its
// centre, on the run's own kernel: for every width the best centre, for
// every centre the best width. The widths and centres whose profile lies
// within delta_chi2 of the best fit are the ones the data allow (4: about
// two standard deviations of one parameter).
#ifndef REDORDIST_ASSESSMENT_WIDTH_PROFILE_H
#define REDORDIST_ASSESSMENT_WIDTH_PROFILE_H

#include <array>
#include <memory>
#include <vector>

#include "assessment/assessment.h"
#include "model/fit_problem.h"

constexpr double kAllowedDeltaChi2 = 4.0;
// The profile's centres lie this far apart unless the caller spreads them.
constexpr double kProfileCentreStep = 0.02;

// The curves of the whole signal dephasable (K m, no SCALING) of one
// Gaussian at every centre and width of a profile's grid. They depend on the
// kernel, the range and the centre step alone: the profiles of one run at
// several SCALINGs share them.
using ProfileCurves = std::shared_ptr<std::vector<double>>;

// near, far: the range (Angstrom) that bounds every centre and truncates
// every Gaussian, the run's NEAR and FAR or a part of them; centre_step: the
// spacing of the centres (Angstrom). Not computed (computed false) when the range is
// too short for a Gaussian or there are fewer than three data points.
// shared: empty, it receives the grid's curves; filled, by a profile of the
// same kernel, range and step, they are used instead of computed.
// free_scaling: when its second value exceeds the first, each Gaussian takes
// its best SCALING within that range instead of the problem's (S/S0 is linear
// in SCALING: a least-squares value, clamped), so that the widths and centres
// allowed are those within delta_chi2 of the best over SCALING as well.
WidthAllowed one_gaussian_profile(FitProblem const& fp, double near, double far,
                                  double delta_chi2 = kAllowedDeltaChi2,
                                  double centre_step = kProfileCentreStep, ProfileCurves* shared = nullptr,
                                  std::array<double, 2> free_scaling = {0.0, 0.0});

// Joins o's ranges into w's (both profiles of one problem): each range the
// union of the two, an end at the floor or ceiling if either reaches it.
void join_allowed(WidthAllowed& w, WidthAllowed const& o);

#endif
