#include "assessment/peak_simplex.h"

#include "numeric/kernel_dots.h"

double fine_mass_chi2(GaussianMixture const& gm, std::vector<double> const& kernel, std::vector<double> const& mass) {
  FitProblem const& fp = gm.problem();
  thread_local std::vector<double> k;
  k.resize(fp.n_data);
  kernel_dots(kernel.data(), fp.n_data, mass.data(), 0, static_cast<int>(mass.size()), k.data());
  double c2 = 0.0;
  for (int i = 0; i < fp.n_data; i++) {
    double res = (fp.scaling * k[i] + 1.0 - fp.scaling - fp.target[i]) / fp.sigma[i];
    c2 += res * res;
  }
  return c2;
}

template <size_t N>
double simplex(gsl_multimin_function& f, std::array<double, N>& x, std::array<double, N> const& step) {
  gsl_multimin_fminimizer* s = gsl_multimin_fminimizer_alloc(gsl_multimin_fminimizer_nmsimplex2, N);
  gsl_vector* xv = gsl_vector_alloc(N);
  gsl_vector* sv = gsl_vector_alloc(N);
  for (size_t k = 0; k < N; k++) gsl_vector_set(xv, k, x[k]), gsl_vector_set(sv, k, step[k]);
  gsl_multimin_fminimizer_set(s, &f, xv, sv);
  for (int it = 0; it < 400; it++) {
    if (gsl_multimin_fminimizer_iterate(s) != GSL_SUCCESS) break;
    if (gsl_multimin_test_size(gsl_multimin_fminimizer_size(s), 1e-6) == GSL_SUCCESS) break;
  }
  double c2 = gsl_multimin_fminimizer_minimum(s);
  for (size_t k = 0; k < N; k++) x[k] = gsl_vector_get(gsl_multimin_fminimizer_x(s), k);
  gsl_vector_free(sv);
  gsl_vector_free(xv);
  gsl_multimin_fminimizer_free(s);
  return c2;
}

template double simplex<2>(gsl_multimin_function&, std::array<double, 2>&, std::array<double, 2> const&);
template double simplex<3>(gsl_multimin_function&, std::array<double, 3>&, std::array<double, 3> const&);
