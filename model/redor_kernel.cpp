// The REDOR kernel: S/S0 left after dephasing for one coupling D and one
// cycle index j (2j rotor cycles), either interpolated in a tabulated
// universal dephasing curve or computed by a powder average.
#include <algorithm>
#include <cmath>

#include "model/run_setup.h"
#include "numeric/fatal.h"
#include "numeric/numeric.h"

double RunSetup::max_lambda_d() const {
  // lambda_D = j D / MAS; the largest the set-up can ask for, bounded with
  // the full effective last point (twice the largest j) at the first distance.
  return effective_last_point() * gvg(dipolar_couplings, 0) / mas;
}

double RunSetup::needed_lambda_d() const {
  double coupling = n_grid > 0 ? gvg(dipolar_couplings, 0) : 0.0;
  for (int p = 0; p < n_adj; p++) coupling = std::max(coupling, dipolar_constant / std::pow(gvg(adj_distances, p), 3.0));
  return (effective_last_point() / 2) * coupling / mas;
}

double kernel_interpolate(DephasingCurve const& curve, double lambda) {
  size_t m = curve.lambda.size();
  for (size_t k = 0; k < m; k++) {
    double lk = curve.lambda[k];
    if (std::fabs(lk - lambda) < 1e-12) return curve.signal[k];
    if (lk < lambda && k + 1 < m) continue;
    if (lk > lambda && k > 0) {
      double sk = curve.signal[k], sp = curve.signal[k - 1];
      return sk - (sk - sp) * (lk - lambda) / (lk - curve.lambda[k - 1]);
    }
    break;
  }
  // Beyond the last point read (a start at 0 rules out the other cases).
  fatal_exit("input REDOR curve not long enough\n", 1);
}

PowderTables RunSetup::powder_tables() const {
  PowderTables t;
  int P = per_2pi;
  t.per_2pi = P;
  double delta = 6.28318530718 / P;
  // Rotor phase of the mid pulse: its offset in microseconds as a fraction of
  // the rotor period.
  double phi = mid_pulse * 6.28318530718 * mas / 1000000.0;
  for (int k = 0; k < P / 2; k++) {
    t.sin_beta.push_back(std::sin(k * delta));
    t.sin_2beta.push_back(std::sin(2 * k * delta));
  }
  for (int m = 0; m < P; m++) t.sin_gamma.push_back(std::sin(m * delta + phi));
  return t;
}

double RunSetup::kernel_powder(PowderTables const& t, int j, double coupling) const {
  int P = t.per_2pi;
  // Dephasing amplitude 4 sqrt(2) lambda_D.
  double a = 4.0 * std::pow(2.0, 0.5) * coupling * j / mas;
  double sum = 0.0;
  size_t half = t.sin_beta.size();
  for (size_t k = 0; k < half; k++) {
    double inner = 0.0;
    double ab = a * t.sin_2beta[k];
    for (int m = 0; m < P; m++) inner += std::cos(ab * t.sin_gamma[m]);
    sum += t.sin_beta[k] * inner;
  }
  // The beta grid over [0, pi) weighted by sin(beta) with the constant 3.141593
  // normalises only approximately: slightly below 1 at a = 0.
  return sum * 3.141593 / (static_cast<double>(P) * static_cast<double>(P));
}
