// The moments of the prescribed distribution (DISTDIST): distances r_i in
// Angstrom with fractions f_i, taken as a distribution of their own (the
// fractions divided by their sum).
#ifndef REDORDIST_MODEL_PRESCRIBED_STATS_H
#define REDORDIST_MODEL_PRESCRIBED_STATS_H

#include "model/run_setup.h"

struct PrescribedStats {
  bool defined = false;  // a prescribed distribution with a positive sum
  double share = 0.0;    // sum of the fractions
  double mean = 0.0, sd = 0.0;  // Angstrom
  // Not a number for a single distance (sd 0).
  double skewness = 0.0, excess_kurtosis = 0.0;
  // <r^-6>^(-1/6), Angstrom: the one distance whose REDOR dephasing starts
  // as the distribution's does (the initial slope goes with the mean r^-6).
  double effective = 0.0;
};

PrescribedStats prescribed_stats(RunSetup const& s);

#endif
