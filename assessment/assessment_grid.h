// Where the assessment of what the data determine looks for its single
// Gaussians and peak models: from NEAR to the far end the data can still
// see, with a bounded number of centres, so that its work follows what the
// data resolve and not how wide a grid the user chose.
#ifndef REDORDIST_ASSESSMENT_ASSESSMENT_GRID_H
#define REDORDIST_ASSESSMENT_ASSESSMENT_GRID_H

#include <string>

#include "model/paar.h"
#include "assessment/width_profile.h"

// The one-Gaussian profile's centres are this far apart (Angstrom) unless
// there would be more than kAssessMaxCentres of them; then they spread out.
constexpr double kAssessCentreStep = kProfileCentreStep;
constexpr int kAssessMaxCentres = 600;

// The assessment's range [near, far] (Angstrom) and its profile's centres.
// far is FAR or, when FAR lies further out, twice the longest measurable
// distance: there the coupling is an eighth, and the early dephasing (its
// square) a 64th, of what the noise already hides at the longest measurable
// distance, so no Gaussian beyond it changes the curve the data see.
AssessmentGrid assessment_grid(RunSetup const& setup, double longest_measurable);

// "Assessment: 176 centres from 2.50 to 6.00 Angstrom every 0.020 Angstrom"
std::string describe(AssessmentGrid const& g);

#endif
