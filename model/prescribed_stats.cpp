#include "model/prescribed_stats.h"

#include <cmath>

#include "numeric/numeric.h"

PrescribedStats prescribed_stats(RunSetup const& s) {
  PrescribedStats p;
  for (int i = 0; i < s.n_adj; i++) p.share += gvg(s.adj_density, i);
  if (!(p.share > 0.0)) return p;
  p.defined = true;
  double inv6 = 0.0;
  for (int i = 0; i < s.n_adj; i++) {
    double r = gvg(s.adj_distances, i), w = gvg(s.adj_density, i) / p.share;
    p.mean += w * r;
    inv6 += w * std::pow(r, -6.0);
  }
  double m2 = 0.0, m3 = 0.0, m4 = 0.0;
  for (int i = 0; i < s.n_adj; i++) {
    double d = gvg(s.adj_distances, i) - p.mean, w = gvg(s.adj_density, i) / p.share;
    m2 += w * d * d;
    m3 += w * d * d * d;
    m4 += w * d * d * d * d;
  }
  p.sd = std::sqrt(m2);
  p.skewness = m2 > 0.0 ? m3 / (m2 * p.sd) : std::nan("");
  p.excess_kurtosis = m2 > 0.0 ? m4 / (m2 * m2) - 3.0 : std::nan("");
  p.effective = std::pow(inv6, -1.0 / 6.0);
  return p;
}
