// The level a margin above a best value reaches: a model within `margin` of
// the best AIC, the chi2 profile within delta chi2 of its minimum.
#ifndef REDORDIST_NUMERIC_MARGIN_H
#define REDORDIST_NUMERIC_MARGIN_H

#include <algorithm>
#include <cmath>

// best + margin, but at least best + 1e-12 of best: a chi2 summed over the
// data is known only to some 1e-14 of itself, and once best exceeds about
// 1e16 (errors far below the misfit, or a huge SCALING) best + margin rounds
// to best and nothing but exact ties would come within the margin. Below
// margin * 1e12 (every chi2 of data that fit) the level is best + margin.
inline double margin_level(double best, double margin) {
  return std::max(best + margin, best + 1e-12 * std::fabs(best));
}

#endif
