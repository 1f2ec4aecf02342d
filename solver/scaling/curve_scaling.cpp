#include "solver/scaling/curve_scaling.h"

#include <algorithm>
#include <cmath>

#include "numeric/margin.h"

CurveScaling curve_scaling(std::vector<double> const& u, std::vector<double> const& v, double lo, double hi) {
  // chi2(s) = a s^2 + 2 b s + c, a > 0 unless the model is flat (then any s fits alike).
  double a = 0.0, b = 0.0, c = 0.0;
  for (size_t i = 0; i < u.size(); i++) a += u[i] * u[i], b += u[i] * v[i], c += v[i] * v[i];
  auto chi2 = [&](double s) { return (a * s + 2.0 * b) * s + c; };
  CurveScaling r;
  r.best = a > 0.0 ? std::clamp(-b / a, lo, hi) : std::clamp(1.0, lo, hi);
  r.chi2 = chi2(r.best);
  if (!(a > 0.0)) return r.lo4 = lo, r.hi4 = hi, r;
  // chi2(s) = level at s = -b/a +- sqrt((level - c + b^2/a) / a).
  double level = margin_level(r.chi2, 4.0), centre = -b / a;
  double half = std::sqrt(std::max(0.0, (level - c + b * b / a) / a));
  r.lo4 = std::clamp(centre - half, lo, r.best), r.hi4 = std::clamp(centre + half, r.best, hi);
  return r;
}
