#include "solver/uncertainty/peak_spread.h"

#include <algorithm>
#include <cmath>

#include "numeric/percentile.h"
#include "solver/uncertainty/interval95.h"

std::vector<PeakSample> match_run_peaks(std::vector<PeakInfo> const& reported,
                                        std::vector<std::vector<PeakInfo>> const& runs) {
  size_t n = reported.size();
  std::vector<PeakSample> out(n);
  if (n == 0) return out;
  for (std::vector<PeakInfo> const& run : runs) {
    std::vector<double> share(n, 0.0), at(n, NAN);
    for (PeakInfo const& p : run) {
      // Reported peaks are in order of distance: the cell is the first whose
      // upper midpoint lies beyond p.
      size_t k = 0;
      while (k + 1 < n && p.position > 0.5 * (reported[k].position + reported[k + 1].position)) k++;
      share[k] += p.share;
      if (std::isnan(at[k]) || std::fabs(p.position - reported[k].position) < std::fabs(at[k] - reported[k].position))
        at[k] = p.position;
    }
    for (size_t k = 0; k < n; k++) {
      out[k].share.push_back(share[k]);
      if (std::isnan(at[k])) continue;
      out[k].position.push_back(at[k]);
      out[k].found++;
    }
  }
  return out;
}

void add_peak_spread(std::vector<PeakInfo>& peaks, std::vector<std::vector<PeakInfo>> const& runs, double step) {
  if (runs.size() < 2) return;
  std::vector<PeakSample> s = match_run_peaks(peaks, runs);
  for (size_t k = 0; k < peaks.size(); k++) {
    PeakInfo& p = peaks[k];
    p.runs = runs.size();
    p.found = s[k].found;
    p.share_sd = sample_sd(s[k].share);
    Interval95 sh = interval95(p.share, p.share_sd, {percentile(s[k].share, 0.025), percentile(s[k].share, 0.975)});
    p.share_interval = {std::max(0.0, sh.lo), std::min(1.0, sh.hi)};
    if (p.found < 2) {  // no spread of the position: the grid's half step only
      p.position_interval = {p.position - 0.5 * step, p.position + 0.5 * step};
      continue;
    }
    p.position_sd = sample_sd(s[k].position);
    Interval95 at = interval95(p.position, p.position_sd,
                               {percentile(s[k].position, 0.025), percentile(s[k].position, 0.975)});
    p.position_interval = {at.lo - 0.5 * step, at.hi + 0.5 * step};
  }
}
