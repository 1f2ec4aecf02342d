#include "model/peaks.h"

#include <algorithm>

#include "numeric/parabola_vertex.h"

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
