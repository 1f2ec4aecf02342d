#include "tests/gsl_reference_evaluation.h"

#include <cmath>

#include <gsl/gsl_blas.h>

double calc_state_gsl_reference(Paar& p) {
  // P_j = exp(sum_i lambda_i K_ij) / Z and the curve K P.
  gsl_blas_dgemv(CblasTrans, 1.0, p.setup->transform_data, p.lagrange, 0.0, p.scratch_exponent);
  for (size_t j = 0; j < p.scratch_exponent->size; j++)
    gsl_vector_set(p.scratch_weights, j, std::exp(gsl_vector_get(p.scratch_exponent, j)));
  double z = 0.0;
  gsl_blas_ddot(p.scratch_weights, p.setup->ones_grid, &z), gsl_vector_memcpy(p.distribution, p.scratch_weights);
  gsl_vector_scale(p.distribution, 1.0 / z);
  gsl_blas_dgemv(CblasNoTrans, 1.0, p.setup->transform_data, p.distribution, 0.0, p.fit_to_data);
  // Scaled to the dephasable share.
  gsl_vector_scale(p.fit_to_data, p.scaling), gsl_vector_add_constant(p.fit_to_data, 1.0 - p.scaling);
  // Residual against the data less the prescribed share.
  gsl_vector_memcpy(p.residual, p.data), gsl_blas_daxpy(-p.scaling, p.setup->fit_adjust, p.residual);
  gsl_vector_scale(p.residual, 1.0 / (1.0 - p.setup->total_adjust_density));
  gsl_blas_daxpy(-1.0, p.fit_to_data, p.residual), gsl_vector_scale(p.residual, -1.0);
  // Mean residual and chi2.
  double sum = 0.0;
  gsl_blas_ddot(p.residual, p.setup->ones_data, &sum), p.avgdev = sum * (1.0 / p.setup->n_data);
  gsl_vector_memcpy(p.scratch_weighted, p.residual), gsl_vector_div(p.scratch_weighted, p.setup->data_error);
  double norm = gsl_blas_dnrm2(p.scratch_weighted);
  p.chi2 = norm * norm;
  return p.chi2;
}
