#include "model/late_plateau.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include <gsl/gsl_cdf.h>

LatePlateau late_plateau(std::vector<double> const& cycles, std::vector<double> const& s,
                         std::vector<double> const& sigma) {
  LatePlateau p;
  int n = static_cast<int>(s.size());
  if (n < 8) return p;
  std::vector<int> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return cycles[a] < cycles[b]; });
  int m = std::max(4, n / 4);
  std::vector<int> late(order.end() - m, order.end());
  p.points = m;
  p.from_cycles = cycles[late.front()];
  // Weighted mean and weighted straight line of the late points.
  double sw = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (int i : late) {
    double w = 1.0 / (sigma[i] * sigma[i]);
    sw += w, sx += w * cycles[i], sy += w * s[i];
    sxx += w * cycles[i] * cycles[i], sxy += w * cycles[i] * s[i];
  }
  p.level = sy / sw;
  p.level_err = std::sqrt(1.0 / sw);
  double c2 = 0.0;
  for (int i : late) c2 += std::pow((s[i] - p.level) / sigma[i], 2);
  double det = sw * sxx - sx * sx;
  double slope = det > 0 ? (sw * sxy - sx * sy) / det : 0.0;
  double slope_err = det > 0 ? std::sqrt(sw / det) : INFINITY;
  // The early points (the first quarter) must lie clearly above the level.
  double early = 0.0, early_w = 0.0;
  for (int k = 0; k < m; k++) {
    double w = 1.0 / (sigma[order[k]] * sigma[order[k]]);
    early += w * s[order[k]], early_w += w;
  }
  bool fell = early / early_w - p.level > 3.0 * (std::sqrt(1.0 / early_w) + p.level_err);
  p.levelled = fell && gsl_cdf_chisq_Q(c2, m - 1) >= 0.01 && std::fabs(slope) <= 2.0 * slope_err;
  return p;
}
