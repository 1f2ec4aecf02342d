#include "solver/scaling/scaling_fit.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "numeric/interrupt.h"
#include "numeric/margin.h"

namespace {

// chi2 of the solver's fit at each SCALING asked, remembered.
class Chi2OfScaling {
 public:
  Chi2OfScaling(Paar const& model, SolverFit (*fit)(Paar const&)) : model_(model), fit_(fit) {}
  double operator()(double s) {
    auto it = seen_.find(s);
    if (it != seen_.end()) return it->second;
    double c = INFINITY;
    if (interrupt_signal() == 0) {
      Paar trial(model_);
      trial.speak_to(Report::silent());
      trial.scaling = s;
      SolverFit f = fit_(trial);
      if (f.ok) {
        trial.adopt(f);
        if (std::isfinite(trial.chi2)) c = trial.chi2;
      }
    }
    return seen_[s] = c;
  }
  int fits() const { return static_cast<int>(seen_.size()); }

 private:
  Paar const& model_;
  SolverFit (*fit_)(Paar const&);
  std::map<double, double> seen_;
};

// The minimum of chi2 on [a, b] by golden section, to 1e-4 in SCALING.
double golden_section(Chi2OfScaling& chi2, double a, double b) {
  const double g = (std::sqrt(5.0) - 1.0) / 2.0;
  double x1 = b - g * (b - a), x2 = a + g * (b - a);
  double f1 = chi2(x1), f2 = chi2(x2);
  while (b - a > 1e-4) {
    if (f1 <= f2) {
      b = x2, x2 = x1, f2 = f1;
      x1 = b - g * (b - a), f1 = chi2(x1);
    } else {
      a = x1, x1 = x2, f1 = f2;
      x2 = a + g * (b - a), f2 = chi2(x2);
    }
  }
  return f1 <= f2 ? x1 : x2;
}

// Where chi2 first rises above level walking from best towards the scan
// points (in order away from best): bisection to 1e-3 between the last
// point below and the first above; the last scan point when none rises.
double crossing(Chi2OfScaling& chi2, double best, std::vector<double> const& outward, double level) {
  double inside = best;
  for (double s : outward) {
    if (chi2(s) <= level) {
      inside = s;
      continue;
    }
    double out = s;
    while (std::fabs(out - inside) > 1e-3) {
      double mid = 0.5 * (inside + out);
      (chi2(mid) <= level ? inside : out) = mid;
    }
    return 0.5 * (inside + out);
  }
  return inside;
}

}  // namespace

ScalingProfile fit_scaling(Paar const& model, SolverFit (*fit)(Paar const&)) {
  ScalingProfile p;
  Chi2OfScaling chi2(model, fit);
  double lo = kScalingMin, hi = kScalingMax;
  p.scan_lo = lo, p.scan_hi = hi;
  int n = std::max(2, static_cast<int>(std::ceil((hi - lo) / kScalingScanStep - 1e-9)));
  std::vector<double> scan(n + 1);
  size_t k = 0;
  for (int i = 0; i <= n; i++) {
    scan[i] = lo + (hi - lo) * i / n;
    if (chi2(scan[i]) < chi2(scan[k])) k = i;
  }
  if (!std::isfinite(chi2(scan[k]))) return p;
  p.best = golden_section(chi2, scan[k > 0 ? k - 1 : 0], scan[std::min(k + 1, scan.size() - 1)]);
  if (chi2(scan[k]) < chi2(p.best)) p.best = scan[k];
  p.chi2 = chi2(p.best);
  std::vector<double> up, down;
  for (double s : scan) (s > p.best ? up : down).push_back(s);
  std::reverse(down.begin(), down.end());
  p.lo1 = crossing(chi2, p.best, down, margin_level(p.chi2, 1.0));
  p.hi1 = crossing(chi2, p.best, up, margin_level(p.chi2, 1.0));
  p.lo4 = crossing(chi2, p.best, down, margin_level(p.chi2, 4.0));
  p.hi4 = crossing(chi2, p.best, up, margin_level(p.chi2, 4.0));
  p.at_scan_end = p.best < lo + kScalingAtEnd || p.best > hi - kScalingAtEnd;
  p.fits = chi2.fits();
  p.fitted = interrupt_signal() == 0;
  return p;
}
