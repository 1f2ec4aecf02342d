// The level a margin above a best value reaches: a model within `margin` of
// the best AIC, the chi2 profile within delta chi2 of its minimum.
#ifndef REDORDIST_NUMERIC_MARGIN_H
#define REDORDIST_NUMERIC_MARGIN_H

#include <cmath>

// best + margin, widened by 1e-12 of best: a chi2 summed over the data is
// known only to some 1e-14 of itself, and once best exceeds about 1e16
// (errors far below the misfit, or a huge SCALING) best + margin rounds to
// best and nothing but exact ties would come within the margin. For the
// chi2 and AIC of data that fit (below 1e6) the widening is below 1e-6.
inline double margin_level(double best, double margin) { return best + margin + 1e-12 * std::fabs(best); }

#endif
