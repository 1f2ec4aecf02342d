// The 95 % intervals of mode err on the assessment: the noise interval of
// the runs (solver/uncertainty/interval95.h) joined with the range the data
// allow a single Gaussian and with the shapes of the peak models within the
// AIC margin of the best, so that the interval holds the truth whichever of
// those shapes it is, whatever the solver's bias towards one of them.
#ifndef REDORDIST_ASSESSMENT_ERR_INTERVALS_H
#define REDORDIST_ASSESSMENT_ERR_INTERVALS_H

#include "assessment/assessment.h"
#include "model/paar.h"

// Each model of d's peak assessment within the AIC margin of the best joins
// its mean, sd and effective distance +- kZ95 times the runs' sd to the
// intervals given, with as many peaks as reported, its peak positions to
// theirs (a skewed truth fitted by Gaussians: the skewed peak's mode), and,
// with as many peaks as the data support, its peaks' shares to theirs.
void widen_by_models(Assessment& d, McDistance const& mc);

// The intervals of d (its width range and peaks already found) from the
// runs of m's estimate (nothing before two runs): mean and sd where
// determined (the sd also wherever the supported peaks may lie), the
// effective distance, the peaks (a supported peak's share also with the
// unsupported peaks beside it, and as the peak models split the mass), a
// fitted SCALING.
void add_err_intervals(Paar const& m, Assessment& d);

#endif
