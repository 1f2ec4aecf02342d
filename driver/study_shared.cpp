#include "driver/study_shared.h"

#include "driver/shared_solvers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>

#include "model/dephasing_cycle.h"
#include "model/effective_distance.h"
#include "model/goodness_of_fit.h"
#include "model/run_setup.h"
#include "numeric/format.h"
#include "numeric/interrupt.h"
#include "numeric/margin.h"
#include "numeric/report.h"
#include "solver/scaling/curve_scaling.h"
#include "solver/scaling/scaling_fit.h"
#include "solver/scaling/scaling_trap.h"

namespace {

using json = nlohmann::json;

// The curve's set-up as its single run builds it (kept: the problem's
// kernel at other distances reads it).
std::shared_ptr<RunSetup> curve_setup(RunInputs const& in) {
  auto setup = std::make_shared<RunSetup>(in);
  setup->write_traces = false;
  Report quiet(nullptr);
  setup->build_transforms(quiet);
  return setup;
}

// A curve's kernel at the distances last asked of it (the Gaussians'
// sub-grid): every fit of the stacked problem, at whatever SCALINGs, asks
// the same distances, and each value is a powder average.
struct KeptKernel {
  std::mutex lock;
  std::vector<double> r, values;
};

// The curves taken into the shared fit, with their SCALINGs to start from.
struct SharedCurves {
  std::vector<std::shared_ptr<RunSetup>> setups;
  std::vector<double> scaling;
  std::vector<std::shared_ptr<KeptKernel>> kept;  // one per curve
  void add(std::shared_ptr<RunSetup> setup, double s) {
    setups.push_back(std::move(setup)), scaling.push_back(s), kept.push_back(std::make_shared<KeptKernel>());
  }
  FitProblem stacked(std::vector<double> const& scaling) const {
    FitProblem all;
    for (size_t c = 0; c < setups.size(); c++) {
      FitProblem one = setups[c]->fit_problem(setups[c]->measured, scaling[c]);
      one.kernel_at = [compute = one.kernel_at, k = kept[c]](std::vector<double> const& r, std::vector<double>& out) {
        if (std::lock_guard<std::mutex> g(k->lock); r == k->r) return void(out = k->values);
        compute(r, out);
        std::lock_guard<std::mutex> g(k->lock);
        k->r = r, k->values = out;
      };
      append_curve(one, all);
    }
    return all;
  }
  // Curve c's SCALING with the stacked fitted curve m (rows from i0) held:
  // its weighted residual (s m_i + 1 - s - t_i(s)) / sigma_i is affine in s.
  CurveScaling best_scaling(size_t c, std::vector<double> const& m, size_t i0) const {
    FitProblem at0 = setups[c]->fit_problem(setups[c]->measured, 0.0), at1 = setups[c]->fit_problem(setups[c]->measured, 1.0);
    std::vector<double> u, v;
    for (int i = 0; i < at0.n_data; i++) {
      u.push_back((m[i0 + i] - 1.0 - at1.target[i] + at0.target[i]) / at0.sigma[i]);
      v.push_back((1.0 - at0.target[i]) / at0.sigma[i]);
    }
    return curve_scaling(u, v, kScalingMin, kScalingMax);
  }
};

// The longest distance any curve sees through a full dephasing cycle (NaN
// when no curve's kernel has a first minimum).
double longest_full_cycle(std::vector<std::shared_ptr<RunSetup>> const& setups) {
  double longest = NAN;
  for (auto const& u : setups) {
    double r = full_cycle_distance(*u, first_minimum_lambda(*u));
    if (std::isfinite(r) && !(r <= longest)) longest = r;
  }
  return longest;
}

// One fit of the stacked problem at the curves' SCALINGs: the distribution,
// the parameters, the chi2 by curve; false (f.failure set) when it failed.
bool fit_stacked(SharedCurves const& sc, std::vector<double> const& scaling, std::string const& solver, SharedFit& f,
                 std::vector<double>& fitted) {
  FitProblem all = sc.stacked(scaling);
  if (!solve_stacked(solver, all, sc.setups, f, fitted)) return false;
  f.distance = all.distance;
  f.scaling = scaling;
  f.chi2.clear(), f.chi2_total = 0.0;
  for (size_t c = 0, i0 = 0; c < f.points.size(); i0 += f.points[c++]) {
    double chi2 = 0.0;
    for (size_t i = i0; i < i0 + f.points[c]; i++) chi2 += std::pow((fitted[i] - all.target[i]) / all.sigma[i], 2);
    f.chi2.push_back(chi2);
    f.chi2_total += chi2;
  }
  return true;
}

// The criterion shared fits are compared by: chi2 + 2 G.
double criterion(SharedFit const& x) { return x.chi2_total + 2.0 * x.g; }

std::vector<double> scaled_by(std::vector<double> s, double k) {
  for (double& x : s) x *= k;
  return s;
}

// Each curve's SCALING fitted with the distribution f (whose stacked fitted
// curve is fitted): the distribution at the curves' SCALINGs, then each
// curve's SCALING at that distribution (closed form), in turn. A common
// factor of the SCALINGs trades against the distribution's share at long
// distances and its shape, a valley that plain alternation creeps along:
// each round then scales all SCALINGs by 1 +- d, d doubled while the
// criterion falls, halved when neither way lowers it. A move is taken only
// when it lowers the criterion (the maximum entropy's fit is not a
// least-squares one); the rounds end when one lowers it by less than 1e-6
// of itself.
void fit_scalings(SharedCurves const& sc, std::string const& solver, SharedFit& f, std::vector<double>& fitted) {
  std::vector<double> trial_fitted;
  auto improve = [&](std::vector<double> s) {
    for (double& x : s) x = std::clamp(x, kScalingMin, kScalingMax);
    SharedFit trial = f;
    if (s == f.scaling || !fit_stacked(sc, s, solver, trial, trial_fitted) || !(criterion(trial) < criterion(f)))
      return false;
    f = std::move(trial), fitted.swap(trial_fitted);
    return true;
  };
  double d = 0.02;
  while (f.rounds < kSharedRounds && interrupt_signal() == 0) {
    f.rounds++;
    double before = criterion(f);
    std::vector<double> step(f.scaling);
    for (size_t c = 0, i0 = 0; c < step.size(); i0 += f.points[c++]) step[c] = sc.best_scaling(c, fitted, i0).best;
    improve(step);
    double sign = improve(scaled_by(f.scaling, 1.0 + d)) ? 1.0 : improve(scaled_by(f.scaling, 1.0 - d)) ? -1.0 : 0.0;
    if (sign == 0.0) d = std::max(d / 2.0, 1e-4);
    else
      while (improve(scaled_by(f.scaling, 1.0 + sign * 2.0 * d))) d *= 2.0;
    if (!(criterion(f) < before - 1e-6 * before)) return;
    if (f.rounds == kSharedRounds && interrupt_signal() == 0) f.last_gain = before - criterion(f);
  }
}

// Curves whose SCALINGs were given and that do not share one distribution
// at them may share one at SCALINGs of their own (samples labelled to
// different degrees): each curve's SCALING fitted with the distribution,
// each counted as a parameter of that fit's AIC.
void check_own_scalings(SharedCurves const& sc, std::string const& solver, SharedFit& f,
                        std::vector<double> const& fitted) {
  SharedFit g = f;
  std::vector<double> g_fitted = fitted;
  g.rounds = 0;
  fit_scalings(sc, solver, g, g_fitted);
  if (interrupt_signal() != 0) return;
  double n = static_cast<double>(f.curves.size()), points = 0.0;
  for (int p : f.points) points += p;
  f.own_scaling.scaling = g.scaling;
  f.own_scaling.aic = criterion(g) + 2.0 * n;
  f.own_scaling.chi2 = g.chi2_total;
  if (points - g.g - n > 0) f.own_scaling.p_high = chi2_test(g.chi2_total, points - g.g - n).p_high;
}

// The SCALING trap of the shared fit f (SharedFit::Trap): lowest_factor()
// gives the lowest common factor of the SCALINGs the data allow, asked only
// when the share beyond the curves' full cycle calls for it; true when it
// was asked.
bool check_shared_trap(SharedCurves const& sc, std::string const& solver, SharedFit& f,
                       std::function<double()> const& lowest_factor) {
  SharedFit::Trap& t = f.trap;
  t.cycle_distance = longest_full_cycle(sc.setups);
  t.share = share_beyond(f.distance, f.p, t.cycle_distance, &t.at);
  t.peak = f.distance[std::max_element(f.p.begin(), f.p.end()) - f.p.begin()];
  if (!(t.share > kTrapShare) || interrupt_signal() != 0) return false;
  t.factor = lowest_factor();
  std::vector<double> scaling(f.scaling), fitted;
  for (double& x : scaling) x *= t.factor;
  SharedFit other = f;
  if (t.factor <= 1.0 - kScalingScanStep + 1e-9 && fit_stacked(sc, scaling, solver, other, fitted)) {
    t.found = true;
    t.other_share = share_beyond(other.distance, other.p, t.cycle_distance);
    t.other_peak = other.distance[std::max_element(other.p.begin(), other.p.end()) - other.p.begin()];
    t.other_effective = effective_distance(other.p.data(), other.distance.data(), other.p.size());
  }
  return true;
}

// Each curve's points and the shared fit there in the curve's own S/S0:
// the fitted share's curve s K p + 1 - s, times 1 - the prescribed share,
// plus s times the prescribed share's curve.
void curve_fits(SharedCurves const& sc, std::vector<double> const& fitted, SharedFit& f) {
  for (size_t c = 0, i0 = 0; c < sc.setups.size(); i0 += f.points[c++]) {
    RunSetup const& u = *sc.setups[c];
    double s = f.scaling[c];
    SharedFit::CurveFit cf;
    std::vector<double> weighted;
    for (int i = 0; i < u.n_data; i++) {
      double n_c = gsl_vector_get(u.cycles, i), y = gsl_vector_get(u.measured, i);
      double fit = (1.0 - u.total_adjust_density) * (s * fitted[i0 + i] + 1.0 - s) + s * gsl_vector_get(u.fit_adjust, i);
      cf.n_c.push_back(n_c), cf.time_ms.push_back(1000.0 * n_c / u.mas), cf.s_s0.push_back(y);
      cf.error.push_back(gsl_vector_get(u.data_error, i)), cf.fit.push_back(fit);
      weighted.push_back((y - fit) / gsl_vector_get(u.data_error, i));
    }
    cf.p_runs_few = runs_test(weighted).p_few;
    f.by_curve.push_back(cf);
  }
}

}  // namespace

SharedFit fit_shared(StudyInputs const& st, std::vector<StudyRow> const& rows, std::string const& solver,
                     bool fit_scaling) {
  SharedFit f;
  f.solver = solver;
  f.scaling_fitted = fit_scaling;
  SharedCurves sc;
  for (size_t c = 0; c < rows.size(); c++) {
    nlohmann::json const& s = rows[c].summary;
    double chi2 = summary_number(s, "/chi2");
    nlohmann::json const* details = s.is_object() && s.contains("solver_details") ? &s["solver_details"] : nullptr;
    // The annealing reports no parameter count: it counts none (see solve_stacked).
    double g = details ? fit_parameters(*details) : solver == "annealing" ? 0.0 : -1.0;
    if (rows[c].status != 0 || !(g >= 0) || !(chi2 >= 0)) continue;
    // A separate fit that fitted SCALING counts it as a parameter, and
    // starts the shared fit's SCALING of that curve.
    bool fitted = s.value("scaling_fitted", false);
    double scaling = fitted ? summary_number(s, "/scaling") : st.curves[c].inputs.params.scaling_a;
    if (!(scaling > 0)) continue;
    sc.add(curve_setup(st.curves[c].inputs), fit_scaling ? std::clamp(scaling, kScalingMin, kScalingMax) : scaling);
    f.curves.push_back(rows[c].curve);
    f.points.push_back(sc.setups.back()->n_data);
    f.separate_chi2.push_back(chi2);
    f.separate_g.push_back(g);
    f.separate_scaling.push_back(fitted ? scaling : NAN);
  }
  if (f.curves.size() < 2) {
    f.failure = "the shared fit needs at least two curves fitted on their own";
    return f;
  }
  std::vector<double> fitted, trial_fitted;
  if (!fit_stacked(sc, sc.scaling, solver, f, fitted)) return f;
  if (fit_scaling) fit_scalings(sc, solver, f, fitted);
  auto scaled = [&](double k) { return scaled_by(f.scaling, k); };
  // The common factor's bound on one side (sign -1: below, +1: above): all
  // SCALINGs scaled by k, the distribution refitted, the criterion within 4
  // of the best (bracketed by doubling steps from 2 %, then bisected to 0.5 %).
  double level = margin_level(criterion(f), 4.0);
  auto within = [&](double k) {
    SharedFit trial = f;
    std::vector<double> s = scaled(k);
    for (double x : s)
      if (x < kScalingMin || x > kScalingMax) return false;
    return fit_stacked(sc, s, solver, trial, trial_fitted) && criterion(trial) <= level;
  };
  auto factor_bound = [&](double sign) {
    double in = 0.0, out = 0.02;
    while (out < 2.0 && within(1.0 + sign * out)) in = out, out *= 2.0;
    while (out - in > 0.005 && interrupt_signal() == 0) (within(1.0 + sign * 0.5 * (in + out)) ? in : out) = 0.5 * (in + out);
    return 1.0 + sign * in;
  };
  if (fit_scaling) {
    f.factor_lo4 = factor_bound(-1.0), f.factor_hi4 = factor_bound(1.0);
    for (size_t c = 0, i0 = 0; c < sc.setups.size(); i0 += f.points[c++]) {
      CurveScaling r = sc.best_scaling(c, fitted, i0);
      f.scaling_lo4.push_back(r.lo4), f.scaling_hi4.push_back(r.hi4);
    }
  }
  curve_fits(sc, fitted, f);
  // The SCALING trap: its factor range is the one --fit-scaling found, or
  // searched below 1 alone (a lower SCALING is what imitates far mass).
  std::array<double, 2> factor = {0.0, 0.0};
  if (fit_scaling) factor = {f.factor_lo4, f.factor_hi4};
  if (check_shared_trap(sc, solver, f, [&] { return fit_scaling ? f.factor_lo4 : factor_bound(-1.0); }) && !fit_scaling)
    factor = {f.trap.factor, 1.0};
  SharedFit::Trap const& t = f.trap;
  f.together = t.found ? assess_stacked(sc.stacked(f.scaling), f.p, factor,
                                        t.clears() ? t.cycle_distance : INFINITY, t.other_effective)
                       : assess_stacked(sc.stacked(f.scaling), f.p, factor);
  double n_scaling = fit_scaling ? static_cast<double>(f.curves.size()) : 0.0;
  f.aic_shared = f.chi2_total + 2.0 * (f.g + n_scaling);
  f.aic_separate = 0.0;
  double worst = -HUGE_VAL;
  for (size_t c = 0; c < f.curves.size(); c++) {
    f.aic_separate += f.separate_chi2[c] + 2.0 * (f.separate_g[c] + (std::isnan(f.separate_scaling[c]) ? 0.0 : 1.0));
    if (f.chi2[c] - f.separate_chi2[c] > worst) worst = f.chi2[c] - f.separate_chi2[c], f.disagrees_most = f.curves[c];
  }
  if (!fit_scaling && f.aic_shared - f.aic_separate >= kNotShared) check_own_scalings(sc, solver, f, fitted);
  return f;
}

std::string shared_trap_warning(SharedFit const& f) {
  SharedFit::Trap const& t = f.trap;
  if (!f.failure.empty() || !t.found) return "";
  char why[300], b[900];
  std::snprintf(why, sizeof why,
                "where no curve sees a full dephasing cycle (S/S0's first minimum is reached by each curve's "
                "longest N_c only up to %.2f Angstrom), at %.2f Angstrom on average",
                t.cycle_distance, t.at);
  char const* advice = "measure longer dephasing, or fix SCALING from a reference sample";
  if (t.clears())
    std::snprintf(b, sizeof b,
                  "warning: %.0f %% of the shared distribution beyond %.2f Angstrom, or every curve's SCALING "
                  "times %.3f with a peak at %.2f Angstrom: these curves cannot tell them apart: the share lies %s; "
                  "times %.3f, "
                  "%.0f %% lies there; %s",
                  100.0 * t.share, t.cycle_distance, t.factor, t.other_peak, why, t.factor, 100.0 * t.other_share,
                  advice);
  else
    std::snprintf(b, sizeof b,
                  "warning: the curves' SCALINGs with a peak at %.2f Angstrom, or every SCALING times %.3f with a "
                  "peak at %.2f Angstrom: these curves cannot tell them apart: %.0f %% of the shared distribution "
                  "lies beyond %.2f Angstrom, %s; %s",
                  t.peak, t.factor, t.other_peak, 100.0 * t.share, t.cycle_distance, why, advice);
  return b;
}

std::string shared_rounds_warning(SharedFit const& f) {
  if (!f.failure.empty() || !f.scaling_fitted || !(f.last_gain >= kRoundsGainWarn)) return "";
  return format("warning: the SCALINGs fitted by curve stopped at the limit of %d rounds while the fit still "
                "improved (its criterion fell by %.2g in the last round): they may not be the best these curves "
                "allow; their ranges are taken around them",
                kSharedRounds, f.last_gain);
}

std::string shared_warning(SharedFit const& f) {
  if (!f.failure.empty() || f.aic_shared - f.aic_separate < kNotShared) return "";
  char b[400];
  std::snprintf(b, sizeof b,
                "warning: the curves do not share one distribution: the shared fit's AIC %.1f is %.1f above the "
                "separate fits' %.1f; curve %s disagrees most",
                f.aic_shared, f.aic_shared - f.aic_separate, f.aic_separate, f.disagrees_most.c_str());
  if (!f.own_scaling_shares()) return b;
  std::string fitted, given;
  for (size_t c = 0; c < f.curves.size(); c++) {
    fitted += (c ? ", " : "") + f.curves[c] + format(" %.2f", f.own_scaling.scaling[c]);
    given += format(c ? ", %.2f" : "%.2f", f.scaling[c]);
  }
  return b + format("; or their SCALINGs differ: with one fitted for each curve (%s; given %s) one distribution "
                    "explains them (AIC %.1f against the separate fits' %.1f): check each curve's dephasable share, "
                    "or use --fit-scaling",
                    fitted.c_str(), given.c_str(), f.own_scaling.aic, f.aic_separate);
}

json shared_json(SharedFit const& f) {
  if (!f.failure.empty()) return {{"failure", f.failure}};
  json curves = json::array();
  for (size_t c = 0; c < f.curves.size(); c++) {
    curves.push_back({{"curve", f.curves[c]}, {"points", f.points[c]}, {"chi2_shared", f.chi2[c]},
                      {"chi2_separate", f.separate_chi2[c]}, {"G_separate", f.separate_g[c]},
                      {"p_runs_few", f.by_curve[c].p_runs_few}, {"fit", f.by_curve[c].fit}});
    if (!f.scaling_fitted) continue;
    // Non-finite numbers have no JSON form: a SCALING not fitted alone is null.
    curves.back()["scaling"] = f.scaling[c];
    curves.back()["scaling_allowed"] = {f.scaling_lo4[c], f.scaling_hi4[c]};
    curves.back()["scaling_separate"] = f.separate_scaling[c];
  }
  json dist = json::array();
  for (size_t j = 0; j < f.p.size(); j++) dist.push_back({{"distance", f.distance[j]}, {"fraction", f.p[j]}});
  std::string w = shared_warning(f);
  json out = {{"solver", f.solver}, {"alpha", f.alpha}, {"G", f.g}, {"chi2", f.chi2_total},
              {"aic_shared", f.aic_shared}, {"aic_separate", f.aic_separate},
              {"delta_aic", f.aic_shared - f.aic_separate}, {"disagrees_most", f.disagrees_most},
              {"warning", w.empty() ? json(nullptr) : json(w)}, {"curves", curves}, {"distribution", dist}};
  if (std::isfinite(f.own_scaling.aic))
    out["own_scaling"] = {{"scaling", f.own_scaling.scaling}, {"aic", f.own_scaling.aic}, {"chi2", f.own_scaling.chi2},
                          {"p_high", std::isfinite(f.own_scaling.p_high) ? json(f.own_scaling.p_high) : json(nullptr)},
                          {"delta_aic", f.own_scaling.aic - f.aic_separate}, {"shares", f.own_scaling_shares()}};
  StackedAssessment const& t = f.together;
  if (t.width.computed) {
    WidthAllowed const& w = t.width;
    out["together"] = {{"mean", t.mean}, {"sd", t.sd}, {"effective_distance", t.effective},
                       {"mean_determined", t.mean_determined}, {"sd_determined", t.sd_determined},
                       {"effective_determined", t.effective_determined}, {"width_determined", t.width_determined},
                       {"one_gaussian_fits", t.one_gaussian_fits}, {"one_gaussian_chi2", w.best_chi2},
                       {"width_allowed", {w.width_lo, w.width_hi}}, {"centre_allowed", {w.centre_lo, w.centre_hi}},
                       {"mean_allowed", {w.mean_lo, w.mean_hi}}, {"sd_allowed", {w.sd_lo, w.sd_hi}},
                       {"effective_allowed", {w.effective_lo, w.effective_hi}}};
    json peaks = json::array();
    for (PeakInfo const& pk : t.peaks)
      peaks.push_back({{"position", pk.position}, {"share", pk.share}, {"supported", pk.supported}});
    out["together"]["peaks"] = peaks;
    out["together"]["supported_peaks"] = t.supported_peaks;
  }
  SharedFit::Trap const& trap = f.trap;
  if (trap.found)
    out["scaling_trap"] = {{"cycle_distance", trap.cycle_distance}, {"share_beyond", trap.share},
                           {"factor_allowed_lo", trap.factor},      {"other_share_beyond", trap.other_share},
                           {"other_peak", trap.other_peak},         {"warning", shared_trap_warning(f)}};
  if (f.scaling_fitted)
    out["scaling_fitted"] = true, out["rounds"] = f.rounds, out["scaling_factor_allowed"] = {f.factor_lo4, f.factor_hi4};
  if (f.scaling_fitted && std::isfinite(f.last_gain)) out["rounds_last_gain"] = f.last_gain;
  if (!shared_rounds_warning(f).empty()) out["rounds_warning"] = shared_rounds_warning(f);
  if (f.solver == "annealing") out.erase("alpha"), out.erase("G"), out["parameters"] = 0;
  if (f.solver != "gaussians") return out;
  out.erase("alpha"), out.erase("G");
  out["parameters"] = f.g;
  json comps = json::array();
  for (GaussComponent const& g : f.components)
    comps.push_back({{"weight", g.weight}, {"centre", g.centre}, {"width", g.width}});
  out["components"] = comps;
  return out;
}

std::string shared_csv(SharedFit const& f) {
  std::string out = "curve,n_c,time_ms,s_s0,error,fit,residual\n";
  char b[200];
  for (size_t c = 0; c < f.by_curve.size(); c++) {
    SharedFit::CurveFit const& cf = f.by_curve[c];
    for (size_t i = 0; i < cf.fit.size(); i++) {
      // An error the data did not give is 1 in the fit; written as 0, as in a run's curve table.
      double err = std::fabs(cf.error[i] - 1.0) < 1e-06 ? 0.0 : cf.error[i];
      std::snprintf(b, sizeof b, ",%.10g,%.10g,%.10g,%.10g,%.10g,%.10g\n", cf.n_c[i], cf.time_ms[i], cf.s_s0[i], err,
                    cf.fit[i], cf.s_s0[i] - cf.fit[i]);
      out += f.curves[c] + b;
    }
  }
  return out;
}
