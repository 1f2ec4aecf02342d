// A bin's mass from its midpoint t (in units of the sd) and its width u:
//   int_{-u/2}^{u/2} phi(t + x) dx
//     = u phi(t) [1 + u^2 He2/24 + u^4 He4/1920 + u^6 He6/322560 + u^8 He8/92897280] + O(u^11),
// the Taylor series of the density, whose even derivatives are He_n(t) phi(t).
// Above the width floor u <= 0.5: against the exact CDF differences every
// bin's mass agrees to 1e-10 of the whole (tested); the masses are normalised by their sum, so the
// truncated distribution sums to 1 as the exact CDF differences do. The
// midpoint densities of the evenly spaced bins follow from one another,
// phi(t + u) = phi(t) r, r = exp(-t u - u^2/2), and r itself grows by
// exp(-u^2) per bin: three exponentials per Gaussian.
//
// Speed: the recurrences, the series and the sum run in one pass, two bins
// at a time (element-wise operations on pairs give the bits of the same
// operations one at a time), so that their chains of dependent operations
// overlap; the normalisation takes two bins at a time too, and the curve
// several data points at a time from the transposed kernel
// (numeric/kernel_dots).
#include "assessment/single_gaussian.h"

#include <algorithm>
#include <cmath>
#include "numeric/kernel_dots.h"
#include "numeric/pair.h"

namespace {

// Bins whose midpoint lies beyond this many sds carry less than 1e-19 of the mass.
constexpr double kTail = 9.5;

template <class T>
T bin_factor(T t, double u) {
  T t2 = t * t;
  double u2 = u * u;
  T he2 = t2 - 1.0, he4 = (t2 - 6.0) * t2 + 3.0, he6 = ((t2 - 15.0) * t2 + 45.0) * t2 - 15.0;
  T he8 = (((t2 - 28.0) * t2 + 210.0) * t2 - 420.0) * t2 + 105.0;
  return u * (1.0 + u2 * (he2 / 24.0 + u2 * (he4 / 1920.0 + u2 * (he6 / 322560.0 + u2 * he8 / 92897280.0))));
}

// The masses m[lo, hi) of the evenly spaced bins from the first midpoint t
// (in sds), the bin width u (in sds); returns their sum, added in bin order.
// One pass: the recurrences, the series on two bins at a time and the sum
// run side by side (each value is the same operation on the same operands as
// when they run one after another).
double series_masses(double t, double u, int lo, int hi, double* m) {
  double phi = std::exp(-0.5 * t * t), r = std::exp(-t * u - 0.5 * u * u), q = std::exp(-u * u);
  double sum = 0.0;
  int k = lo;
  for (; k + 1 < hi; k += 2) {
    Pair p, ts;
    p[0] = phi, ts[0] = t;
    phi *= r, r *= q, t += u;
    p[1] = phi, ts[1] = t;
    phi *= r, r *= q, t += u;
    p = p * bin_factor(ts, u);
    store_pair(m + k, p);
    sum += p[0];
    sum += p[1];
  }
  if (k < hi) m[k] = phi * bin_factor(t, u), sum += m[k];
  return sum;
}

}  // namespace

SingleGaussian::SingleGaussian(GaussianMixture const& gm)
    : gm_(gm),
      n_fine_(static_cast<int>(gm.fine_centres().size())),
      n_data_(gm.problem().n_data),
      kt_(gm.fine_kernel_transposed()) {}

void SingleGaussian::mass(double c, double w, std::vector<double>& m, int& lo, int& hi) const {
  std::vector<double> const& mid = gm_.fine_centres();
  double near = gm_.near(), u = kFineStep / w;
  m.assign(n_fine_, 0.0);
  // Every bin but the last is kFineStep wide; the last ends at far.
  int full = n_fine_ - 1;
  double a = std::floor((c - kTail * w - near) / kFineStep), b = std::ceil((c + kTail * w - near) / kFineStep);
  lo = static_cast<int>(std::max(0.0, std::min(a, static_cast<double>(full))));
  hi = static_cast<int>(std::max(0.0, std::min(b + 1.0, static_cast<double>(full))));
  double sum = lo < hi ? series_masses((mid[lo] - c) / w, u, lo, hi, m.data()) : 0.0;
  double t_last = (mid[full] - c) / w;
  if (std::fabs(t_last) < kTail) {
    double u_last = (gm_.far() - (near + full * kFineStep)) / w;
    m[full] = std::exp(-0.5 * t_last * t_last) * bin_factor(t_last, u_last);
    sum += m[full];
    hi = n_fine_;
    lo = std::min(lo, full);
  }
  if (!(sum > 0.0)) {
    lo = hi = 0;
    return;
  }
  int k = lo;
  for (; k + 1 < hi; k += 2) store_pair(&m[k], load_pair(&m[k]) / sum);
  if (k < hi) m[k] /= sum;
}

void SingleGaussian::shape(double c, double w, std::vector<double>& g, std::vector<double>& scratch) const {
  int lo, hi;
  mass(c, w, scratch, lo, hi);
  g.resize(n_data_);
  kernel_dots(kt_->data(), n_data_, scratch.data(), lo, hi, g.data());
}
