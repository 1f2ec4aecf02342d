#include "driver/study_shared.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "model/run_setup.h"
#include "numeric/report.h"
#include "solver/gaussians/gaussian_fit.h"
#include "solver/maxent/maxent.h"
#include "solver/maxent/maxent_run.h"
#include "solver/scaling/scaling_fit.h"

namespace {

using json = nlohmann::json;

// One curve's rows with its SCALING s taken into the target and errors, so
// that the stacked problem has SCALING 1 and the same chi2:
// (s k p + 1 - s - y) / sigma = (k p - (y - 1 + s) / s) / (sigma / s).
// The kernel at other distances (the Gaussians' sub-grid) stacks the same way.
void append_curve(FitProblem const& c, FitProblem& all) {
  double s = c.scaling;
  all.kernel.insert(all.kernel.end(), c.kernel.begin(), c.kernel.end());
  for (int i = 0; i < c.n_data; i++) {
    all.target.push_back((c.target[i] - 1.0 + s) / s);
    all.sigma.push_back(c.sigma[i] / s);
  }
  all.n_data += c.n_data;
  all.n_grid = c.n_grid;
  all.distance = c.distance;
  auto before = all.kernel_at;
  auto mine = c.kernel_at;
  all.kernel_at = [before, mine](std::vector<double> const& r, std::vector<double>& out) {
    std::vector<double> rows;
    if (before) before(r, out);
    else out.clear();
    mine(r, rows);
    out.insert(out.end(), rows.begin(), rows.end());
  };
}

// The curve's set-up as its single run builds it (kept: the problem's
// kernel at other distances reads it).
std::shared_ptr<RunSetup> curve_setup(RunInputs const& in) {
  auto setup = std::make_shared<RunSetup>(in);
  setup->write_traces = false;
  Report quiet(nullptr);
  setup->build_transforms(quiet);
  return setup;
}

// The stacked problem by maximum entropy: the distribution, the fitted
// curve and the parameters the data determine (G).
bool solve_maxent_shared(FitProblem const& all, SharedFit& f, std::vector<double>& fitted) {
  MaxentResult r = solve_maxent(all, tapered_uniform_model(all.distance, kDefaultModelTaper), MaxentOptions());
  if (!r.ok) {
    f.failure = "maximum entropy failed on the shared fit: " + r.failure;
    return false;
  }
  f.p = r.p, f.alpha = r.alpha, f.g = r.G, fitted = r.fitted;
  return true;
}

// The stacked problem by one to three Gaussians (their number by AIC): 3k - 1
// parameters.
bool solve_gaussians_shared(FitProblem const& all, SharedFit& f, std::vector<double>& fitted) {
  MixtureSelection sel = fit_gaussian_mixtures(all, all.distance.front(), all.distance.back());
  if (sel.chosen < 0) {
    f.failure = "no mixture of Gaussians could be fitted to the curves together";
    return false;
  }
  MixtureFit const& m = sel.fits[sel.chosen];
  f.p = sel.grid_mass, f.g = GaussianMixture::n_params(m.k), f.components = m.comp, fitted = sel.curve;
  return true;
}

}  // namespace

SharedFit fit_shared(StudyInputs const& st, std::vector<StudyRow> const& rows, std::string const& solver) {
  SharedFit f;
  f.solver = solver;
  FitProblem all;
  std::vector<std::shared_ptr<RunSetup>> setups;
  for (size_t c = 0; c < rows.size(); c++) {
    double chi2 = summary_number(rows[c].summary, "/chi2");
    nlohmann::json const* details = rows[c].summary.is_object() && rows[c].summary.contains("solver_details")
                                        ? &rows[c].summary["solver_details"] : nullptr;
    double g = details ? fit_parameters(*details) : -1.0;
    if (rows[c].status != 0 || !(g >= 0) || !(chi2 >= 0)) continue;
    setups.push_back(curve_setup(st.curves[c].inputs));
    FitProblem one = setups.back()->fit_problem(setups.back()->measured, setups.back()->scaling_a);
    if (!(one.scaling > 0)) continue;
    append_curve(one, all);
    f.curves.push_back(rows[c].curve);
    f.points.push_back(one.n_data);
    f.separate_chi2.push_back(chi2);
    f.separate_g.push_back(g);
  }
  if (f.curves.size() < 2) {
    f.failure = "the shared fit needs at least two curves fitted on their own";
    return f;
  }
  std::vector<double> fitted;
  if (!(solver == "gaussians" ? solve_gaussians_shared(all, f, fitted) : solve_maxent_shared(all, f, fitted))) return f;
  f.distance = all.distance;
  f.aic_shared = 2.0 * f.g;
  double worst = -HUGE_VAL;
  for (size_t c = 0, i0 = 0; c < f.curves.size(); i0 += f.points[c++]) {
    double chi2 = 0.0;
    for (size_t i = i0; i < i0 + f.points[c]; i++) chi2 += std::pow((fitted[i] - all.target[i]) / all.sigma[i], 2);
    f.chi2.push_back(chi2);
    f.chi2_total += chi2;
    f.aic_separate += f.separate_chi2[c] + 2.0 * f.separate_g[c];
    if (chi2 - f.separate_chi2[c] > worst) worst = chi2 - f.separate_chi2[c], f.disagrees_most = f.curves[c];
  }
  f.aic_shared += f.chi2_total;
  return f;
}

std::string shared_warning(SharedFit const& f) {
  if (!f.failure.empty() || f.aic_shared - f.aic_separate < 10.0) return "";
  char b[400];
  std::snprintf(b, sizeof b,
                "warning: the curves do not share one distribution: the shared fit's AIC %.1f is %.1f above the "
                "separate fits' %.1f; curve %s disagrees most",
                f.aic_shared, f.aic_shared - f.aic_separate, f.aic_separate, f.disagrees_most.c_str());
  return b;
}

json shared_json(SharedFit const& f) {
  if (!f.failure.empty()) return {{"failure", f.failure}};
  json curves = json::array();
  for (size_t c = 0; c < f.curves.size(); c++)
    curves.push_back({{"curve", f.curves[c]}, {"points", f.points[c]}, {"chi2_shared", f.chi2[c]},
                      {"chi2_separate", f.separate_chi2[c]}, {"G_separate", f.separate_g[c]}});
  json dist = json::array();
  for (size_t j = 0; j < f.p.size(); j++) dist.push_back({{"distance", f.distance[j]}, {"fraction", f.p[j]}});
  std::string w = shared_warning(f);
  json out = {{"solver", f.solver}, {"alpha", f.alpha}, {"G", f.g}, {"chi2", f.chi2_total},
              {"aic_shared", f.aic_shared}, {"aic_separate", f.aic_separate},
              {"delta_aic", f.aic_shared - f.aic_separate}, {"disagrees_most", f.disagrees_most},
              {"warning", w.empty() ? json(nullptr) : json(w)}, {"curves", curves}, {"distribution", dist}};
  if (f.solver != "gaussians") return out;
  out.erase("alpha"), out.erase("G");
  out["parameters"] = f.g;
  json comps = json::array();
  for (GaussComponent const& g : f.components)
    comps.push_back({{"weight", g.weight}, {"centre", g.centre}, {"width", g.width}});
  out["components"] = comps;
  return out;
}
