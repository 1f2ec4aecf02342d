// Small numeric helpers shared by every layer: GSL accessors, diagnostics,
// and the vector and random-number routines of the Monte Carlo error estimate.
#ifndef REDORDIST_NUMERIC_NUMERIC_H
#define REDORDIST_NUMERIC_NUMERIC_H

#include <gsl/gsl_matrix.h>
#include <gsl/gsl_rng.h>
#include <gsl/gsl_vector.h>

inline double gvg(gsl_vector const* v, int i) { return gsl_vector_get(v, i); }
inline double gmg(gsl_matrix const* m, int i, int j) { return gsl_matrix_get(m, i, j); }

// Raises every element to the power p; a non-finite result of a value above
// -1e-12 becomes 0 (overflow, root of a rounding remainder). A value still not
// finite ends the process with "NAN".
int _gv_pow(gsl_vector* v, double p);

// Element-wise sample standard deviation of n values from their sum and sum
// of squares: sqrt((n*sumsq - sum^2) / (n*(n-1))). scratch is overwritten.
void _gv_stdev(gsl_vector* out, gsl_vector const* sum, gsl_vector const* sumsq, int n,
               gsl_vector* scratch);

// Approximately normal deviate of mean 0 and standard deviation sigma: the sum
// of twelve uniform draws minus 6, times sigma. Always consumes twelve draws.
double _grandom_sigma(gsl_rng const* r, double sigma);

// sum_j x_j y_j over [from, to) with two running sums side by side (even and
// odd j, the last odd-count term joining the first), which lets the additions
// overlap; the same bits on every run.
inline double dot_two_sums(double const* x, double const* y, int from, int to) {
  double s0 = 0.0, s1 = 0.0;
  int j = from;
  for (; j + 1 < to; j += 2) {
    s0 += x[j] * y[j];
    s1 += x[j + 1] * y[j + 1];
  }
  if (j < to) s0 += x[j] * y[j];
  return s0 + s1;
}

#endif
