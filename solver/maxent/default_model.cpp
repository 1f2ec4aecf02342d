// The default model of the maximum-entropy solver: flat, with half-cosine
// shoulders at both grid ends so the distribution is not pushed against the
// edges of the distance range.
#include <algorithm>
#include <cmath>

#include "solver/maxent/maxent.h"

std::vector<double> tapered_uniform_model(std::vector<double> const& distance, double taper) {
  size_t n = distance.size();
  std::vector<double> m(n, 1.0);
  if (n == 0) return m;
  double half_step = n > 1 ? 0.5 * (distance[1] - distance[0]) : 0.0;
  double sum = 0.0;
  for (size_t j = 0; j < n; j++) {
    double d = std::min(distance[j] - distance.front(), distance.back() - distance[j]);
    if (taper > 0.0) m[j] = 0.5 * (1.0 - std::cos(M_PI * std::min(1.0, (d + half_step) / taper)));
    sum += m[j];
  }
  for (double& v : m) v /= sum;
  return m;
}

std::vector<double> log_model_for_evaluation(FitProblem const& fp, std::vector<double> const& model,
                                             std::vector<double> const& multipliers) {
  std::vector<double> lm(model.size());
  for (size_t j = 0; j < model.size(); j++) lm[j] = std::log(model[j]);
  double top = -INFINITY;
  for (int j = 0; j < fp.n_grid; j++) {
    double e = lm[j];
    for (int i = 0; i < fp.n_data; i++) e += multipliers[i] * fp.k(i, j);
    top = std::max(top, e);
  }
  if (std::isfinite(top) && std::fabs(top) > kLargestPlainExponent)
    for (double& v : lm) v -= top;
  return lm;
}
