#include "driver/shared_solvers.h"

#include <cmath>

#include "numeric/numeric.h"
#include "numeric/report.h"
#include "solver/annealing/annealing_run.h"
#include "solver/gaussians/gaussian_fit.h"
#include "solver/maxent/maxent.h"
#include "solver/maxent/maxent_run.h"

// One curve's rows with its SCALING s folded in:
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

namespace {

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

// A set-up whose data are the stacked rows: the first curve's parameters
// (grid, annealing schedule), every curve's kernel rows, cycles, target and
// errors, SCALING 1 (each curve's is in its rows) and no prescribed share
// (each curve's is in its target already).
std::shared_ptr<RunSetup const> stacked_setup(FitProblem const& all,
                                              std::vector<std::shared_ptr<RunSetup>> const& setups) {
  auto s = std::make_shared<RunSetup>(*setups.front());
  size_t n = static_cast<size_t>(all.n_data), g = static_cast<size_t>(all.n_grid);
  s->write_traces = false;
  s->scaling_a = 1.0;
  s->n_data = all.n_data;
  s->n_adj = -1;
  s->total_adjust_density = 0.0;
  s->transform_data = GslMat(n, g);
  for (GslVec* v : {&s->cycles, &s->data_s0, &s->data_s, &s->measured, &s->data_error, &s->ones_data, &s->fit_adjust})
    *v = GslVec(n);
  for (size_t i = 0; i < n; i++) {
    for (size_t j = 0; j < g; j++) gsl_matrix_set(s->transform_data, i, j, all.kernel[i * g + j]);
    gsl_vector_set(s->measured, i, all.target[i]);
    gsl_vector_set(s->data_s, i, all.target[i]);
    gsl_vector_set(s->data_s0, i, 1.0);
    gsl_vector_set(s->data_error, i, all.sigma[i]);
    gsl_vector_set(s->ones_data, i, 1.0);
  }
  size_t i = 0;
  for (auto const& c : setups)
    for (int k = 0; k < c->n_data; k++) gsl_vector_set(s->cycles, i++, gvg(c->cycles, k));
  return s;
}

// The stacked problem by the annealing, with the parameter file's schedule.
// It counts no parameters: its multipliers are one per data point, shared
// or separate, so that shared against separate is chi2 against chi2.
bool solve_annealing_shared(FitProblem const& all, std::vector<std::shared_ptr<RunSetup>> const& setups,
                            SharedFit& f, std::vector<double>& fitted) {
  Paar m(stacked_setup(all, setups), Report::silent());
  SolverFit fit = annealing_fit(m);
  m.adopt(fit);
  if (!std::isfinite(m.chi2)) {
    f.failure = "the annealing found no finite chi2 for the curves together";
    return false;
  }
  f.p.assign(m.distribution->data, m.distribution->data + all.n_grid);
  f.g = 0.0;
  fitted.assign(m.fit_to_data->data, m.fit_to_data->data + all.n_data);
  return true;
}

}  // namespace

bool solve_stacked(std::string const& solver, FitProblem const& all,
                   std::vector<std::shared_ptr<RunSetup>> const& setups, SharedFit& f,
                   std::vector<double>& fitted) {
  if (solver == "gaussians") return solve_gaussians_shared(all, f, fitted);
  if (solver == "annealing") return solve_annealing_shared(all, setups, f, fitted);
  return solve_maxent_shared(all, f, fitted);
}
