#include "assessment/stacked_assessment.h"

#include <algorithm>
#include <cmath>

#include <stdexcept>

#include "assessment/assess.h"
#include "assessment/peak_support.h"
#include "assessment/assessment_grid.h"
#include "assessment/width_profile.h"
#include "model/effective_distance.h"
#include "model/goodness_of_fit.h"
#include "solver/gaussians/gaussian_fit.h"

namespace {

// Marks the peaks of a.peaks that the peak models of the curves together support.
void support_peaks(FitProblem const& all, double near, double far, StackedAssessment& a) {
  try {
    MixtureSelection sel = fit_gaussian_mixtures(all, near, far);
    GaussianMixture gm(all, near, far);
    a.supported_peaks = mark_supported_peaks(a.peaks, peak_models(sel, gm));
  } catch (std::invalid_argument const&) {  // a range too short for a Gaussian: nothing judged
    for (PeakInfo& pk : a.peaks) pk.supported = false;
  }
}

}  // namespace

StackedAssessment assess_stacked(FitProblem const& all, std::vector<double> const& p, std::array<double, 2> factor,
                                 double unsupported_beyond, double other_effective) {
  StackedAssessment a;
  std::vector<double> const& r = all.distance;
  double total = 0.0, m1 = 0.0, m2 = 0.0;
  for (size_t j = 0; j < p.size(); j++) total += p[j], m1 += p[j] * r[j];
  a.mean = m1 / total;
  for (size_t j = 0; j < p.size(); j++) m2 += p[j] * (r[j] - a.mean) * (r[j] - a.mean);
  a.sd = std::sqrt(m2 / total);
  a.effective = effective_distance(p.data(), r.data(), p.size());
  double near = r.front(), far = r.back();
  // The centres of a single run's assessment: every 0.02 Angstrom, at most
  // kAssessMaxCentres of them.
  double step = std::max(kAssessCentreStep, (far - near) / kAssessMaxCentres);
  ProfileCurves curves;
  a.peaks = distribution_peaks(r, p);
  support_peaks(all, near, far, a);
  int dropped = unsupport_peaks_beyond(a.peaks, unsupported_beyond);
  if (dropped > 0) a.supported_peaks = std::max(1, a.supported_peaks - dropped);
  a.width = one_gaussian_profile(all, near, far, kAllowedDeltaChi2, step, &curves);
  if (a.width.computed && factor[1] - factor[0] >= 1e-3) {
    WidthAllowed o = one_gaussian_profile(all, near, far, kAllowedDeltaChi2, step, &curves, factor);
    if (o.computed) join_allowed(a.width, o);
  }
  WidthAllowed const& w = a.width;
  if (!w.computed) return a;
  a.one_gaussian_fits = all.n_data > 3 && chi2_test(w.best_chi2, all.n_data - 3.0).p_high >= 1e-3;
  if (!a.one_gaussian_fits) return a;
  // A width at the widest a Gaussian may take is where the bound puts it.
  a.width_determined = !(w.width_hi > kWideWidths * w.width_lo) && !w.hi_at_ceiling;
  a.sd_determined = every_within(a.sd, w.sd_lo, w.sd_hi, kSdPrecision, kSdRelPrecision);
  a.mean_determined = every_within(a.mean, w.mean_lo, w.mean_hi, kMeanPrecision, kMeanRelPrecision);
  bool outside = effective_outside(a.effective, w.effective_lo, w.effective_hi);
  double lo = std::fmin(w.effective_lo, other_effective), hi = std::fmax(w.effective_hi, other_effective);
  a.effective_determined = !outside && 0.5 * (hi - lo) <= kEffectiveRelPrecision * a.effective;
  return a;
}
