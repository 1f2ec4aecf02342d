#include "driver/solve.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <vector>

#include <gsl/gsl_errno.h>

#include "numeric/interrupt.h"
#include "output/gaussian_report.h"
#include "solver/annealing/boltzmann_me.h"
#include "solver/uncertainty/bootstrap.h"
#include "solver/gaussians/gaussian_mixture.h"
#include "solver/gaussians/gaussians_run.h"
#include "solver/maxent/maxent_run.h"

namespace {

// A fit whose chi2, distribution or moments are not finite is no result.
bool results_finite(Paar& m) {
  bool ok = std::isfinite(m.chi2);
  for (int j = 0; j < m.n_grid; j++) ok = ok && std::isfinite(gsl_vector_get(m.distribution, j));
  for (double v : m.distance_moments) ok = ok && std::isfinite(v);
  for (double v : m.coupling_moments) ok = ok && std::isfinite(v);
  if (!ok) {
    std::cout << "error: the fit's chi2, distribution or moments are not finite numbers; "
                 "check the data and the grid\n";
    m.log << "error: the fit's chi2, distribution or moments are not finite numbers\n";
  }
  return ok;
}

void say_lines(Paar& m, std::vector<std::string> const& lines) {
  for (std::string const& l : lines) {
    m.log << l << "\n";
    std::cout << l << "\n";
  }
}

bool may_estimate(Paar const& m, SolveOutcome const& o) {
  return m.mode == "err" && o.finite && interrupt_signal() == 0;
}

void annealing(Paar& model, SolveOutcome& o, void (*write_results)(Paar&)) {
  BoltzmannME bme(model);
  bme.Lagrange_siman(model);
  if (!model.calc_dist_stats()) std::cout << "stats calc failed\n";
  o.fitted = true;
  o.finite = results_finite(model);
  if (!may_estimate(model, o)) return;
  bme.write_results = write_results;
  o.mc = bme.MC_error(model);
}

void maxent(Paar& model, SolveOutcome& o, void (*write_results)(Paar&)) {
  MaxentResult fit = maxent_fit(model);
  if (!fit.ok) return;
  model.calc_dist_stats();
  o.fitted = true;
  o.finite = results_finite(model);
  o.details = {{"alpha", fit.alpha}, {"G", fit.G}, {"entropy", fit.entropy},
               {"default_model_taper_angstrom", kDefaultModelTaper}};
  if (!may_estimate(model, o)) return;
  o.mc = parametric_bootstrap(model, maxent_replicate_solver(model, fit), write_results, nullptr);
}

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
      std::snprintf(b, sizeof b, "%.2f at %.2f A (width not resolved)", g.weight, g.centre);
    else
      std::snprintf(b, sizeof b, "%.2f at %.2f A, width %.2f A", g.weight, g.centre, g.width);
    out.push_back(b);
  }
  return out;
}

void gaussians(Paar& model, SolveOutcome& o, void (*write_results)(Paar&)) {
  model.timestamp = std::time(nullptr);
  model.log << "Beginning Gaussian distance models: " << std::ctime(&model.timestamp) << "\n";
  std::cout << "Beginning Gaussian distance models:\n";
  FitProblem fp = gaussian_problem(model);
  MixtureSelection sel = gaussian_fit(model, fp);
  say_lines(model, gaussian_report_lines(sel, model.near, model.far));
  if (sel.chosen < 0) return;
  model.calc_dist_stats();
  model.figure_labels = figure_labels(sel);
  o.fitted = true;
  o.finite = results_finite(model);
  o.details = mixture_json(sel);
  if (!may_estimate(model, o)) return;
  std::vector<ReplicateResult> accepted;
  // The fits switch GSL's aborting error handler off while they run; with
  // replicates on several threads it stays off for the whole bootstrap.
  gsl_error_handler_t* old = gsl_set_error_handler_off();
  o.mc = parametric_bootstrap(model, gaussian_replicate_solver(model, fp), write_results, &accepted);
  gsl_set_error_handler(old);
  MixtureSpread spread = mixture_spread(sel, accepted);
  say_lines(model, gaussian_bootstrap_lines(spread));
  // The figure's labels with the bootstrap's spread of each component.
  if (spread.same_k >= 2)
    for (size_t c = 0; c < spread.mean.size() && c < model.figure_labels.size(); c++) {
      char b[160];
      std::snprintf(b, sizeof b, "%.2f+-%.2f at %.2f+-%.2f A, width %.2f+-%.2f A",
                    sel.fits[sel.chosen].comp[c].weight, spread.sd[c].weight,
                    sel.fits[sel.chosen].comp[c].centre, spread.sd[c].centre,
                    sel.fits[sel.chosen].comp[c].width, spread.sd[c].width);
      model.figure_labels[c] = b;
    }
  nlohmann::json comps = nlohmann::json::array();
  for (size_t c = 0; c < spread.mean.size(); c++)
    comps.push_back({{"mean", component_json(spread.mean[c])}, {"sd", component_json(spread.sd[c])}});
  o.details["bootstrap"] = {{"replicates", spread.replicates},
                            {"chosen_k_counts", spread.chosen_k},
                            {"replicates_with_fit_k", spread.same_k},
                            {"components", comps}};
}

}  // namespace

SolveOutcome solve(Paar& model, std::string const& solver, void (*write_results)(Paar&)) {
  SolveOutcome o;
  o.mc = kMcDone;
  if (solver == "annealing") annealing(model, o, write_results);
  if (solver == "maxent") maxent(model, o, write_results);
  if (solver == "gaussians") gaussians(model, o, write_results);
  return o;
}
