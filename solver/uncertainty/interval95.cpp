#include "solver/uncertainty/interval95.h"

#include <algorithm>
#include <cmath>


double sample_sd(std::vector<double> const& v) {
  if (v.size() < 2) return 0.0;
  double m = 0.0, s = 0.0;
  for (double x : v) m += x;
  m /= static_cast<double>(v.size());
  for (double x : v) s += (x - m) * (x - m);
  return std::sqrt(s / static_cast<double>(v.size() - 1));
}

Interval95 interval95(double value, double sd, std::array<double, 2> p, double allowed_lo, double allowed_hi) {
  Interval95 i{true, std::min(p[0], value - kZ95 * sd), std::max(p[1], value + kZ95 * sd)};
  if (allowed_lo <= allowed_hi) i.lo = std::min(i.lo, allowed_lo), i.hi = std::max(i.hi, allowed_hi);
  return i;
}
