#include "solver/gaussians/gaussians_run.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "model/gaussian_mixture.h"
#include "solver/gaussians/gaussians_report.h"

namespace {

// The kernel on the sub-grid of the last set-up asked (it depends on the
// set-up alone, not on SCALING): a profile over SCALING fits the same set-up
// many times.
FineKernel kept_fine_kernel(Paar const& model, FitProblem const& fp) {
  static thread_local std::weak_ptr<const RunSetup> last;
  static thread_local FineKernel kernel;
  if (kernel && !last.expired() && last.lock() == model.setup) return kernel;
  kernel = GaussianMixture(fp, model.setup->near, model.setup->far).fine_kernel();
  last = model.setup;
  return kernel;
}

}  // namespace

FitProblem gaussian_problem(Paar const& model) {
  FitProblem fp = model.fit_problem();
  // The sub-grid is fixed by NEAR and FAR: the mixture computes the kernel
  // there once, and it is kept.
  GaussianMixture gm(fp, model.setup->near, model.setup->far, kept_fine_kernel(model, fp));
  FineKernel cache = gm.fine_kernel();
  auto where = std::make_shared<std::vector<double>>(gm.fine_centres());
  auto compute = fp.kernel_at;
  fp.kernel_at = [cache, where, compute](std::vector<double> const& r, std::vector<double>& out) {
    if (r == *where)
      out = *cache;
    else
      compute(r, out);
  };
  return fp;
}

namespace {

// What the gaussians' estimate needs from the fit.
struct KeptMixture {
  FitProblem problem;
  MixtureSelection selection;
};

nlohmann::json component_json(GaussComponent const& g) {
  return {{"weight", g.weight}, {"centre", g.centre}, {"width", g.width},
          {"width_at_floor", g.width_at_floor}};
}

nlohmann::json mixture_json(MixtureSelection const& sel) {
  nlohmann::json models = nlohmann::json::array();
  for (MixtureFit const& f : sel.fits)
    models.push_back({{"k", f.k}, {"fitted", f.ok}, {"chi2", f.chi2}, {"aic", f.aic}});
  nlohmann::json comps = nlohmann::json::array();
  for (GaussComponent const& g : sel.fits[sel.chosen].comp) comps.push_back(component_json(g));
  return {{"models", models}, {"chosen_k", sel.fits[sel.chosen].k}, {"components", comps},
          {"width_floor_angstrom", kWidthFloor}, {"unit", "Angstrom"}};
}

std::vector<std::string> figure_labels(MixtureSelection const& sel) {
  std::vector<std::string> out;
  for (GaussComponent const& g : sel.fits[sel.chosen].comp) {
    char b[120];
    if (g.width_at_floor)
      std::snprintf(b, sizeof b, "%.2f at %.2f \u00c5 (width not determined)", g.weight, g.centre);
    else
      std::snprintf(b, sizeof b, "%.2f at %.2f \u00c5, width %.2f \u00c5", g.weight, g.centre, g.width);
    out.push_back(b);
  }
  return out;
}

void say_lines(Paar const& model, std::vector<std::string> const& lines) {
  for (std::string const& l : lines) model.report().both(l + "\n");
}

}  // namespace

SolverFit gaussians_fit(Paar const& model) {
  RunSetup const& s = *model.setup;
  model.report().log() << "Beginning Gaussian distance models: " << clock_text() << "\n";
  model.report().out() << "Beginning Gaussian distance models:\n";
  FitProblem fp = gaussian_problem(model);
  MixtureSelection sel = fit_gaussian_mixtures(fp, s.near, s.far);
  say_lines(model, gaussian_report_lines(sel, s.near, s.far));
  SolverFit fit;
  if (sel.chosen < 0) {
    fit.failure = "no mixture could be fitted";
    return fit;
  }
  fit.ok = true;
  fit.distribution = sel.grid_mass;
  // The mixture's own curve (from the sub-grid), before the scaling that
  // the evaluation applies.
  std::vector<double> plain;
  fitted_curve(fp, sel.grid_mass, plain);
  for (int i = 0; i < s.n_data; i++) {
    double sc = model.scaling;
    fit.curve.push_back(sc > 0 ? (sel.curve[i] - 1.0 + sc) / sc : (plain[i] - 1.0 + sc));
  }
  fit.details = mixture_json(sel);
  fit.figure_labels = figure_labels(sel);
  fit.kept = KeptMixture{fp, sel};
  return fit;
}

McStatus gaussians_estimate(Paar& model, SolverFit& fit,
                            std::function<void(Paar&)> const& write_results) {
  KeptMixture const& kept = std::any_cast<KeptMixture const&>(fit.kept);
  MixtureSelection const& sel = kept.selection;
  std::vector<ReplicateResult> accepted;
  double near = model.setup->near, far = model.setup->far;
  FineKernel kernel = GaussianMixture(kept.problem, near, far).fine_kernel();  // the fit's, no new values
  McStatus status =
      parametric_bootstrap(model, gaussian_replicate_solver(near, far, kernel), write_results, &accepted);
  MixtureSpread spread = mixture_spread(sel, accepted);
  say_lines(model, gaussian_bootstrap_lines(spread));
  // The figure's labels (UTF-8: the figure is drawn in UTF-8) with the bootstrap's spread of each component.
  if (spread.same_k >= 2)
    for (size_t c = 0; c < spread.mean.size() && c < fit.figure_labels.size(); c++) {
      char b[160];
      std::snprintf(b, sizeof b, "%.2f \u00b1 %.2f at %.2f \u00b1 %.2f \u00c5, width %.2f \u00b1 %.2f \u00c5",
                    sel.fits[sel.chosen].comp[c].weight, spread.sd[c].weight,
                    sel.fits[sel.chosen].comp[c].centre, spread.sd[c].centre,
                    sel.fits[sel.chosen].comp[c].width, spread.sd[c].width);
      fit.figure_labels[c] = b;
    }
  nlohmann::json comps = nlohmann::json::array();
  for (size_t c = 0; c < spread.mean.size(); c++)
    comps.push_back({{"mean", component_json(spread.mean[c])}, {"sd", component_json(spread.sd[c])}});
  fit.details["bootstrap"] = {{"replicates", spread.replicates},
                              {"chosen_k_counts", spread.chosen_k},
                              {"replicates_with_fit_k", spread.same_k},
                              {"components", comps}};
  return status;
}

ReplicateSolver gaussian_replicate_solver(double near, double far, FineKernel kernel) {
  return [near, far, kernel](FitProblem const& rep) {
    MixtureSelection sel = fit_gaussian_mixtures(rep, near, far, MixtureOptions{}, kernel);
    ReplicateResult out;
    out.ok = sel.chosen >= 0;
    if (!out.ok) return out;
    MixtureFit const& c = sel.fits[sel.chosen];
    out.chi2 = c.chi2;
    out.distribution = sel.grid_mass;
    out.extra.push_back(c.k);
    for (GaussComponent const& g : c.comp) out.extra.insert(out.extra.end(), {g.weight, g.centre, g.width});
    return out;
  };
}

MixtureSpread mixture_spread(MixtureSelection const& fit,
                             std::vector<ReplicateResult> const& accepted) {
  MixtureSpread s;
  s.chosen_k.assign(3, 0);
  int k = fit.chosen >= 0 ? fit.fits[fit.chosen].k : 0;
  std::vector<std::vector<double>> same;
  for (ReplicateResult const& r : accepted) {
    int rk = static_cast<int>(r.extra[0]);
    s.replicates++;
    if (rk >= 1 && rk <= 3) s.chosen_k[rk - 1]++;
    if (rk == k) same.push_back(r.extra);
  }
  s.same_k = static_cast<int>(same.size());
  s.mean.assign(k, GaussComponent());
  s.sd.assign(k, GaussComponent());
  if (same.empty()) return s;
  for (int c = 0; c < k; c++) {
    double* m[3] = {&s.mean[c].weight, &s.mean[c].centre, &s.mean[c].width};
    double* d[3] = {&s.sd[c].weight, &s.sd[c].centre, &s.sd[c].width};
    for (int q = 0; q < 3; q++) {
      double sum = 0.0, sum2 = 0.0;
      for (auto const& e : same) sum += e[1 + 3 * c + q];
      double mean = sum / same.size();
      for (auto const& e : same) sum2 += (e[1 + 3 * c + q] - mean) * (e[1 + 3 * c + q] - mean);
      *m[q] = mean;
      *d[q] = same.size() > 1 ? std::sqrt(sum2 / (same.size() - 1)) : 0.0;
    }
  }
  return s;
}
