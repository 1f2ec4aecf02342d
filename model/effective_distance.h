// The effective distance of a distance distribution: r_eff = <r^-6>^(-1/6).
// The initial REDOR dephasing follows the second moment of the dipolar
// couplings, sum_j P_j D_j^2 with D proportional to r^-3, so r_eff is what
// the early points fix even when the shape of the distribution is not fixed.
#ifndef REDORDIST_MODEL_EFFECTIVE_DISTANCE_H
#define REDORDIST_MODEL_EFFECTIVE_DISTANCE_H

#include <cstddef>

// p: n weights (need not sum to 1), r: n distances (Angstrom, > 0).
// Returns r_eff in Angstrom; NaN when the weights sum to zero.
double effective_distance(double const* p, double const* r, size_t n);

// The median: where the cumulative share reaches 1/2, each grid point's share
// spread evenly over its cell r_j +- g/2 (g the grid step, r ascending and
// evenly spaced), so a single occupied point is its own median. The mode: the
// grid distance of the largest weight (the first of equals). NaN for zero
// total weight.
double distribution_median(double const* p, double const* r, size_t n);
double distribution_mode(double const* p, double const* r, size_t n);

#endif
