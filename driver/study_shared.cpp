#include "driver/study_shared.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "model/run_setup.h"
#include "numeric/report.h"
#include "solver/maxent/maxent.h"
#include "solver/maxent/maxent_run.h"

namespace {

using json = nlohmann::json;

// One curve's rows with its SCALING s taken into the target and errors, so
// that the stacked problem has SCALING 1 and the same chi2:
// (s k p + 1 - s - y) / sigma = (k p - (y - 1 + s) / s) / (sigma / s).
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
}

// The curve's problem as its single run poses it to maxent.
FitProblem curve_problem(RunInputs const& in) {
  auto setup = std::make_shared<RunSetup>(in);
  setup->write_traces = false;
  Report quiet(nullptr);
  setup->build_transforms(quiet);
  return setup->fit_problem(setup->measured, setup->scaling_a);
}

}  // namespace

SharedFit fit_shared(StudyInputs const& st, std::vector<StudyRow> const& rows) {
  SharedFit f;
  FitProblem all;
  for (size_t c = 0; c < rows.size(); c++) {
    double g = summary_number(rows[c].summary, "/solver_details/G"), chi2 = summary_number(rows[c].summary, "/chi2");
    if (rows[c].status != 0 || !(g >= 0) || !(chi2 >= 0)) continue;
    FitProblem one = curve_problem(st.curves[c].inputs);
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
  MaxentResult r = solve_maxent(all, tapered_uniform_model(all.distance, kDefaultModelTaper), MaxentOptions());
  if (!r.ok) {
    f.failure = "maximum entropy failed on the shared fit: " + r.failure;
    return f;
  }
  f.distance = all.distance, f.p = r.p, f.alpha = r.alpha, f.g = r.G;
  f.aic_shared = 2.0 * r.G;
  double worst = -HUGE_VAL;
  for (size_t c = 0, i0 = 0; c < f.curves.size(); i0 += f.points[c++]) {
    double chi2 = 0.0;
    for (size_t i = i0; i < i0 + f.points[c]; i++) chi2 += std::pow((r.fitted[i] - all.target[i]) / all.sigma[i], 2);
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
  return {{"solver", "maxent"}, {"alpha", f.alpha}, {"G", f.g}, {"chi2", f.chi2_total}, {"aic_shared", f.aic_shared},
          {"aic_separate", f.aic_separate}, {"delta_aic", f.aic_shared - f.aic_separate},
          {"disagrees_most", f.disagrees_most}, {"warning", w.empty() ? json(nullptr) : json(w)},
          {"curves", curves}, {"distribution", dist}};
}
