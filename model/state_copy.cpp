// The solver state sized for a set-up, the model made of its parts, and the
// moves of evaluation state between copies.
#include <utility>

#include "model/paar.h"

SolverState::SolverState(RunSetup const& s)
    : data(s.measured),
      lagrange(s.n_data),
      distribution(s.n_grid),
      fit_to_data(s.n_data),
      residual(s.n_data),
      smooth_fit(s.n_cycles),
      scaling(s.scaling_a),
      scratch_exponent(s.n_grid),
      scratch_weights(s.n_grid),
      scratch_weighted(s.n_data) {}

Paar::Paar(std::shared_ptr<const RunSetup> s, Report& rep)
    : SolverState(*s), setup(std::move(s)), report_(&rep) {
  int n = setup->n_grid;
  results.mc.average = GslVec(n);
  results.mc.average_err = GslVec(n);
  results.mc.stdev = GslVec(n);
  results.mc.stdev_err = GslVec(n);
}

int Paar::copy_min(Paar const& other) {
  chi2 = other.chi2;
  avgdev = other.avgdev;
  scaling = other.scaling;
  gsl_vector_memcpy(lagrange, other.lagrange);
  gsl_vector_memcpy(fit_to_data, other.fit_to_data);
  gsl_vector_memcpy(residual, other.residual);
  gsl_vector_memcpy(data, other.data);
  gsl_vector_memcpy(distribution, other.distribution);
  return 1;
}

void Paar::take_multipliers(Paar const& other) { gsl_vector_memcpy(lagrange, other.lagrange); }

void Paar::swap_state(Paar& other) {
  std::swap(chi2, other.chi2);
  std::swap(avgdev, other.avgdev);
  std::swap(scaling, other.scaling);
  swap(lagrange, other.lagrange);
  swap(fit_to_data, other.fit_to_data);
  swap(residual, other.residual);
  swap(data, other.data);
  swap(distribution, other.distribution);
}

namespace {

GslVec vector_of(std::vector<double> const& v) {
  GslVec g(v.size());
  for (size_t i = 0; i < v.size(); i++) gsl_vector_set(g, i, v[i]);
  return g;
}

}  // namespace

void Paar::adopt(SolverFit const& fit) {
  if (!fit.distribution.empty()) {
    // A parametric solver's distribution and curve, as the solver left them.
    for (int j = 0; j < setup->n_grid; j++) gsl_vector_set(distribution, j, fit.distribution[j]);
    fixed_curve = vector_of(fit.curve);
  } else {
    log_default_model = vector_of(fit.log_default_model);
    for (int i = 0; i < setup->n_data; i++) gsl_vector_set(lagrange, i, fit.multipliers[i]);
  }
  calc_state_dataonly_nosim();
}
