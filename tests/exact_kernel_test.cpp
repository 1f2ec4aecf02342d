// The closed-form powder-averaged REDOR curve against tabulated values and
// against the powder average done by quadrature.
#include <gsl/gsl_integration.h>
#include <gsl/gsl_sf_bessel.h>
#include <gtest/gtest.h>

#include <cmath>

#include "model/exact_kernel.h"

// (1/2) int_0^pi sin(b) J0(a sin 2b) db with a = 4 sqrt(2) lambda_D: the
// average of cos(a sin 2b sin g) over the sphere, the g average being J0.
static double powder_quadrature(double lambda_d) {
  double a = 4.0 * std::sqrt(2.0) * lambda_d;
  auto integrand = [](double b, void* p) {
    return std::sin(b) * gsl_sf_bessel_J0(*static_cast<double*>(p) * std::sin(2.0 * b));
  };
  gsl_function f{integrand, &a};
  gsl_integration_workspace* w = gsl_integration_workspace_alloc(4000);
  double value = 0.0, err = 0.0;
  gsl_integration_qag(&f, 0.0, M_PI, 1e-13, 0.0, 4000, GSL_INTEG_GAUSS61, w, &value, &err);
  gsl_integration_workspace_free(w);
  return 0.5 * value;
}

TEST(ExactKernel, MatchesTabulatedValues) {
  // Independent values given to ten decimals: half a unit in the last place.
  struct { double lambda, value; } cases[] = {
      {0.0, 1.0}, {0.25, 0.7575780804}, {0.5, 0.2716559048}, {1.0, 0.0087956314}, {2.0, -0.0157321081}};
  for (auto const& c : cases) EXPECT_NEAR(redor_exact(c.lambda), c.value, 5e-11) << c.lambda;
}

TEST(ExactKernel, MatchesPowderQuadrature) {
  // Both sides of the switch from series to Bessel functions (x = 1 at
  // lambda_D = 0.35355), and far out where the curve oscillates about 0.
  // Adaptive Gauss-Kronrod at 1e-13 absolute (GSL refuses tighter: its own rounding) plus a few ulps of summation.
  for (double lambda : {1e-6, 0.05, 0.2, 0.3535, 0.3536, 0.7, 1.3, 3.0, 10.0, 27.5, 50.0})
    EXPECT_NEAR(redor_exact(lambda), powder_quadrature(lambda), 1e-12) << lambda;
}

