// Copies of the model for the solver, the moves of evaluation state between
// them, and the release of what each object owns.
#include <utility>

#include "model/paar.h"

#include "numeric/numeric.h"

namespace {

void free_vector(gsl_vector*& v) {
  if (v) gsl_vector_free(v);
  v = nullptr;
}
void free_matrix(gsl_matrix*& m) {
  if (m) gsl_matrix_free(m);
  m = nullptr;
}
gsl_vector* clone(gsl_vector const* v) {
  gsl_vector* c = gsl_vector_alloc(v->size);
  gsl_vector_memcpy(c, v);
  return c;
}

}  // namespace

Paar::Paar(Paar const& src) : RunParams(src), log() {
  n_grid = src.n_grid;
  n_data = src.n_data;
  n_adj = src.n_adj;
  n_cycles = src.n_cycles;
  dipolar_constant = src.dipolar_constant;
  chi2 = src.chi2;
  avgdev = src.avgdev;
  scaling = src.scaling;
  total_adjust_density = src.total_adjust_density;

  cycles = src.cycles;
  data_s0 = src.data_s0;
  data_s = src.data_s;
  data_error = src.data_error;
  distances = src.distances;
  smooth_adjust = src.smooth_adjust;
  fit_adjust = src.fit_adjust;
  smooth_fit = src.smooth_fit;
  transform_data = src.transform_data;
  transform_cycles = src.transform_cycles;
  log_default_model = src.log_default_model;

  data = clone(src.data);
  fit_to_data = clone(src.fit_to_data);
  residual = clone(src.residual);
  distribution = clone(src.distribution);
  lagrange = clone(src.lagrange);
  alloc_scratch();
  owner = false;
}

int Paar::copy_min(Paar const& other) {
  chi2 = other.chi2;
  avgdev = other.avgdev;
  scaling = other.scaling;
  total_adjust_density = other.total_adjust_density;
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
  std::swap(total_adjust_density, other.total_adjust_density);
  std::swap(lagrange, other.lagrange);
  std::swap(fit_to_data, other.fit_to_data);
  std::swap(residual, other.residual);
  std::swap(data, other.data);
  std::swap(distribution, other.distribution);
}

void Paar::free_working() {
  free_vector(lagrange);
  free_vector(fit_to_data);
  free_vector(residual);
  free_vector(data);
  free_vector(distribution);
  free_vector(scratch_exponent);
  free_vector(scratch_weights);
  free_vector(ones_grid);
  free_vector(ones_data);
  free_vector(scratch_weighted);
}

Paar::~Paar() {
  if (log.is_open()) {
    timestamp = std::time(nullptr);
    char const* s = std::ctime(&timestamp);
    log << "time: " << (s ? s : "(time unknown)\n") << std::endl;
    log.flush();
    log.close();
  }
  free_working();
  if (!owner) return;
  // The primary object goes last: every copy sharing these parts is gone.
  free_vector(log_default_model);
  free_vector(given_fit);
  free_matrix(transform_data);
  free_matrix(transform_cycles);
  free_matrix(transform_adjust);
  free_vector(adj_density);
  free_vector(adj_distances);
  free_vector(smooth_fit);
  free_vector(distances);
  free_vector(dipolar_couplings);
  free_vector(cycles);
  free_vector(data_s);
  free_vector(data_s0);
  free_vector(data_error);
  free_vector(smooth_adjust);
  free_vector(fit_adjust);
  free_vector(mc_average);
  free_vector(mc_average_err);
  free_vector(mc_stdev);
  free_vector(mc_stdev_err);
}
