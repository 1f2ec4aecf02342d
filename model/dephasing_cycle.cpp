#include "model/dephasing_cycle.h"

#include <cmath>

#include <gsl/gsl_vector.h>

double first_minimum_lambda(RunSetup const& s) {
  // lambda_D = j D / MAS: cycle index 1 with the coupling lambda_D * MAS.
  auto at = [&](double lam) { return s.kernel_value(s.powder, 1, lam * s.mas); };
  const double step = 0.002;
  double a = at(0.3 - step), b = at(0.3);
  for (double lam = 0.3; lam <= 3.0; lam += step) {
    double c = at(lam + step);
    if (b < a && b <= c) {
      // Vertex of the parabola through (lam - step, a), (lam, b), (lam + step, c).
      double curv = a - 2.0 * b + c;
      return curv > 0 ? lam + 0.5 * step * (a - c) / curv : lam;
    }
    a = b, b = c;
  }
  return NAN;
}

double full_cycle_distance(RunSetup const& s, double lambda_min) {
  if (!std::isfinite(lambda_min) || lambda_min <= 0 || s.mas <= 0) return NAN;
  double j = static_cast<int>(gsl_vector_max(s.cycles)) / 2;
  return std::cbrt(j * s.dipolar_constant / (s.mas * lambda_min));
}

double share_beyond(std::vector<double> const& r, std::vector<double> const& p, double r_limit,
                    double* where) {
  double share = 0.0, moment = 0.0;
  for (size_t j = 0; j < r.size() && j < p.size(); j++)
    if (r[j] > r_limit) share += p[j], moment += p[j] * r[j];
  if (where) *where = share > 0 ? moment / share : NAN;
  return share;
}
