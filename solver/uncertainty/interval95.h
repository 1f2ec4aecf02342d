// The 95 % intervals of mode err. The runs of the Monte Carlo estimate (or
// the bootstrap replicates) show the noise part of the uncertainty only: a
// regularised solver (maximum entropy's smoothing, the annealing's start
// from the fitted shape, the Gaussians' choice of k) carries a bias that
// every run shares, so an interval from the runs alone is too narrow where
// the bias is not small. The interval is therefore the union of
//   - the noise interval: the 2.5 and 97.5 percentiles over the runs joined
//     with value +- 1.96 sd (the percentiles are centred on the runs, the
//     value may sit off their centre), and
//   - the range the data allow a single truncated Gaussian on the run's own
//     kernel (chi2 within 4 of the best for the mean and sd, about 95 % for
//     one parameter; the effective distance's range within chi2 + 1 widened
//     1.96-fold about its middle): whichever of those shapes is the truth,
//     the interval holds its value, whatever the solver's bias towards one
//     of them.
// The range is used only where one Gaussian describes the data (its AIC
// within the margin of the best mixture's). Beside it, every model of the
// peak assessment (one to three Gaussians, a skewed peak) whose AIC lies
// within the margin of the best is a shape the data allow as well: its
// mean, sd and effective distance, each +- 1.96 times the runs' sd, and its
// peak positions (when it has as many peaks as reported) join the
// intervals. SCALING fitted with the distribution gets its range within
// chi2 + 4.
#ifndef REDORDIST_SOLVER_UNCERTAINTY_INTERVAL95_H
#define REDORDIST_SOLVER_UNCERTAINTY_INTERVAL95_H

#include <array>
#include <vector>


// In mode err, the 95 % intervals of the mean, the sd and the effective
// distance (Angstrom) and of a fitted SCALING: the noise the runs show
// joined with the range the data allow a single Gaussian (the bias of the
// regularisation). given: the interval exists.
struct Interval95 {
  bool given = false;
  double lo = 0.0, hi = 0.0;
};

constexpr double kZ95 = 1.959964;  // the normal distribution's 97.5 percentile

// The sample standard deviation (0 below two values).
double sample_sd(std::vector<double> const& v);

// The noise interval: [p[0], p[1]] joined with value +- kZ95 sd; then
// joined with [allowed_lo, allowed_hi] when allowed_lo <= allowed_hi.
Interval95 interval95(double value, double sd, std::array<double, 2> p, double allowed_lo = 1.0,
                      double allowed_hi = 0.0);

#endif
