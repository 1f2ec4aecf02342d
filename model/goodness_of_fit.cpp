#include "model/goodness_of_fit.h"

#include <cmath>

#include <gsl/gsl_cdf.h>
#include <gsl/gsl_sf_gamma.h>

Chi2Test chi2_test(double chi2, double nu) {
  Chi2Test t;
  t.chi2 = chi2;
  t.nu = nu;
  t.p_high = gsl_cdf_chisq_Q(chi2, nu);
  t.p_low = gsl_cdf_chisq_P(chi2, nu);
  return t;
}

namespace {

// P(R = r) for n1 and n2 signs in random order (both >= 1): with k the
// runs of each sign, C(n1-1, k1-1) C(n2-1, k2-1) orders out of C(n, n1),
// where an even r = 2k has k1 = k2 = k (twice: either sign first) and an odd
// r = 2k+1 has one sign with k + 1 runs.
double runs_probability(int n1, int n2, int r) {
  auto ways = [](int n, int k) { return k < 1 || k > n ? 0.0 : std::exp(gsl_sf_lnchoose(n - 1, k - 1)); };
  double total = std::exp(gsl_sf_lnchoose(n1 + n2, n1));
  int k = r / 2;
  if (r % 2 == 0) return 2.0 * ways(n1, k) * ways(n2, k) / total;
  return (ways(n1, k + 1) * ways(n2, k) + ways(n1, k) * ways(n2, k + 1)) / total;
}

}  // namespace

RunsTest runs_test(std::vector<double> const& residuals) {
  RunsTest t;
  int last = 0;
  for (double v : residuals) {
    int s = v > 0.0 ? 1 : v < 0.0 ? -1 : 0;
    if (s == 0) continue;
    (s > 0 ? t.n_plus : t.n_minus)++;
    if (s != last) t.runs++;
    last = s;
  }
  int n1 = t.n_plus, n2 = t.n_minus, n = n1 + n2;
  if (n == 0) return t;
  if (n1 == 0 || n2 == 0) {
    t.expected = 1.0;
    t.p_few = std::pow(2.0, 1.0 - n);
    return t;
  }
  t.expected = 2.0 * n1 * n2 / n + 1.0;
  t.exact = n <= kRunsExactUpTo;
  if (t.exact) {
    double p = 0.0;
    for (int r = 2; r <= t.runs; r++) p += runs_probability(n1, n2, r);
    t.p_few = std::fmin(1.0, p);
  } else {
    double var = 2.0 * n1 * n2 * (2.0 * n1 * n2 - n) / (static_cast<double>(n) * n * (n - 1.0));
    t.p_few = gsl_cdf_ugaussian_P((t.runs + 0.5 - t.expected) / std::sqrt(var));
  }
  return t;
}
