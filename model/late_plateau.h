// The level at which a REDOR curve settles at its longest dephasing times.
// Every distance the experiment can measure has dephased to S/S0 near 0 by
// then, so a curve that levels off at S/S0 = p > 0 holds a share p of signal
// that does not dephase: pairs that are not labelled (SCALING 1 - p) or
// distances beyond what the longest time can measure. The two cannot be
// told apart from the curve alone.
#ifndef REDORDIST_MODEL_LATE_PLATEAU_H
#define REDORDIST_MODEL_LATE_PLATEAU_H

#include <vector>

struct LatePlateau {
  bool levelled = false;     // the late points agree with one constant level
  int points = 0;            // late points used (the last quarter, at least 4)
  double from_cycles = 0.0;  // the first rotor-cycle count among them
  double level = 0.0;        // their weighted mean S/S0
  double level_err = 0.0;    // its standard error
};

// cycles, s (S/S0) and sigma (its errors), n points in any order. Late
// points count as levelled when neither a constant (chi2 test, p >= 0.01)
// nor the slope of a straight line (within two standard errors of zero)
// says they still fall, and when the curve fell to them from above.
LatePlateau late_plateau(std::vector<double> const& cycles, std::vector<double> const& s,
                         std::vector<double> const& sigma);

#endif
