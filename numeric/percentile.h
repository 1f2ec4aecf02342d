// Percentiles of a sample by linear interpolation between order statistics
// (Hyndman and Fan type 7, the default of R and numpy): with the n values
// sorted x_0 <= ... <= x_{n-1} and h = (n - 1) p, the p-quantile is
// x_floor(h) + (h - floor(h)) (x_floor(h)+1 - x_floor(h)).
#ifndef REDORDIST_NUMERIC_PERCENTILE_H
#define REDORDIST_NUMERIC_PERCENTILE_H

#include <vector>

// p in [0, 1]; NaN for an empty sample.
double percentile(std::vector<double> values, double p);

#endif
