// Moments of the fitted distribution over distance and over dipolar coupling,
// and its effective distance.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "model/effective_distance.h"
#include "model/paar.h"
#include "numeric/numeric.h"

double effective_distance(double const* p, double const* r, size_t n) {
  double total = 0.0, m6 = 0.0;
  for (size_t j = 0; j < n; j++) {
    total += p[j];
    m6 += p[j] / std::pow(r[j], 6.0);
  }
  return total > 0.0 && m6 > 0.0 ? std::pow(m6 / total, -1.0 / 6.0) : std::nan("");
}

double distribution_median(double const* p, double const* r, size_t n) {
  double total = 0.0;
  for (size_t j = 0; j < n; j++) total += p[j];
  if (!(total > 0.0)) return std::nan("");
  double g = n > 1 ? r[1] - r[0] : 0.0, before = 0.0;
  for (size_t j = 0; j < n; j++) {
    double share = p[j] / total;
    if (before + share >= 0.5 && share > 0.0) return r[j] - 0.5 * g + (0.5 - before) / share * g;
    before += share;
  }
  return r[n - 1];
}

double distribution_mode(double const* p, double const* r, size_t n) {
  size_t best = 0;
  double total = 0.0;
  for (size_t j = 0; j < n; j++) {
    total += p[j];
    if (p[j] > p[best]) best = j;
  }
  return total > 0.0 ? r[best] : std::nan("");
}

namespace {

// The k-th standardised moment m_k / s^k; not defined (NaN) for a
// distribution on one distance.
double standardised(double central_moment, double spread, int k, bool one_distance) {
  return one_distance ? std::nan("") : central_moment / std::pow(spread, k);
}

// The four moments on one line, a moment that is not defined as such.
std::string moments_line(char const* name, double m, double s, double skew, double kurt) {
  std::string line = name;
  for (double v : {m, s, skew, kurt}) {
    char b[40];
    if (std::isnan(v)) std::snprintf(b, sizeof b, " %13s", "not defined");
    else std::snprintf(b, sizeof b, " %13.8f", v);
    line += b;
  }
  return line + "\n";
}

}  // namespace

int Paar::calc_dist_stats() {
  RunSetup const& s = *setup;
  int n_grid = s.n_grid;
  gsl_vector const* distances = s.distances;
  gsl_vector const* dipolar_couplings = s.dipolar_couplings;
  double mr = 0.0, md = 0.0, total = 0.0;
  for (int j = 0; j < n_grid; j++) {
    double p = gvg(distribution, j);
    mr += gvg(distances, j) * p;
    md += gvg(dipolar_couplings, j) * p;
    total += p;
  }
  double r2 = 0, r3 = 0, r4 = 0, d2 = 0, d3 = 0, d4 = 0;
  for (int j = 0; j < n_grid; j++) {
    double p = gvg(distribution, j);
    double dr = gvg(distances, j) - mr;
    double dd = gvg(dipolar_couplings, j) - md;
    r2 += p * std::pow(dr, 2);
    r3 += p * std::pow(dr, 3);
    r4 += p * std::pow(dr, 4);
    d2 += p * std::pow(dd, 2);
    d3 += p * std::pow(dd, 3);
    d4 += p * std::pow(dd, 4);
  }
  double sr = std::pow(r2, 0.5), sd = std::pow(d2, 0.5);
  // Plain standardised moments: the kurtosis of a normal distribution is 3.
  // A spread below 1e-3 of the grid step (traces below about 1e-6 of the
  // distribution off its one distance, as a Gaussian at the width floor
  // leaves on a coarse grid) counts as none: the skewness and kurtosis of
  // those traces (1e4, 1e9) say nothing, and s^k may underflow.
  bool one_distance = !(sr >= 1e-3 * s.grain);
  double skew_r = standardised(r3, sr, 3, one_distance), kurt_r = standardised(r4, sr, 4, one_distance);
  double skew_d = standardised(d3, sd, 3, one_distance), kurt_d = standardised(d4, sd, 4, one_distance);

  results.distance_moments = {mr, sr, skew_r, kurt_r};
  results.coupling_moments = {md, sd, skew_d, kurt_d};
  std::vector<double> p(n_grid), r(n_grid);
  for (int j = 0; j < n_grid; j++) p[j] = gvg(distribution, j), r[j] = gvg(distances, j);
  results.effective_distance = effective_distance(p.data(), r.data(), p.size());
  std::ostream& log = report().log();
  std::ostream& out = report().out();
  out << "total distribution density: " << total << std::endl;
  log << "total distribution density: " << total << std::endl;
  std::string line = moments_line("Distance moments:", mr, sr, skew_r, kurt_r);
  log << line;
  out << line;
  line = moments_line("Frequency moments:", md, sd, skew_d, kurt_d);
  log << line;
  out << line;
  return 1;
}
