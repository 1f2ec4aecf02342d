#include "assessment/err_intervals.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "assessment/peak_support.h"
#include "numeric/margin.h"
#include "solver/uncertainty/peak_spread.h"

// How many of d's peaks the data support.
static size_t supported_count(Assessment const& d) {
  size_t n = 0;
  for (PeakInfo const& p : d.peaks) n += p.supported;
  return n;
}

// A peak model with as many peaks as the data support splits the mass its
// own way: each supported peak's share interval holds the share of the
// model's peak in the same place in order.
static void join_model_shares(Assessment& d, std::vector<double> const& shares) {
  size_t supported = supported_count(d);
  if (supported < 2 || shares.size() != supported) return;
  size_t k = 0;
  for (PeakInfo& p : d.peaks) {
    if (!p.supported) continue;
    double s = shares[k++];
    if (p.runs >= 2) p.share_interval = {std::min(p.share_interval[0], s), std::max(p.share_interval[1], s)};
  }
}

// Two supported peaks: each share interval also holds the shares of every
// split of the two populations the data allow.
static void join_split_shares(Assessment& d) {
  if (supported_count(d) != 2 || d.split_shares.size() != 2) return;
  size_t k = 0;
  for (PeakInfo& p : d.peaks) {
    if (!p.supported) continue;
    std::array<double, 2> const& s = d.split_shares[k++];
    if (p.runs >= 2) p.share_interval = {std::min(p.share_interval[0], s[0]), std::max(p.share_interval[1], s[1])};
  }
}

void widen_by_models(Assessment& d, McDistance const& mc) {
  double best = INFINITY;
  for (Assessment::Model const& pm : d.peak_models) best = std::min(best, pm.aic);
  std::pair<Interval95*, double> named[] = {
      {&d.mean_interval, mc.mean_sd}, {&d.sd_interval, mc.sd_sd}, {&d.effective_interval, mc.effective_sd}};
  for (Assessment::Model const& pm : d.peak_models) {
    if (!(pm.aic < margin_level(best, kAicMargin))) continue;
    for (int q = 0; q < 3; q++) {
      Interval95& i = *named[q].first;
      if (!i.given || !std::isfinite(pm.moments[q])) continue;
      i.lo = std::min(i.lo, pm.moments[q] - kZ95 * named[q].second);
      i.hi = std::max(i.hi, pm.moments[q] + kZ95 * named[q].second);
    }
    join_model_shares(d, pm.shares);
    if (pm.positions.size() != d.peaks.size()) continue;
    for (size_t k = 0; k < d.peaks.size(); k++) {
      std::array<double, 2>& at = d.peaks[k].position_interval;
      if (d.peaks[k].runs >= 2) at = {std::min(at[0], pm.positions[k]), std::max(at[1], pm.positions[k])};
    }
  }
}

// The sd of separate peaks depends on where they lie: the interval also holds
// the sd with each supported peak moved whole (share w, position c) by delta
// to either end of its own 95 % interval, var + delta^2 w (1 - w) +
// 2 delta w (c - mean), the peak's mean taken at its position.
static void widen_sd_by_peaks(Assessment& d, double mean, double sd) {
  int supported = 0;
  for (PeakInfo const& p : d.peaks) supported += p.supported && p.runs >= 2;
  if (!d.sd_interval.given || supported < 2) return;
  for (PeakInfo const& p : d.peaks) {
    if (!p.supported || p.runs < 2) continue;
    for (double end : p.position_interval) {
      double delta = end - p.position, w = p.share;
      double s = std::sqrt(std::max(0.0, sd * sd + delta * delta * w * (1 - w) + 2 * delta * w * (p.position - mean)));
      d.sd_interval.lo = std::min(d.sd_interval.lo, s), d.sd_interval.hi = std::max(d.sd_interval.hi, s);
    }
  }
}

// A lone supported peak, where the skewed peak is one of the models within
// kAicMargin of the best: also every mode of the skewed peaks the data allow.
// A one-sided peak's top may lie a good part of its width from its mean,
// which is what the data fix.
static void widen_by_skewed_modes(Assessment& d) {
  double best = INFINITY, skewed = INFINITY;
  for (Assessment::Model const& pm : d.peak_models) {
    best = std::min(best, pm.aic);
    if (pm.name == "skewed peak") skewed = pm.aic;
  }
  if (supported_count(d) != 1 || !(skewed < margin_level(best, kAicMargin)) || !std::isfinite(d.skewed_modes[0])) return;
  for (PeakInfo& p : d.peaks)
    if (p.supported && p.runs >= 2)
      p.position_interval = {std::min(p.position_interval[0], d.skewed_modes[0]),
                             std::max(p.position_interval[1], d.skewed_modes[1])};
}

// A peak the data do not support is the solver's own split of a population
// they do: its mass belongs to the supported peaks beside it (one, or either
// of two), so each of those may hold it too. Each supported peak's share
// interval reaches its upper end plus the unsupported peaks' shares up to
// the next supported peak on either side.
static void widen_shares_by_unsupported(Assessment& d) {
  if (supported_count(d) < 2) return;
  for (size_t k = 0; k < d.peaks.size(); k++) {
    PeakInfo& p = d.peaks[k];
    if (!p.supported || p.runs < 2) continue;
    double beside = 0.0;
    for (size_t i = k; i-- > 0 && !d.peaks[i].supported;) beside += d.peaks[i].share;
    for (size_t i = k + 1; i < d.peaks.size() && !d.peaks[i].supported; i++) beside += d.peaks[i].share;
    p.share_interval[1] = std::min(1.0, p.share_interval[1] + beside);
  }
}

void add_err_intervals(Paar const& m, Assessment& d) {
  McDistance const& mc = m.results.mc.distance;
  if (mc.runs < 2) return;
  // A fit whose chi2 the errors do not allow determines none of its numbers:
  // an interval about them would cover the truth only by chance (on random
  // truths told a wrong SCALING, the effective distance's in half the runs).
  // The peaks keep their spread over the runs (none of them is supported).
  if (d.chi2_fails()) {
    add_peak_spread(d.peaks, mc.run_peaks, m.setup->grain);
    return;
  }
  WidthAllowed const& w = d.width;
  bool range = w.computed && d.one_gaussian_describes;
  double no = 1.0, none = 0.0;  // an empty allowed range
  double mid = 0.5 * (w.effective_lo + w.effective_hi), half = 0.5 * (w.effective_hi - w.effective_lo);
  d.effective_interval = interval95(m.results.effective_distance, mc.effective_sd, mc.effective_p,
                                    range ? mid - kZ95 * half : no, range ? mid + kZ95 * half : none);
  if (d.mean_determined)
    d.mean_interval = interval95(m.results.distance_moments[0], mc.mean_sd, mc.mean_p, range ? w.mean_lo : no,
                                 range ? w.mean_hi : none);
  if (d.sd_determined)
    d.sd_interval = interval95(m.results.distance_moments[1], mc.sd_sd, mc.sd_p, range ? w.sd_lo : no,
                               range ? w.sd_hi : none);
  ScalingProfile const& s = m.results.scaling_fit;
  if (s.fitted) d.scaling_interval = {true, std::min(s.lo4, m.scaling), std::max(s.hi4, m.scaling)};
  add_peak_spread(d.peaks, mc.run_peaks, m.setup->grain);
  widen_shares_by_unsupported(d);
  join_split_shares(d);
  // One peak where one Gaussian describes the data: the centres it may take.
  if (range && d.peaks.size() == 1 && d.peaks[0].runs >= 2) {
    std::array<double, 2>& at = d.peaks[0].position_interval;
    at = {std::min(at[0], w.centre_lo), std::max(at[1], w.centre_hi)};
  }
  widen_by_models(d, mc);
  // Each supported peak also wherever the peak models and the solver's fits at
  // the other SCALINGs the data allow place it (where they place it apart,
  // the noise alone says too little).
  for (PeakInfo& p : d.peaks)
    if (p.supported && p.runs >= 2 && p.placed_range[0] <= p.position && p.position <= p.placed_range[1])
      p.position_interval = {std::min(p.position_interval[0], p.placed_range[0]),
                             std::max(p.position_interval[1], p.placed_range[1])};
  widen_by_skewed_modes(d);
  widen_sd_by_peaks(d, m.results.distance_moments[0], m.results.distance_moments[1]);
}
