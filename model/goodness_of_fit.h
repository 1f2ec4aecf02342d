// Does a fit explain its data? Two tests on the weighted residuals:
//   - chi2 against the chi-square distribution with nu = n - (degrees of
//     freedom the solver used) degrees of freedom, both tails: too large a
//     chi2 means the model or the data are wrong, too small one that the
//     errors are overestimated (or the solver fits the noise);
//   - the Wald-Wolfowitz runs test on the signs of the residuals: too few
//     runs mean a systematic misfit that chi2 alone may not show.
#ifndef REDORDIST_MODEL_GOODNESS_OF_FIT_H
#define REDORDIST_MODEL_GOODNESS_OF_FIT_H

#include <vector>

struct Chi2Test {
  double chi2 = 0.0;
  double nu = 0.0;      // degrees of freedom of the test
  double p_high = 1.0;  // P(X >= chi2): small when chi2 is too large
  double p_low = 1.0;   // P(X <= chi2): small when chi2 is too small
};

// nu > 0.
Chi2Test chi2_test(double chi2, double nu);

struct RunsTest {
  int n_plus = 0, n_minus = 0;  // residuals above and below zero (zeros left out)
  int runs = 0;                 // maximal blocks of equal signs
  double expected = 0.0;        // mean number of runs for these counts
  // P(runs <= observed) for a random order of these signs: small when the
  // residuals come in long blocks. With one sign only, the chance that n
  // fair signs all agree, 2^(1-n).
  double p_few = 1.0;
  bool exact = true;  // exact distribution (false: normal approximation)
};

// Up to this many signs the exact distribution is summed; beyond it the
// normal approximation with continuity correction is within about 0.005.
constexpr int kRunsExactUpTo = 100;

RunsTest runs_test(std::vector<double> const& residuals);

#endif
