#include "assessment/assess.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <stdexcept>
#include <algorithm>

#include "numeric/numeric.h"
#include "assessment/advice.h"
#include "assessment/assessment_basis.h"
#include "assessment/assessment_grid.h"
#include "numeric/format.h"
#include "model/gaussian_mixture.h"
#include "assessment/peak_support.h"
#include "numeric/margin.h"
#include "assessment/width_profile.h"
#include "solver/scaling/scaling_trap.h"
#include "assessment/err_intervals.h"
#include "assessment/split_shares.h"

namespace {

std::vector<double> values(gsl_vector const* v) {
  std::vector<double> out(v->size);
  for (size_t i = 0; i < v->size; i++) out[i] = gvg(v, static_cast<int>(i));
  return out;
}

// Two supported peaks in mode err: their share intervals hold the splits of
// two Gaussians within this much of the best chi2, the splits' own 95 %
// profile interval (the noise's interval about the solver's split holds its
// bias as well, but not the other splits the data allow).
constexpr double kSplitDeltaChi2 = 3.84;

void goodness(Paar const& m, Assessment& d) {
  int n = m.setup->n_data;
  std::vector<double> weighted(n);
  for (int i = 0; i < n; i++) weighted[i] = gvg(m.residual, i) / gvg(m.setup->data_error, i);
  d.runs = runs_test(weighted);
  d.dof_known = solver_dof(m, d.dof_used);
  double nu = n - (d.dof_known ? d.dof_used : 0.0);
  if (nu >= 1.0)
    d.chi2 = chi2_test(m.chi2, nu);
  else
    d.chi2 = Chi2Test{m.chi2, nu, 1.0, 1.0};
}

// A fit that does not explain the data: its moments, effective distance and
// peaks are not determined, however narrow the ranges its profiles give (a
// wrong SCALING, wrong errors or wrong nuclei shift every one of them).
void withdraw_claims(Assessment& d) {
  if (!d.chi2_fails()) return;
  d.mean_determined = d.sd_determined = d.effective_determined = false;
  for (PeakInfo& p : d.peaks) p.supported = false;
  d.supported_peaks = 0;
  d.peaks_supported = false;
}


// The profile of the solver's fits over SCALING whose other SCALINGs are
// other explanations of the data: SCALING fitted, or the trap's (a share
// beyond one dephasing cycle that another SCALING may explain, whether or not
// that SCALING lies a scan step away); none otherwise.
ScalingProfile const* other_scalings(Paar const& m) {
  if (m.results.scaling_fit.fitted) return &m.results.scaling_fit;
  ScalingTrap const& t = m.results.scaling_trap;
  return t.profile.fitted ? &t.profile : nullptr;
}

// The solver's own fits at the SCALINGs within kAicMargin of the best
// criterion of that profile explain the data as well as the run's fit, at
// another SCALING. Their SCALINGs and effective distances join [lo, hi] when
// they widen it.
void widen_effective_over_scaling(Paar const& m, Assessment& d, double& lo, double& hi) {
  if (!other_scalings(m)) return;
  ScalingProfile const& p = *other_scalings(m);
  double level = margin_level(p.aic, kAicMargin), slo = INFINITY, shi = -INFINITY;
  double rlo = INFINITY, rhi = -INFINITY;
  for (ScalingPoint const& q : p.points) {
    if (!(q.aic <= level) || !std::isfinite(q.effective)) continue;
    slo = std::min(slo, q.scaling), shi = std::max(shi, q.scaling);
    rlo = std::min(rlo, q.effective), rhi = std::max(rhi, q.effective);
  }
  if (!(rlo < lo || rhi > hi)) return;
  d.effective_by_scaling = true;
  d.effective_scaling_lo = slo, d.effective_scaling_hi = shi;
  d.effective_scaling_r_lo = rlo, d.effective_scaling_r_hi = rhi;
  lo = std::min(lo, rlo), hi = std::max(hi, rhi);
}

// The reported sd and mean against those of the Gaussians the data allow:
// each is determined when it lies within the precision a distance is quoted
// to of every allowed Gaussian's, whichever of them is the truth.
void judge_width(Paar const& m, Assessment& d) {
  WidthAllowed const& w = d.width;
  if (!w.computed || !d.one_gaussian_describes) return;
  double mean = m.results.distance_moments[0], sd = m.results.distance_moments[1];
  // A value outside a narrow allowed range disagrees with the data; only a
  // wide one (widths over more than a factor kWideWidths) leaves it open.
  bool wide = w.width_hi > kWideWidths * w.width_lo;
  double r_eff = m.results.effective_distance;
  d.effective_outside = effective_outside(r_eff, w.effective_lo, w.effective_hi);
  double lo = w.effective_lo, hi = w.effective_hi;
  widen_effective_over_scaling(m, d, lo, hi);
  d.effective_determined = !d.effective_outside && 0.5 * (hi - lo) <= kEffectiveRelPrecision * r_eff;
  char b[400];
  if (!every_within(sd, w.sd_lo, w.sd_hi, kSdPrecision, kSdRelPrecision)) {
    bool outside = sd < w.sd_lo || sd > w.sd_hi;
    if (outside)
      std::snprintf(b, sizeof b,
                    "the reported sd %.2f Angstrom lies outside the sds %.2f to %.2f Angstrom of the "
                    "single Gaussians they allow (widths %.2f to %.2f Angstrom)",
                    sd, w.sd_lo, w.sd_hi, w.width_lo, w.width_hi);
    else
      std::snprintf(b, sizeof b,
                    "one Gaussian fits them with any width from %.2f to %.2f Angstrom (sd %.2f to "
                    "%.2f Angstrom on this grid)",
                    w.width_lo, w.width_hi, w.sd_lo, w.sd_hi);
    (outside && !wide ? d.disagree_problem : d.width_problem) = b;
    d.sd_determined = false;
    d.sd_disagrees = outside && !wide;
  }
  if (!every_within(mean, w.mean_lo, w.mean_hi, kMeanPrecision, kMeanRelPrecision)) {
    bool outside = mean < w.mean_lo || mean > w.mean_hi;
    d.mean_disagrees = outside && !wide;
    std::string& to = d.mean_disagrees ? d.disagree_problem : d.width_problem;
    std::snprintf(
        b, sizeof b, "%s%s means from %.2f to %.2f Angstrom", to.empty() ? "" : "; ",
        outside ? format("the reported mean %.2f Angstrom lies outside the single Gaussians'", mean).c_str()
                : "the single Gaussians they allow have",
        w.mean_lo, w.mean_hi);
    to += b;
    d.mean_determined = false;
  }
}


// The SCALINGs one Gaussian's widths and centres are widened over: with
// SCALING fitted, or open to the trap of mass beyond one dephasing cycle, the
// range its profile allows joined to the run's SCALING (none, {0, 0}, without
// a profile or where the range is narrower than 1e-3).
std::array<double, 2> widening_range(Paar const& m) {
  ScalingProfile const& p =
      m.results.scaling_fit.fitted ? m.results.scaling_fit : m.results.scaling_trap.profile;
  if (!p.fitted) return {0.0, 0.0};
  std::array<double, 2> range = {std::min(p.lo4, m.scaling), std::max(p.hi4, m.scaling)};
  return range[1] - range[0] < 1e-3 ? std::array<double, 2>{0.0, 0.0} : range;
}

// The one-Gaussian profile of the basis widened over SCALING (here, beside
// the peak models still being fitted, when the basis was made before the
// fit), and the peak models; a failure of either rethrown, the profile's first.
std::vector<PeakModel> profile_and_models(AssessmentBasis const& b, std::array<double, 2> range,
                                          WidthAllowed& width) {
  std::exception_ptr profile_failed = b.profile_failed;
  if (!profile_failed) {
    width = b.width;
    profile_failed = b.widen_failed;
    if (b.widened_over != range) try {
        widen_over_scaling(b, range, width);
      } catch (...) {
        profile_failed = std::current_exception();
      }
  }
  b.wait_all();
  for (std::exception_ptr const& e : {profile_failed, b.models_failed})
    if (e) std::rethrow_exception(e);
  return b.models;
}

// Peaks beyond the full-cycle distance, when a lower SCALING explains the
// mass there as well, are not supported by these data whatever the models
// of the peaks say at this SCALING.
void unsupport_beyond_cycle(Paar const& m, Assessment& d) {
  ScalingTrap const& t = m.results.scaling_trap;
  if (!t.found || !t.profile.fitted || !trap_other_clears(t)) return;
  int dropped = unsupport_peaks_beyond(d.peaks, t.cycle_distance);
  d.supported_peaks = std::max(1, d.supported_peaks - dropped);
  d.peaks_beyond_cycle = dropped;
}

}  // namespace

// Where one Gaussian does not describe the data no profile judges the mean
// and the sd; with the SCALING trap found they move with the share beyond
// one dephasing cycle, which a lower SCALING explains as well.
void judge_moments_in_trap(Paar const& m, Assessment& d) {
  ScalingTrap const& t = m.results.scaling_trap;
  if (!d.width.computed || d.one_gaussian_describes || !t.found || !t.profile.fitted || !trap_other_clears(t))
    return;
  d.sd_determined = d.mean_determined = false;
  d.width_problem = format("they move with the %.0f %% beyond %.2f Angstrom, which SCALING %.2f explains as well "
                           "(see the warning on SCALING)",
                           100.0 * t.share, t.cycle_distance, t.other.scaling);
}

// Where one Gaussian does not describe the data, the mean and the sd against
// those of the peak models within kAicMargin of the best AIC: each is
// determined when it lies within the precision a distance is quoted to of
// every one's.
void judge_moments_by_models(Paar const& m, Assessment& d) {
  if (!d.width.computed || d.one_gaussian_describes || d.peak_models.empty()) return;
  if (!d.mean_determined && !d.sd_determined) return;  // the SCALING trap has said so
  double mean = m.results.distance_moments[0], sd = m.results.distance_moments[1];
  std::array<double, 2> ms = {mean, mean}, ss = {sd, sd};
  auto join = [&](double mu, double s) {
    if (!std::isfinite(mu) || !std::isfinite(s)) return;
    ms = {std::min(ms[0], mu), std::max(ms[1], mu)}, ss = {std::min(ss[0], s), std::max(ss[1], s)};
  };
  double best = INFINITY;
  for (Assessment::Model const& pm : d.peak_models) best = std::min(best, pm.aic);
  for (Assessment::Model const& pm : d.peak_models)
    if (pm.aic <= margin_level(best, kAicMargin) && pm.moments.size() >= 2) join(pm.moments[0], pm.moments[1]);
  bool mean_ok = every_within(mean, ms[0], ms[1], kMeanPrecision, kMeanRelPrecision);
  bool sd_ok = every_within(sd, ss[0], ss[1], kSdPrecision, kSdRelPrecision);
  if (mean_ok && sd_ok) return;
  d.mean_determined = d.mean_determined && mean_ok, d.sd_determined = d.sd_determined && sd_ok;
  d.width_problem = format("the peak models within 2 of the best AIC (1 to 3 Gaussians, a skewed and a flat-topped "
                           "peak) have means from %.2f to %.2f and sds from %.2f to %.2f Angstrom",
                           ms[0], ms[1], ss[0], ss[1]);
}

void judge_effective_by_models(Paar const& m, Assessment& d) {
  if (!d.width.computed || d.one_gaussian_describes || d.peak_models.empty()) return;
  double best = INFINITY, lo = INFINITY, hi = -INFINITY;
  for (Assessment::Model const& pm : d.peak_models) best = std::min(best, pm.aic);
  for (Assessment::Model const& pm : d.peak_models)
    if (pm.aic <= best + kAicMargin) lo = std::min(lo, pm.moments[2]), hi = std::max(hi, pm.moments[2]);
  if (!std::isfinite(lo) || !std::isfinite(hi)) return;
  widen_effective_over_scaling(m, d, lo, hi);
  double r_eff = m.results.effective_distance;
  d.effective_by_models = true;
  d.effective_determined = std::fabs(r_eff - lo) <= kEffectiveRelPrecision * lo &&
                           std::fabs(r_eff - hi) <= kEffectiveRelPrecision * hi;
  // The span to quote holds the reported value too: the solver's fit explains the data as well.
  d.effective_models_lo = std::min(lo, r_eff), d.effective_models_hi = std::max(hi, r_eff);
}

namespace {

// The nearest of positions to x joins [lo, hi]; none, nothing.
void join_nearest(std::vector<double> const& positions, double x, double& lo, double& hi) {
  if (positions.empty()) return;
  double q = positions[0];
  for (double y : positions)
    if (std::fabs(y - x) < std::fabs(q - x)) q = y;
  lo = std::min(lo, q), hi = std::max(hi, q);
}

}  // namespace

void judge_peak_positions(Paar const& m, Assessment& d) {
  double best = INFINITY;
  for (Assessment::Model const& pm : d.peak_models) best = std::min(best, pm.aic);
  double level = margin_level(best, kAicMargin);
  std::vector<ScalingPoint> const none;
  ScalingProfile const* sp = other_scalings(m);
  double scaling_level = sp ? margin_level(sp->aic, kAicMargin) : -INFINITY;
  for (PeakInfo& p : d.peaks) {
    if (!p.supported) continue;
    double lo = p.position, hi = p.position;
    for (Assessment::Model const& pm : d.peak_models)
      if (pm.aic <= level) join_nearest(pm.positions, p.position, lo, hi);
    // The solver's own fits at the SCALINGs its profile allows as well.
    for (ScalingPoint const& q : sp ? sp->points : none) {
      if (!(q.aic <= scaling_level) || q.peaks.empty()) continue;
      double was_lo = lo, was_hi = hi;
      join_nearest(q.peaks, p.position, lo, hi);
      if (lo < was_lo || hi > was_hi) {
        d.peaks_scaling_lo = d.peaks_by_scaling ? std::min(d.peaks_scaling_lo, q.scaling) : q.scaling;
        d.peaks_scaling_hi = d.peaks_by_scaling ? std::max(d.peaks_scaling_hi, q.scaling) : q.scaling;
        d.peaks_by_scaling = true;
      }
    }
    p.placed_range = {lo, hi};
    p.placed = p.position - lo <= kPeakPrecision && hi - p.position <= kPeakPrecision;
  }
}

void flag_components(Paar const& m, MixtureFit const& fit, double width_max, Assessment& d) {
  double margin = std::max(0.5 * m.setup->grain, 0.01);
  for (GaussComponent const& g : fit.comp) {
    char b[300];
    if (g.width > 0.98 * width_max) {
      std::snprintf(b, sizeof b,
                    "the Gaussian at %.2f Angstrom has the widest width allowed, %.2f Angstrom "
                    "((FAR - NEAR) / 2): its width is not determined by these data",
                    g.centre, g.width);
      d.component_problems.push_back(b);
    }
    bool at_near = g.centre<m.setup->near + margin, at_far = g.centre> m.setup->far - margin;
    if (at_near || at_far) {
      std::snprintf(b, sizeof b,
                    "the Gaussian of weight %.2f is centred at %s (%.2f Angstrom): its position is "
                    "not determined by these data",
                    g.weight, at_near ? "NEAR" : "FAR", g.centre);
      d.component_problems.push_back(b);
    }
  }
}

bool solver_dof(Paar const& m, double& dof) {
  nlohmann::json const& det = m.results.details;
  if (m.results.solver == "maxent" && det.contains("G") && det["G"].is_number()) {
    dof = det["G"].get<double>();
    return true;
  }
  if (m.results.solver == "gaussians" && det.contains("chosen_k") && det["chosen_k"].is_number()) {
    dof = GaussianMixture::n_params(det["chosen_k"].get<int>());
    return true;
  }
  dof = 0.0;
  return false;
}

bool every_within(double v, double lo, double hi, double abs, double rel) {
  return std::fabs(v - lo) <= std::max(abs, rel * lo) && std::fabs(v - hi) <= std::max(abs, rel * hi);
}

bool effective_outside(double r_eff, double lo, double hi) {
  double slack = std::max(kEffectiveSlack, 0.5 * (hi - lo));
  return r_eff < lo - slack || r_eff > hi + slack;
}

Assessment assess(Paar const& m, std::shared_ptr<AssessmentBasis const> basis) {
  Assessment d;
  d.computed = true;
  goodness(m, d);
  RunSetup const& s = *m.setup;
  FitProblem plain = m.fit_problem();
  d.plateau = late_plateau(values(s.cycles), plain.target, plain.sigma);
  d.peaks = distribution_peaks(values(s.distances), values(m.distribution));
  std::array<double, 2> const range = widening_range(m);
  if (!basis || !basis_fits(*basis, m)) basis = assessment_basis(m.setup, plain, range);
  AssessmentBasis const& b = *basis;
  d.grid = b.grid;
  b.wait_profile();
  try {
    if (b.before_models) std::rethrow_exception(b.before_models);
    MixtureSelection const& sel = b.sel;
    GaussianMixture const& gm = *b.gm;
    SkewedPeak const& sk = b.skewed;
    std::vector<PeakModel> models = profile_and_models(b, range, d.width);
    double best = INFINITY;
    for (PeakModel const& pm : models) {
      d.peak_models.push_back({pm.name, pm.aic, static_cast<int>(pm.peaks.size()), {}, pm.moments, {}});
      for (PeakInfo const& p : pm.peaks)
        d.peak_models.back().positions.push_back(p.position), d.peak_models.back().shares.push_back(p.share);
      best = std::min(best, pm.aic);
    }
    if (!models.empty() && models[0].name == "1 Gaussian")
      d.one_gaussian_describes = models[0].aic - best <= kOneGaussianAicGap;
    d.supported_peaks = mark_supported_peaks(d.peaks, models);
    // The tops within chi2 + 1: the position interval joins them to the
    // noise's own 95 % interval, so a 95 % level here would count the noise twice.
    if (m.results.mc.distance.runs >= 2 && d.supported_peaks == 1 && sk.ok)
      d.skewed_modes = skewed_mode_range(gm, sk, 1.0);
    // Every split of two populations the data allow.
    if (m.results.mc.distance.runs >= 2 && d.supported_peaks == 2 && sel.fits.size() >= 2)
      d.split_shares = split_share_ranges(gm, sel.fits[1], kSplitDeltaChi2);
    if (m.results.solver == "gaussians" && sel.chosen >= 0)
      flag_components(m, sel.fits[sel.chosen], gm.width_max(), d);
  } catch (std::invalid_argument const&) {
  }
  unsupport_beyond_cycle(m, d);
  d.edge_pile = edge_pile(m);
  for (PeakInfo const& p : d.peaks) d.peaks_supported = d.peaks_supported && p.supported;
  judge_width(m, d);
  judge_moments_in_trap(m, d);
  judge_moments_by_models(m, d);
  judge_effective_by_models(m, d);
  judge_peak_positions(m, d);
  withdraw_claims(d);
  add_err_intervals(m, d);
  return d;
}

Assessment::EdgePile edge_pile(Paar const& m) {
  int n = m.setup->n_grid;
  if (n < 6) return {};
  std::vector<double> r = values(m.setup->distances), p = values(m.distribution);
  for (bool at_far : {false, true}) {
    int a = at_far ? n - 1 : 0, b = at_far ? n - 2 : 1, c = at_far ? n - 3 : 2;
    double share = p[a] + p[b];
    if (!(share >= kPileFloor && share < kEdgeLimit && p[a] >= p[b] && p[b] > p[c])) continue;
    // Far mass that a lower SCALING explains as well: the trap's warning speaks of it.
    if (at_far && m.results.scaling_trap.found) continue;
    double t = 0.0, mean = 0.0, var = 0.0;
    for (int j = 0; j < n; j++)
      if (j != a && j != b) t += p[j], mean += p[j] * r[j];
    mean /= t;
    for (int j = 0; j < n; j++)
      if (j != a && j != b) var += p[j] * (r[j] - mean) * (r[j] - mean);
    return {true, at_far, share, mean, std::sqrt(var / t)};
  }
  return {};
}

