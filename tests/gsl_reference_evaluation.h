// The evaluation of the multipliers written entirely with GSL BLAS calls, the
// plain form of the model's fast evaluation: the tests check that both give
// the same bits, the benchmarks time them side by side.
#ifndef REDORDIST_TESTS_GSL_REFERENCE_EVALUATION_H
#define REDORDIST_TESTS_GSL_REFERENCE_EVALUATION_H

#include "model/paar.h"

// Distribution, fitted curve at the data points, residual, avgdev and chi2
// of p's multipliers, as calc_state_dataonly_nosim leaves them; returns chi2.
double calc_state_gsl_reference(Paar& p);

#endif
