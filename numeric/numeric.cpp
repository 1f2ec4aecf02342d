#include "numeric/numeric.h"

#include <cmath>

#include "numeric/fatal.h"

int _gv_pow(gsl_vector* v, double p) {
  for (size_t i = 0; i < v->size; i++) {
    double x = gsl_vector_get(v, i);
    double r = std::pow(x, p);
    if (std::isfinite(r)) {
      gsl_vector_set(v, i, r);
    } else if (x > -1e-12) {
      gsl_vector_set(v, i, 0.0);
    } else {
      gsl_vector_set(v, i, r);
    }
    if (!std::isfinite(gsl_vector_get(v, i))) fatal_exit("NAN\n", 1);
  }
  return 0;
}

void _gv_stdev(gsl_vector* out, gsl_vector const* sum, gsl_vector const* sumsq, int n,
               gsl_vector* scratch) {
  gsl_vector_memcpy(scratch, sum);
  _gv_pow(scratch, 2);
  gsl_vector_scale(scratch, -1.0);
  gsl_vector_memcpy(out, sumsq);
  gsl_vector_scale(out, n);
  gsl_vector_add(out, scratch);
  gsl_vector_scale(out, 1.0 / (n * (n - 1.0)));
  _gv_pow(out, 0.5);
}

double _grandom_sigma(gsl_rng const* r, double sigma) {
  double s = 0.0;
  for (int i = 0; i < 12; i++) s += gsl_rng_uniform(r);
  return (s - 6.0) * sigma;
}
