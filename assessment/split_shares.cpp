#include "assessment/split_shares.h"

#include <algorithm>
#include <cmath>

#include "model/peaks.h"
#include "solver/gaussians/weight_profile.h"

std::vector<std::array<double, 2>> split_share_ranges(GaussianMixture const& gm, MixtureFit const& two,
                                                      double delta_chi2) {
  std::vector<std::array<double, 2>> out;
  std::vector<double> const& r = gm.problem().distance;
  std::vector<WeightProfilePoint> prof = two_gaussian_weight_profile(gm, two, delta_chi2);
  // Each fit's two shares (NaN where its distribution has not two peaks).
  std::vector<std::array<double, 2>> shares;
  double level = INFINITY;
  for (WeightProfilePoint const& p : prof) {
    std::vector<PeakInfo> peaks = distribution_peaks(r, gm.grid_mass(p.shape));
    shares.push_back(peaks.size() == 2 ? std::array<double, 2>{peaks[0].share, peaks[1].share}
                                       : std::array<double, 2>{NAN, NAN});
    level = std::min(level, p.chi2);
  }
  level += delta_chi2;
  auto join = [&out](std::array<double, 2> const& s) {
    if (!std::isfinite(s[0])) return;
    if (out.empty()) out.assign(2, {1.0, 0.0});
    for (size_t k = 0; k < 2; k++) out[k] = {std::min(out[k][0], s[k]), std::max(out[k][1], s[k])};
  };
  for (size_t i = 0; i < prof.size(); i++) {
    if (!(prof[i].chi2 <= level)) continue;
    join(shares[i]);
    // Where a neighbour lies beyond the level, the profile ends between the
    // two: the shares there, linear in chi2 between the two fits.
    for (size_t j : {i - 1, i + 1}) {
      if (j >= prof.size() || prof[j].chi2 <= level) continue;
      double f = (level - prof[i].chi2) / (prof[j].chi2 - prof[i].chi2);
      join({shares[i][0] + f * (shares[j][0] - shares[i][0]), shares[i][1] + f * (shares[j][1] - shares[i][1])});
    }
  }
  return out;
}
