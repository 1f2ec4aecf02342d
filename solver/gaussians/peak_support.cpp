#include "solver/gaussians/peak_support.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "model/effective_distance.h"
#include "numeric/margin.h"
#include "numeric/parabola_vertex.h"
#include "solver/gaussians/flat_peak.h"
#include "solver/gaussians/skewed_peak.h"

namespace {

// A stretch of the grid [lo, hi] with its largest point top and its mass.
struct Segment {
  int lo, hi, top;
  double mass;
};

// Joins segment i with its right neighbour.
void join(std::vector<Segment>& s, std::vector<double> const& p, size_t i) {
  Segment& a = s[i];
  Segment const& b = s[i + 1];
  a.hi = b.hi;
  a.mass += b.mass;
  if (p[b.top] > p[a.top]) a.top = b.top;
  s.erase(s.begin() + static_cast<long>(i) + 1);
}

// The valley between segments i and i + 1: the last point of i.
double valley(std::vector<Segment> const& s, std::vector<double> const& p, size_t i) { return p[s[i].hi]; }

}  // namespace

std::vector<PeakInfo> distribution_peaks(std::vector<double> const& r, std::vector<double> const& p,
                                         double min_share) {
  int n = static_cast<int>(p.size());
  double total = 0.0;
  for (double v : p) total += v;
  if (n == 0 || !(total > 0.0)) return {};
  // Cut the grid after every strict local minimum (a flat floor is cut at its end).
  std::vector<Segment> s{{0, 0, 0, 0.0}};
  for (int j = 0; j < n; j++) {
    Segment& c = s.back();
    c.hi = j, c.mass += p[j];
    if (p[j] > p[c.top]) c.top = j;
    if (j > 0 && j + 1 < n && p[j] <= p[j - 1] && p[j] < p[j + 1]) s.push_back({j + 1, j + 1, j + 1, 0.0});
  }
  // Ripples first: a valley nearly as high as the lower maximum beside it.
  for (size_t i = 0; i + 1 < s.size();) {
    if (valley(s, p, i) > kRippleDepth * std::min(p[s[i].top], p[s[i + 1].top]))
      join(s, p, i);
    else
      i++;
  }
  // Then the smallest stretch below min_share joins the neighbour across
  // its shallower valley, until every stretch holds min_share.
  while (s.size() > 1) {
    size_t small = 0;
    for (size_t i = 1; i < s.size(); i++)
      if (s[i].mass < s[small].mass) small = i;
    if (s[small].mass >= min_share * total) break;
    bool left = small > 0 && (small + 1 == s.size() || valley(s, p, small - 1) > valley(s, p, small));
    join(s, p, left ? small - 1 : small);
  }
  // Each peak where the parabola through its top and the two neighbours peaks.
  std::vector<PeakInfo> out;
  for (Segment const& g : s) {
    int t = g.top;
    double at = t > 0 && t + 1 < n ? parabola_vertex(r[t - 1], p[t - 1], r[t], p[t], r[t + 1], p[t + 1]) : r[t];
    out.push_back({at, g.mass / total, true});
  }
  return out;
}

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

std::vector<PeakModel> peak_models(MixtureSelection const& sel, GaussianMixture const& gm) {
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
    SkewedPeak sk = fit_skewed_peak(gm, g.centre, g.width);
    if (sk.ok) {
      // Its one peak, at the largest fine-grid mass.
      std::vector<double> const& fr = gm.fine_centres();
      std::vector<double> mass = skewed_peak_mass(fr, sk.location, sk.scale, sk.shape);
      size_t top = static_cast<size_t>(std::max_element(mass.begin(), mass.end()) - mass.begin());
      out.push_back({"skewed peak", sk.aic, {{fr[top], 1.0, true}}, moments_of(fr, mass)});
    }
    FlatPeak fl = fit_flat_peak(gm, g.centre, g.width);
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
