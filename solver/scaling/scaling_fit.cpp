#include "solver/scaling/scaling_fit.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "model/dephasing_cycle.h"
#include "model/effective_distance.h"
#include "model/peaks.h"
#include "numeric/interrupt.h"
#include "numeric/margin.h"
#include "model/gaussian_mixture.h"

double fit_parameters(nlohmann::json const& details) {
  if (details.contains("chosen_k") && details["chosen_k"].is_number())
    return GaussianMixture::n_params(details["chosen_k"].get<int>());
  if (details.contains("G") && details["G"].is_number()) return details["G"].get<double>();
  return 0.0;
}

namespace {

// The solver's fit at each SCALING asked, remembered.
class FitOfScaling {
 public:
  // The trial fits share one copy of the set-up that writes no solver
  // traces: the run's own trace is the fit it reports.
  FitOfScaling(Paar const& model, SolverFit (*fit)(Paar const&), double watch)
      : model_(model), fit_(fit), watch_(watch), quiet_(quiet_setup(model)) {}
  ScalingPoint const& at(double s) {
    auto it = seen_.find(s);
    if (it != seen_.end()) return it->second;
    ScalingPoint p;
    p.scaling = s;
    if (interrupt_signal() == 0) {
      Paar trial(model_);
      trial.setup = quiet_;
      trial.speak_to(Report::silent());
      trial.scaling = s;
      SolverFit f = fit_(trial);
      if (f.ok) {
        trial.adopt(f);
        if (std::isfinite(trial.chi2)) {
          p.chi2 = trial.chi2;
          p.aic = trial.chi2 + 2.0 * fit_parameters(f.details);
          describe(trial, p);
        }
      }
    }
    return seen_[s] = p;
  }
  double operator()(double s) { return at(s).aic; }
  std::vector<ScalingPoint> points() const {
    std::vector<ScalingPoint> out;
    for (auto const& kv : seen_) out.push_back(kv.second);
    return out;
  }

 private:
  void describe(Paar const& t, ScalingPoint& p) const {
    int n = t.setup->n_grid;
    std::vector<double> r(n), w(n);
    for (int j = 0; j < n; j++)
      r[j] = gsl_vector_get(t.setup->distances, j), w[j] = gsl_vector_get(t.distribution, j);
    p.beyond = share_beyond(r, w, watch_, &p.beyond_at);
    p.peak = r[std::max_element(w.begin(), w.end()) - w.begin()];
    p.effective = effective_distance(w.data(), r.data(), w.size());
    for (PeakInfo const& k : distribution_peaks(r, w)) p.peaks.push_back(k.position);
  }
  static std::shared_ptr<const RunSetup> quiet_setup(Paar const& m) {
    if (!m.setup->write_traces) return m.setup;
    auto s = std::make_shared<RunSetup>(*m.setup);
    s->write_traces = false;
    return s;
  }
  Paar const& model_;
  SolverFit (*fit_)(Paar const&);
  double watch_;
  std::shared_ptr<const RunSetup> quiet_;
  std::map<double, ScalingPoint> seen_;
};

// The minimum of the criterion on [a, b] by golden section, to 1e-3 in SCALING.
double golden_section(FitOfScaling& f, double a, double b) {
  const double g = (std::sqrt(5.0) - 1.0) / 2.0;
  double x1 = b - g * (b - a), x2 = a + g * (b - a);
  double f1 = f(x1), f2 = f(x2);
  while (b - a > 1e-3) {
    if (f1 <= f2) {
      b = x2, x2 = x1, f2 = f1;
      x1 = b - g * (b - a), f1 = f(x1);
    } else {
      a = x1, x1 = x2, f1 = f2;
      x2 = a + g * (b - a), f2 = f(x2);
    }
  }
  return f1 <= f2 ? x1 : x2;
}

// The lowest (or highest) SCALING of the whole scan whose criterion lies at
// or below level, found by bisection to 1e-3 between the outermost scan
// point at or below and its neighbour outside. When no scan point on that
// side of the best lies at or below (a range narrower than the scan's step),
// the end lies between the best and the next scan point beyond it; the best
// itself when it is the end of the scan.
double allowed_end(FitOfScaling& f, std::vector<double> const& scan, double best, double level, bool low) {
  int n = static_cast<int>(scan.size());
  int i = low ? 0 : n - 1, step = low ? 1 : -1;
  while (i >= 0 && i < n && f(scan[i]) > level) i += step;
  double inside, out;
  if (i >= 0 && i < n && (low ? scan[i] <= best : scan[i] >= best)) {
    if (i - step < 0 || i - step >= n) return scan[i];
    inside = scan[i], out = scan[i - step];
  } else {
    int j = low ? n - 1 : 0;
    while (j >= 0 && j < n && (low ? scan[j] >= best : scan[j] <= best)) j -= step;
    if (j < 0 || j >= n) return best;
    inside = best, out = scan[j];
  }
  while (std::fabs(out - inside) > 1e-3) {
    double mid = 0.5 * (inside + out);
    (f(mid) <= level ? inside : out) = mid;
  }
  return 0.5 * (inside + out);
}

}  // namespace

ScalingProfile fit_scaling(Paar const& model, SolverFit (*fit)(Paar const&), double watch) {
  ScalingProfile p;
  FitOfScaling f(model, fit, watch);
  double lo = kScalingMin, hi = kScalingMax;
  p.scan_lo = lo, p.scan_hi = hi;
  int n = std::max(2, static_cast<int>(std::ceil((hi - lo) / kScalingScanStep - 1e-9)));
  std::vector<double> scan(n + 1);
  size_t k = 0;
  for (int i = 0; i <= n; i++) {
    scan[i] = lo + (hi - lo) * i / n;
    if (f(scan[i]) < f(scan[k])) k = i;
  }
  if (!std::isfinite(f(scan[k]))) return p;
  p.best = golden_section(f, scan[k > 0 ? k - 1 : 0], scan[std::min(k + 1, scan.size() - 1)]);
  if (f(scan[k]) < f(p.best)) p.best = scan[k];
  p.chi2 = f.at(p.best).chi2;
  p.aic = f(p.best);
  p.lo1 = allowed_end(f, scan, p.best, margin_level(p.aic, 1.0), true);
  p.hi1 = allowed_end(f, scan, p.best, margin_level(p.aic, 1.0), false);
  p.lo4 = allowed_end(f, scan, p.best, margin_level(p.aic, 4.0), true);
  p.hi4 = allowed_end(f, scan, p.best, margin_level(p.aic, 4.0), false);
  p.at_scan_end = p.best < lo + kScalingAtEnd || p.best > hi - kScalingAtEnd;
  p.points = f.points();
  p.fits = static_cast<int>(p.points.size());
  p.fitted = interrupt_signal() == 0;
  return p;
}
