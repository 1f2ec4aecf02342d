// chi2 of one Gaussian on a grid of centres (every 0.02 Angstrom unless the
// caller spreads them) and widths
// (40 steps, evenly spaced in ln width from the floor to the widest), each
// profile point then refined by a golden-section search between the grid
// neighbours of its best value: chi2 is smooth in both parameters, and the
// grid finds the right valley even when there are several.
#include "assessment/width_profile.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include "model/effective_distance.h"
#include "numeric/margin.h"
#include "model/gaussian_mixture.h"
#include "assessment/single_gaussian.h"

namespace {

constexpr int kWidths = 40;

// The minimum of f on [a, b] by golden sections (f smooth and unimodal there).
double golden_min(std::function<double(double)> const& f, double a, double b, double& fmin) {
  const double g = 0.5 * (std::sqrt(5.0) - 1.0);
  double x1 = b - g * (b - a), x2 = a + g * (b - a), f1 = f(x1), f2 = f(x2);
  for (int it = 0; it < 24; it++) {
    if (f1 <= f2) {
      b = x2, x2 = x1, f2 = f1, x1 = b - g * (b - a), f1 = f(x1);
    } else {
      a = x1, x1 = x2, f1 = f2, x2 = a + g * (b - a), f2 = f(x2);
    }
  }
  fmin = std::min(f1, f2);
  return f1 <= f2 ? x1 : x2;
}

// Where the profile y (on ascending x) lies at or below level, from the
// first to the last such point: the indices, and the ends interpolated
// linearly between grid points (the grid's own ends when reached).
struct Range {
  size_t first = 0, last = 0;
  double lo = 0.0, hi = 0.0;
  bool at_lo = false, at_hi = false;
};
Range allowed_range(std::vector<double> const& x, std::vector<double> const& y, double level) {
  Range r;
  size_t n = x.size();
  r.first = n;
  for (size_t i = 0; i < n; i++)
    if (y[i] <= level) r.first = std::min(r.first, i), r.last = i;
  if (r.first == n) {  // the minimum lies between grid points: the lowest one alone
    r.first = r.last = static_cast<size_t>(std::min_element(y.begin(), y.end()) - y.begin());
    r.lo = r.hi = x[r.first];
    r.at_lo = r.first == 0, r.at_hi = r.first == n - 1;
    return r;
  }
  auto cross = [&](size_t in, size_t out) {
    return x[in] + (x[out] - x[in]) * (level - y[in]) / (y[out] - y[in]);
  };
  r.at_lo = r.first == 0;
  r.at_hi = r.last == n - 1;
  r.lo = r.at_lo ? x[0] : cross(r.first, r.first - 1);
  r.hi = r.at_hi ? x[n - 1] : cross(r.last, r.last + 1);
  return r;
}

// The abscissa of the vertex of the parabola through the profile at k - 1,
// k and k + 1 (x[k] itself at an end or where the three are not convex).
double vertex(std::vector<double> const& x, std::vector<double> const& y, int k) {
  if (k == 0 || k + 1 == static_cast<int>(x.size())) return x[k];
  double h = x[k + 1] - x[k], c = y[k + 1] - 2.0 * y[k] + y[k - 1];
  return c > 0.0 ? x[k] - 0.5 * h * (y[k + 1] - y[k - 1]) / c : x[k];
}

class Profile {
 public:
  Profile(FitProblem const& fp, double near, double far, double step, ProfileCurves* shared,
          std::array<double, 2> free_scaling)
      : fp_(fp), gm_(fp, near, far), one_(gm_), step_(step), free_(free_scaling) {
    int nc = static_cast<int>(std::floor((far - near) / step + 1e-9)) + 1;
    for (int i = 0; i < nc; i++) cs_.push_back(std::min(far, near + i * step));
    double l0 = std::log(kWidthFloor), l1 = std::log(gm_.width_max());
    for (int k = 0; k < kWidths; k++) lw_.push_back(l0 + (l1 - l0) * k / (kWidths - 1));
    size_t nd = static_cast<size_t>(fp.n_data), size = kWidths * static_cast<size_t>(nc) * nd;
    ProfileCurves curves = shared && *shared && (*shared)->size() == size ? *shared : nullptr;
    if (!curves) {
      curves = std::make_shared<std::vector<double>>(size);
      // Every value is computed alone, by the same code: the same for any thread count.
#pragma omp parallel for schedule(dynamic, 1)
      for (int k = 0; k < kWidths; k++) {
        std::vector<double> g, mass;
        for (int i = 0; i < nc; i++) {
          one_.shape(cs_[i], std::exp(lw_[k]), g, mass);
          std::copy(g.begin(), g.end(), curves->begin() + static_cast<std::ptrdiff_t>((k * nc + i) * nd));
        }
      }
      if (shared) *shared = curves;
    }
    table_.assign(kWidths, std::vector<double>(nc));
    std::vector<double> f(nd);
    for (int k = 0; k < kWidths; k++)
      for (int i = 0; i < nc; i++) {
        double const* g = curves->data() + (k * nc + i) * nd;
        std::copy(g, g + nd, f.begin());
        table_[k][i] = chi2_of_shape(f);
      }
  }

  double chi2(double c, double w) const {
    thread_local std::vector<double> f, mass;
    one_.shape(c, w, f, mass);
    return chi2_of_shape(f);
  }

  // chi2 of the curve g of the whole signal dephasable (turned into the
  // fitted curve): at the problem's SCALING, or at the best one in the free
  // range, S/S0 = 1 - s (1 - g) being linear in s.
  double chi2_of_shape(std::vector<double>& g) const {
    double s = fp_.scaling;
    if (free_[1] > free_[0]) {
      double ab = 0.0, aa = 0.0;
      for (size_t d = 0; d < g.size(); d++) {
        double a = (1.0 - g[d]) / fp_.sigma[d], b = (1.0 - fp_.target[d]) / fp_.sigma[d];
        ab += a * b, aa += a * a;
      }
      if (aa > 0.0) s = std::clamp(ab / aa, free_[0], free_[1]);
    }
    for (double& v : g) v = s * v + 1.0 - s;
    return chi2_of_curve(fp_, g);
  }

  // For each width the best centre: by_width (chi2) and centre_of.
  void in_width(std::vector<double>& by_width, std::vector<double>& centre_of) {
    int nc = static_cast<int>(cs_.size());
    by_width.resize(kWidths), centre_of.resize(kWidths);
#pragma omp parallel for schedule(dynamic, 1)
    for (int k = 0; k < kWidths; k++) {
      int i = static_cast<int>(std::min_element(table_[k].begin(), table_[k].end()) - table_[k].begin());
      double w = std::exp(lw_[k]);
      centre_of[k] = golden_min([&](double c) { return chi2(c, w); }, cs_[std::max(i - 1, 0)],
                                cs_[std::min(i + 1, nc - 1)], by_width[k]);
      if (table_[k][i] < by_width[k]) by_width[k] = table_[k][i], centre_of[k] = cs_[i];
    }
  }

  // For each centre the best width (searched in ln width).
  std::vector<double> in_centre() {
    std::vector<double> by_centre(cs_.size());
#pragma omp parallel for schedule(dynamic, 4)
    for (size_t i = 0; i < cs_.size(); i++) {
      int k = 0;
      for (int q = 1; q < kWidths; q++)
        if (table_[q][i] < table_[k][i]) k = q;
      golden_min([&](double l) { return chi2(cs_[i], std::exp(l)); }, lw_[std::max(k - 1, 0)],
                 lw_[std::min(k + 1, kWidths - 1)], by_centre[i]);
      by_centre[i] = std::min(by_centre[i], table_[k][i]);
    }
    return by_centre;
  }

  // Mean and sd on the run's grid of the Gaussian (c, w).
  void grid_moments(double c, double w, double& mean, double& sd) const {
    std::vector<double> p = gm_.grid_mass(MixtureShape{{1.0}, {c}, {w}});
    double t = 0, m = 0, v = 0;
    for (int j = 0; j < fp_.n_grid; j++) t += p[j], m += p[j] * fp_.distance[j];
    m /= t;
    for (int j = 0; j < fp_.n_grid; j++) v += p[j] * (fp_.distance[j] - m) * (fp_.distance[j] - m);
    mean = m, sd = std::sqrt(v / t);
  }

  // r_eff = <r^-6>^(-1/6) of the Gaussian (c, w) on the sub-grid.
  double effective(double c, double w) const {
    std::vector<double> mass;
    int lo, hi;
    one_.mass(c, w, mass, lo, hi);
    return effective_distance(mass.data(), gm_.fine_centres().data(), mass.size());
  }

  // The centre on the side dir (+1 or -1) of c0 where chi2 at width w
  // rises to level (bisection; the range's end when it stays below).
  double crossing(double c0, double w, double level, int dir) {
    double in = c0, out = dir > 0 ? cs_.back() : cs_.front();
    if (chi2(out, w) <= level) return out;
    for (int it = 0; it < 30; it++) {
      double mid = 0.5 * (in + out);
      (chi2(mid, w) <= level ? in : out) = mid;
    }
    return 0.5 * (in + out);
  }

  std::vector<double> const& centres() const { return cs_; }
  std::vector<double> const& log_widths() const { return lw_; }
  double step() const { return step_; }

 private:
  FitProblem const& fp_;
  GaussianMixture gm_;
  SingleGaussian one_;
  double step_;
  std::array<double, 2> free_;
  std::vector<double> cs_, lw_;
  std::vector<std::vector<double>> table_;
};

// The grid means and sds the allowed widths give, each with its best centre
// (the ends of the range with the centre interpolated in ln width).
void allowed_moments(Profile const& pr, Range const& r, std::vector<double> const& centre_of,
                     WidthAllowed& out) {
  std::vector<double> const& lw = pr.log_widths();
  auto centre_at = [&](double l, size_t in, size_t out_i) {
    if (in == out_i) return centre_of[in];
    return centre_of[in] + (centre_of[out_i] - centre_of[in]) * (l - lw[in]) / (lw[out_i] - lw[in]);
  };
  std::vector<std::pair<double, double>> points;  // (centre, width)
  points.emplace_back(centre_at(r.lo, r.first, r.at_lo ? r.first : r.first - 1), std::exp(r.lo));
  for (size_t k = r.first; k <= r.last; k++) points.emplace_back(centre_of[k], std::exp(lw[k]));
  points.emplace_back(centre_at(r.hi, r.last, r.at_hi ? r.last : r.last + 1), std::exp(r.hi));
  out.mean_lo = out.sd_lo = INFINITY;
  out.mean_hi = out.sd_hi = -INFINITY;
  for (auto const& cw : points) {
    double m, s;
    pr.grid_moments(cw.first, cw.second, m, s);
    out.mean_lo = std::min(out.mean_lo, m), out.mean_hi = std::max(out.mean_hi, m);
    out.sd_lo = std::min(out.sd_lo, s), out.sd_hi = std::max(out.sd_hi, s);
  }
}

// The range of r_eff over the Gaussians within delta chi2 1 of the best:
// at the best width, at the ends of the widths within it and at every grid
// width between, the centres from one crossing of the level to the other.
void effective_range(Profile& pr, std::vector<double> const& by_width, std::vector<double> const& centre_of,
                     WidthAllowed& out) {
  double level = margin_level(out.best_chi2, 1.0);
  std::vector<double> const& lw = pr.log_widths();
  Range r = allowed_range(lw, by_width, level);
  std::vector<double> widths = {std::log(out.best_width), r.lo, r.hi};
  for (size_t k = r.first; k <= r.last && k < lw.size(); k++) widths.push_back(lw[k]);
  // Each width alone (by the same code whatever the thread count); the
  // smallest and largest of the values found are the same in any order.
  int n = static_cast<int>(widths.size());
  std::vector<double> lo(n, INFINITY), hi(n, -INFINITY);
#pragma omp parallel for schedule(dynamic, 1)
  for (int i = 0; i < n; i++) {
    // The best centre at this width, near that of the nearest grid width.
    size_t k = static_cast<size_t>(std::lower_bound(lw.begin(), lw.end(), widths[i]) - lw.begin());
    k = std::min(k, lw.size() - 1);
    double w = std::exp(widths[i]), c0 = centre_of[k], f0;
    c0 = golden_min([&](double c) { return pr.chi2(c, w); }, c0 - 2 * pr.step(), c0 + 2 * pr.step(), f0);
    std::vector<double> cs = {c0};
    if (f0 <= level) cs = {pr.crossing(c0, w, level, -1), pr.crossing(c0, w, level, 1)};
    for (double c : cs) {
      double e = pr.effective(c, w);
      lo[i] = std::min(lo[i], e), hi[i] = std::max(hi[i], e);
    }
  }
  out.effective_lo = *std::min_element(lo.begin(), lo.end());
  out.effective_hi = *std::max_element(hi.begin(), hi.end());
}

}  // namespace

WidthAllowed one_gaussian_profile(FitProblem const& fp, double near, double far, double delta_chi2,
                                  double centre_step, ProfileCurves* shared, std::array<double, 2> free_scaling) {
  WidthAllowed out;
  if (fp.n_data < 3) return out;
  std::unique_ptr<Profile> pr;
  try {
    pr = std::make_unique<Profile>(fp, near, far, centre_step, shared, free_scaling);
  } catch (std::invalid_argument const&) {
    return out;
  }
  std::vector<double> by_width, centre_of;
  pr->in_width(by_width, centre_of);
  std::vector<double> by_centre = pr->in_centre();
  int kb = static_cast<int>(std::min_element(by_width.begin(), by_width.end()) - by_width.begin());
  out.best_chi2 = std::min(by_width[kb], *std::min_element(by_centre.begin(), by_centre.end()));
  out.best_width = std::exp(vertex(pr->log_widths(), by_width, kb));
  out.best_centre = centre_of[kb];
  double level = margin_level(out.best_chi2, delta_chi2);
  Range w = allowed_range(pr->log_widths(), by_width, level);
  out.width_lo = std::exp(w.lo), out.width_hi = std::exp(w.hi);
  out.lo_at_floor = w.at_lo, out.hi_at_ceiling = w.at_hi;
  Range c = allowed_range(pr->centres(), by_centre, level);
  out.centre_lo = c.lo, out.centre_hi = c.hi;
  allowed_moments(*pr, w, centre_of, out);
  effective_range(*pr, by_width, centre_of, out);
  out.computed = true;
  return out;
}

void join_allowed(WidthAllowed& w, WidthAllowed const& o) {
  auto wider = [](double& lo, double& hi, double olo, double ohi) { lo = std::min(lo, olo), hi = std::max(hi, ohi); };
  wider(w.width_lo, w.width_hi, o.width_lo, o.width_hi);
  wider(w.centre_lo, w.centre_hi, o.centre_lo, o.centre_hi);
  wider(w.mean_lo, w.mean_hi, o.mean_lo, o.mean_hi);
  wider(w.sd_lo, w.sd_hi, o.sd_lo, o.sd_hi);
  wider(w.effective_lo, w.effective_hi, o.effective_lo, o.effective_hi);
  w.lo_at_floor = w.lo_at_floor || o.lo_at_floor;
  w.hi_at_ceiling = w.hi_at_ceiling || o.hi_at_ceiling;
}
