#include "assessment/split_shares.h"

#include <algorithm>

#include "model/peaks.h"
#include "solver/gaussians/weight_profile.h"

std::vector<std::array<double, 2>> split_share_ranges(GaussianMixture const& gm, MixtureFit const& two,
                                                      double delta_chi2) {
  std::vector<std::array<double, 2>> out;
  std::vector<double> const& r = gm.problem().distance;
  for (WeightProfilePoint const& p : two_gaussian_weight_profile(gm, two, delta_chi2)) {
    std::vector<PeakInfo> peaks = distribution_peaks(r, gm.grid_mass(p.shape));
    if (peaks.size() != 2) continue;
    if (out.empty()) out.assign(2, {1.0, 0.0});
    for (size_t k = 0; k < 2; k++)
      out[k] = {std::min(out[k][0], peaks[k].share), std::max(out[k][1], peaks[k].share)};
  }
  return out;
}
