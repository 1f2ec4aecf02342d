#include "numeric/percentile.h"

#include <algorithm>
#include <cmath>
#include <limits>

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return std::numeric_limits<double>::quiet_NaN();
  std::sort(v.begin(), v.end());
  double h = (v.size() - 1) * std::min(1.0, std::max(0.0, p));
  size_t lo = static_cast<size_t>(std::floor(h));
  if (lo + 1 >= v.size()) return v.back();
  return v[lo] + (h - lo) * (v[lo + 1] - v[lo]);
}
