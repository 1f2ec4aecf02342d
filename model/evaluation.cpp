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
  RunSetup const& s = *p.setup;
  gsl_blas_dgemv(CblasTrans, 1.0, s.transform_data, p.lagrange, 0.0, p.scratch_exponent);
  if (p.log_default_model) gsl_vector_add(p.scratch_exponent, p.log_default_model);
  for (size_t j = 0; j < p.scratch_exponent->size; j++)
    gsl_vector_set(p.scratch_weights, j, std::exp(gsl_vector_get(p.scratch_exponent, j)));
  double z = 0.0;
  gsl_blas_ddot(p.scratch_weights, s.ones_grid, &z);
  gsl_vector_memcpy(p.distribution, p.scratch_weights);
  gsl_vector_scale(p.distribution, 1.0 / z);
  gsl_blas_dgemv(CblasNoTrans, 1.0, s.transform_data, p.distribution, 0.0, p.fit_to_data);
}

void scale_curve(gsl_vector* v, double scaling) {
  gsl_vector_scale(v, scaling);
  gsl_vector_add_constant(v, 1.0 - scaling);
}

void adjusted_residual(Paar& p) {
  gsl_vector_memcpy(p.residual, p.data);
  gsl_blas_daxpy(-p.scaling, p.setup->fit_adjust, p.residual);
  gsl_vector_scale(p.residual, 1.0 / (1.0 - p.setup->total_adjust_density));
  gsl_blas_daxpy(-1.0, p.fit_to_data, p.residual);
  gsl_vector_scale(p.residual, -1.0);
}

double merit(Paar& p) {
  double sum = 0.0;
  gsl_blas_ddot(p.residual, p.setup->ones_data, &sum);
  p.avgdev = sum * (1.0 / p.setup->n_data);
  gsl_vector_memcpy(p.scratch_weighted, p.residual);
  gsl_vector_div(p.scratch_weighted, p.setup->data_error);
  double norm = gsl_blas_dnrm2(p.scratch_weighted);
  p.chi2 = norm * norm;
  return p.chi2;
}

bool unit_stride(gsl_vector const* v, size_t n) { return v && v->stride == 1 && v->size == n; }

// The two matrix-vector products of the evaluation on the raw arrays. The
// GSL routine (row-major data matrix K, alpha 1, beta 0) zeroes y and then
//   transposed:  for each row i with lambda_i != 0, y_j += lambda_i * K_ij
//   plain:       y_i = 0 + (sum over j in order of x_j * K_ij, from 0)
// These do exactly those operations in exactly that order for every element,
// so every bit is the same; they only drop the stride and index arithmetic
// and keep eight independent sums going side by side (eight columns of the
// transposed product, eight rows of the plain one; then pairs, then single
// ones for what is left), which is what lets the processor overlap the
// additions.
// (The sums are spelled out one by one: the compiler keeps named sums in
// registers, where an array of sums would go through memory.)
void exponent_direct(double const* K, int nd, int ng, double const* lam, double* t) {
  size_t n = static_cast<size_t>(ng);
  int j = 0;
  for (; j + 8 <= ng; j += 8) {
    double a0 = 0.0, a1 = 0.0, a2 = 0.0, a3 = 0.0, a4 = 0.0, a5 = 0.0, a6 = 0.0, a7 = 0.0;
    double const* k = K + j;
    for (int i = 0; i < nd; i++, k += n) {
      double l = lam[i];
      if (l != 0.0) {
        a0 += l * k[0];
        a1 += l * k[1];
        a2 += l * k[2];
        a3 += l * k[3];
        a4 += l * k[4];
        a5 += l * k[5];
        a6 += l * k[6];
        a7 += l * k[7];
      }
    }
    t[j] = a0;
    t[j + 1] = a1;
    t[j + 2] = a2;
    t[j + 3] = a3;
    t[j + 4] = a4;
    t[j + 5] = a5;
    t[j + 6] = a6;
    t[j + 7] = a7;
  }
  for (; j + 2 <= ng; j += 2) {
    double a0 = 0.0, a1 = 0.0;
    double const* k = K + j;
    for (int i = 0; i < nd; i++, k += n) {
      double l = lam[i];
      if (l != 0.0) {
        a0 += l * k[0];
        a1 += l * k[1];
      }
    }
    t[j] = a0;
    t[j + 1] = a1;
  }
  for (; j < ng; j++) {
    double a0 = 0.0;
    double const* k = K + j;
    for (int i = 0; i < nd; i++, k += n) {
      double l = lam[i];
      if (l != 0.0) a0 += l * k[0];
    }
    t[j] = a0;
  }
}

void curve_direct(double const* K, int nd, int ng, double const* x, double* y) {
  size_t n = static_cast<size_t>(ng);
  int i = 0;
  for (; i + 8 <= nd; i += 8) {
    double const* k0 = K + i * n;
    double const *k1 = k0 + n, *k2 = k1 + n, *k3 = k2 + n, *k4 = k3 + n, *k5 = k4 + n,
                 *k6 = k5 + n, *k7 = k6 + n;
    double a0 = 0.0, a1 = 0.0, a2 = 0.0, a3 = 0.0, a4 = 0.0, a5 = 0.0, a6 = 0.0, a7 = 0.0;
    for (int j = 0; j < ng; j++) {
      double xj = x[j];
      a0 += xj * k0[j];
      a1 += xj * k1[j];
      a2 += xj * k2[j];
      a3 += xj * k3[j];
      a4 += xj * k4[j];
      a5 += xj * k5[j];
      a6 += xj * k6[j];
      a7 += xj * k7[j];
    }
    y[i] = 0.0 + a0;
    y[i + 1] = 0.0 + a1;
    y[i + 2] = 0.0 + a2;
    y[i + 3] = 0.0 + a3;
    y[i + 4] = 0.0 + a4;
    y[i + 5] = 0.0 + a5;
    y[i + 6] = 0.0 + a6;
    y[i + 7] = 0.0 + a7;
  }
  for (; i + 2 <= nd; i += 2) {
    double const* k0 = K + i * n;
    double const* k1 = k0 + n;
    double a0 = 0.0, a1 = 0.0;
    for (int j = 0; j < ng; j++) {
      a0 += x[j] * k0[j];
      a1 += x[j] * k1[j];
    }
    y[i] = 0.0 + a0;
    y[i + 1] = 0.0 + a1;
  }
  for (; i < nd; i++) {
    double const* k0 = K + i * n;
    double a0 = 0.0;
    for (int j = 0; j < ng; j++) a0 += x[j] * k0[j];
    y[i] = 0.0 + a0;
  }
}

// max_entropy on the raw arrays. Z is the GSL dot product with the ones, a
// plain sum in grid order from 0 (w_j * 1 is w_j), formed here as the
// weights come; the distribution is w_j times 1/Z, as the GSL scaling does
// it. The steps on the data-point vectors that follow stay GSL calls.
void max_entropy_direct(Paar& p) {
  int nd = p.setup->n_data, ng = p.setup->n_grid;
  double const* K = p.setup->transform_data->data;
  double* t = p.scratch_exponent->data;
  double* w = p.scratch_weights->data;
  double* dist = p.distribution->data;
  exponent_direct(K, nd, ng, p.lagrange->data, t);
  if (p.log_default_model)
    for (int j = 0; j < ng; j++) t[j] += p.log_default_model->data[j];
  double z = 0.0;
  for (int j = 0; j < ng; j++) {
    w[j] = std::exp(t[j]);
    z += w[j];
  }
  double inv = 1.0 / z;
  for (int j = 0; j < ng; j++) dist[j] = w[j] * inv;
  curve_direct(K, nd, ng, dist, p.fit_to_data->data);
}

// The raw-array path needs plain contiguous storage of the expected sizes.
bool direct_ok(Paar const& p) {
  size_t nd = static_cast<size_t>(p.setup->n_data), ng = static_cast<size_t>(p.setup->n_grid);
  gsl_matrix const* K = p.setup->transform_data;
  return nd > 0 && ng > 0 && K && K->size1 == nd && K->size2 == ng && K->tda == ng &&
         unit_stride(p.lagrange, nd) && unit_stride(p.fit_to_data, nd) &&
         unit_stride(p.scratch_exponent, ng) && unit_stride(p.scratch_weights, ng) &&
         unit_stride(p.distribution, ng) &&
         (!p.log_default_model || unit_stride(p.log_default_model, ng));
}

// Distribution and unscaled fit at the data points: the raw-array products
// where the storage allows them, else the GSL calls (the same bits).
void distribution_and_fit(Paar& p) {
  if (p.fixed_curve) {
    gsl_vector_memcpy(p.fit_to_data, p.fixed_curve);
    return;
  }
  if (direct_ok(p))
    max_entropy_direct(p);
  else
    max_entropy(p);
}

// Scaled fit at the data points, residual, mean residual and chi2.
double data_merit(Paar& p) {
  scale_curve(p.fit_to_data, p.scaling);
  adjusted_residual(p);
  return merit(p);
}

}  // namespace

double Paar::calc_state_dataonly_nosim() {
  distribution_and_fit(*this);
  return data_merit(*this);
}

double Paar::calc_state() {
  RunSetup const& s = *setup;
  if (s.mode == "sim") {
    // The curves of the prescribed distribution alone; the data are not
    // adjusted and the distribution is left as it is.
    gsl_vector_memcpy(fit_to_data, s.fit_adjust);
    scale_curve(fit_to_data, scaling);
    gsl_vector_memcpy(smooth_fit, s.smooth_adjust);
    scale_curve(smooth_fit, scaling);
    gsl_vector_memcpy(residual, fit_to_data);
    gsl_blas_daxpy(-1.0, data, residual);
    return merit(*this);
  }
  distribution_and_fit(*this);
  gsl_blas_dgemv(CblasNoTrans, 1.0, s.transform_cycles, distribution, 0.0, smooth_fit);
  scale_curve(smooth_fit, scaling);
  return data_merit(*this);
}
