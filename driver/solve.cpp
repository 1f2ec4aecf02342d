#include "driver/solve.h"

#include <cmath>
#include <functional>

#include "numeric/interrupt.h"
#include "output/atomic_file.h"
#include "solver/annealing/annealing_run.h"
#include "solver/gaussians/gaussians_run.h"
#include "solver/maxent/maxent_run.h"
#include "solver/scaling/scaling_fit.h"
#include "solver/scaling/scaling_trap.h"

namespace {

using WriteHook = std::function<void(Paar&)>;

// Every solver family: its fit, handed back as a value that the model
// adopts, and its uncertainty estimate around the adopted fit.
struct SolverFamily {
  char const* name;
  SolverFit (*fit)(Paar const& model);
  McStatus (*estimate)(Paar& model, SolverFit& fit, WriteHook const& write_results);
};

const SolverFamily kSolvers[] = {
    {"annealing", annealing_fit, annealing_estimate},
    {"maxent", maxent_fit, maxent_estimate},
    {"gaussians", gaussians_fit, gaussians_estimate},
};

// SCALING fitted with the distribution: the model takes the best SCALING
// (it keeps its own when no fit succeeded).
void fit_model_scaling(Paar& model, SolverFamily const& family, double watch) {
  double s0 = model.scaling;
  model.report().both(format("Fitting SCALING with the distribution, from SCALING %.4g\n", s0));
  ScalingProfile p = fit_scaling(model, family.fit, watch);
  model.results.scaling_fit = p;
  if (p.fitted) model.scaling = p.best;
  model.report().log() << format("SCALING fitted by %d %s fits: %.4f (chi2 %.4f)\n", p.fits, family.name,
                                 p.best, p.chi2);
}

}  // namespace

bool results_finite(Paar& m) {
  bool ok = std::isfinite(m.chi2);
  for (int j = 0; j < m.setup->n_grid; j++) ok = ok && std::isfinite(gsl_vector_get(m.distribution, j));
  for (auto const* v : {&m.results.distance_moments, &m.results.coupling_moments})
    for (int k = 0; k < 4; k++) ok = ok && (std::isfinite((*v)[k]) || (k >= 2 && std::isnan((*v)[k])));
  if (!ok) {
    m.report().out() << "error: the fit's chi2, distribution or moments are not finite numbers; "
                        "check the data and the grid\n";
    m.report().log() << "error: the fit's chi2, distribution or moments are not finite numbers\n";
  }
  return ok;
}

SolveOutcome solve(Paar& model, std::string const& solver, void (*write_results)(Paar&), bool fit_scaling) {
  SolveOutcome o;
  SolverFamily const* family = nullptr;
  for (SolverFamily const& f : kSolvers)
    if (solver == f.name) family = &f;
  if (!family) return o;
  double watch = watch_full_cycle(model);
  if (fit_scaling) fit_model_scaling(model, *family, watch);
  SolverFit fit = family->fit(model);
  model.results.output_failed = model.results.output_failed || fit.output_failed;
  if (!fit.ok) {
    model.results.solver_failed = true;
    return o;
  }
  model.adopt(fit);
  for (std::string const& w : fit.warnings) {  // standard output, the log and the summary
    model.report().warn(w);
    model.report().log() << w << "\n";
  }
  model.calc_dist_stats();
  model.results.figure_labels = fit.figure_labels;
  o.fitted = true;
  o.finite = results_finite(model);
  // The annealing's SCALING profile would take hours: maxent stands in for it.
  if (o.finite && interrupt_signal() == 0)
    check_scaling_trap(model, family->fit == annealing_fit ? maxent_fit : family->fit);
  if (model.setup->mode == "err" && o.finite && interrupt_signal() == 0)
    o.mc = family->estimate(model, fit, write_results);
  model.results.figure_labels = fit.figure_labels;
  model.results.details = fit.details;
  return o;
}
