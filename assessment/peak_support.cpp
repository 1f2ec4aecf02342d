#include "assessment/peak_support.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "model/effective_distance.h"
#include "numeric/margin.h"
#include "numeric/parabola_vertex.h"
#include "assessment/flat_peak.h"
#include "assessment/skewed_peak.h"


namespace {

// Mean, sd and effective distance of the masses p on the distances r.
std::array<double, 3> moments_of(std::vector<double> const& r, std::vector<double> const& p) {
  double total = 0.0, m = 0.0, m2 = 0.0;
  for (size_t j = 0; j < p.size(); j++) total += p[j], m += p[j] * r[j];
  m /= total;
  for (size_t j = 0; j < p.size(); j++) m2 += p[j] * (r[j] - m) * (r[j] - m);
  return {m, std::sqrt(m2 / total), effective_distance(p.data(), r.data(), p.size())};
}

}  // namespace

std::vector<PeakModel> peak_models(MixtureSelection const& sel, GaussianMixture const& gm, SkewedPeak* skewed) {
  std::vector<PeakModel> out;
  std::vector<double> const& r = gm.problem().distance;
  for (MixtureFit const& f : sel.fits) {
    if (!f.ok) continue;
    MixtureShape m;
    for (GaussComponent const& g : f.comp) {
      m.weight.push_back(g.weight);
      m.centre.push_back(g.centre);
      m.width.push_back(g.width);
    }
    std::vector<double> mass = gm.grid_mass(m);
    out.push_back({f.k == 1 ? "1 Gaussian" : std::to_string(f.k) + " Gaussians", f.aic,
                   distribution_peaks(r, mass), moments_of(r, mass)});
  }
  if (!sel.fits.empty() && sel.fits[0].ok) {
    GaussComponent const& g = sel.fits[0].comp[0];
    // The two one-peak shapes are fitted apart from each other, each by the
    // same code whatever the thread count: side by side where there are two.
    SkewedPeak sk;
    FlatPeak fl;
#pragma omp parallel sections
    {
#pragma omp section
      sk = fit_skewed_peak(gm, g.centre, g.width);
#pragma omp section
      fl = fit_flat_peak(gm, g.centre, g.width);
    }
    if (skewed) *skewed = sk;
    if (sk.ok) {
      // Its one peak, at the largest fine-grid mass.
      std::vector<double> const& fr = gm.fine_centres();
      std::vector<double> mass = skewed_peak_mass(fr, sk.location, sk.scale, sk.shape);
      size_t top = static_cast<size_t>(std::max_element(mass.begin(), mass.end()) - mass.begin());
      out.push_back({"skewed peak", sk.aic, {{fr[top], 1.0, true}}, moments_of(fr, mass)});
    }
    if (fl.ok) {
      std::vector<double> const& fr = gm.fine_centres();
      out.push_back({"flat-topped peak", fl.aic, {{fl.centre, 1.0, true}},
                     moments_of(fr, flat_peak_mass(fr, fl.centre, fl.half_width, fl.edge))});
    }
  }
  return out;
}

int mark_supported_peaks(std::vector<PeakInfo>& peaks, std::vector<PeakModel> const& models) {
  if (models.empty()) return 0;
  double best = INFINITY;
  for (PeakModel const& m : models) best = std::min(best, m.aic);
  // The fewest peaks within the margin, and the best model with that many
  // (none when no AIC is finite).
  PeakModel const* fewest = nullptr;
  double level = margin_level(best, kAicMargin);
  for (PeakModel const& m : models)
    if (m.aic < level && (!fewest || m.peaks.size() < fewest->peaks.size() ||
                                      (m.peaks.size() == fewest->peaks.size() && m.aic < fewest->aic)))
      fewest = &m;
  if (!fewest) return 0;
  size_t n = fewest->peaks.size();
  if (peaks.size() <= n) return static_cast<int>(n);
  for (PeakInfo& pk : peaks) pk.supported = false;
  for (PeakInfo const& b : fewest->peaks) {
    PeakInfo* near = nullptr;
    for (PeakInfo& pk : peaks)
      if (!pk.supported &&
          (!near || std::fabs(pk.position - b.position) < std::fabs(near->position - b.position)))
        near = &pk;
    if (near) near->supported = true;
  }
  return static_cast<int>(n);
}

int unsupport_peaks_beyond(std::vector<PeakInfo>& peaks, double r) {
  int dropped = 0;
  for (PeakInfo& p : peaks)
    if (p.position > r && p.supported) p.supported = false, dropped++;
  return dropped;
}
