// Evaluation of the current multipliers: the maximum-entropy distribution
// P_j = exp(sum_i lambda_i K_ij) / Z, the fitted curve, the residuals and chi2.
#include <cmath>
#include <cstring>

#include <gsl/gsl_blas.h>

#include "model/paar.h"

namespace {

// Distribution, fitted curve at the data points (scaled), residual against
// the data less the prescribed share, mean residual and chi2.
void max_entropy(Paar& p) {
  gsl_blas_dgemv(CblasTrans, 1.0, p.transform_data, p.lagrange, 0.0, p.scratch_exponent);
  for (size_t j = 0; j < p.scratch_exponent->size; j++)
    gsl_vector_set(p.scratch_weights, j, std::exp(gsl_vector_get(p.scratch_exponent, j)));
  double z = 0.0;
  gsl_blas_ddot(p.scratch_weights, p.ones_grid, &z);
  gsl_vector_memcpy(p.distribution, p.scratch_weights);
  gsl_vector_scale(p.distribution, 1.0 / z);
  gsl_blas_dgemv(CblasNoTrans, 1.0, p.transform_data, p.distribution, 0.0, p.fit_to_data);
}

void scale_curve(gsl_vector* v, double scaling) {
  gsl_vector_scale(v, scaling);
  gsl_vector_add_constant(v, 1.0 - scaling);
}

void adjusted_residual(Paar& p) {
  gsl_vector_memcpy(p.residual, p.data);
  gsl_blas_daxpy(-p.scaling, p.fit_adjust, p.residual);
  gsl_vector_scale(p.residual, 1.0 / (1.0 - p.total_adjust_density));
  gsl_blas_daxpy(-1.0, p.fit_to_data, p.residual);
  gsl_vector_scale(p.residual, -1.0);
}

double merit(Paar& p) {
  double sum = 0.0;
  gsl_blas_ddot(p.residual, p.ones_data, &sum);
  p.avgdev = sum * (1.0 / p.n_data);
  gsl_vector_memcpy(p.scratch_weighted, p.residual);
  gsl_vector_div(p.scratch_weighted, p.data_error);
  double norm = gsl_blas_dnrm2(p.scratch_weighted);
  p.chi2 = norm * norm;
  return p.chi2;
}

}  // namespace

double Paar::calc_state_dataonly_nosim() {
  max_entropy(*this);
  scale_curve(fit_to_data, scaling);
  adjusted_residual(*this);
  return merit(*this);
}

double Paar::calc_state() {
  if (mode == "sim") {
    // The curves of the prescribed distribution alone; the data are not
    // adjusted and the distribution is left as it is.
    gsl_vector_memcpy(fit_to_data, fit_adjust);
    scale_curve(fit_to_data, scaling);
    gsl_vector_memcpy(smooth_fit, smooth_adjust);
    scale_curve(smooth_fit, scaling);
    gsl_vector_memcpy(residual, fit_to_data);
    gsl_blas_daxpy(-1.0, data, residual);
    return merit(*this);
  }
  max_entropy(*this);
  gsl_blas_dgemv(CblasNoTrans, 1.0, transform_cycles, distribution, 0.0, smooth_fit);
  scale_curve(fit_to_data, scaling);
  scale_curve(smooth_fit, scaling);
  adjusted_residual(*this);
  return merit(*this);
}
