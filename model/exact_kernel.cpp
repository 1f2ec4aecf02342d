// The closed form of the powder-averaged REDOR curve. For small arguments the
// Bessel route is 0 * inf at x = 0 and loses digits near it (Y_{1/4} grows
// like x^{-1/4}), so there the product J_{1/4} J_{-1/4} goes by its series:
//     (sqrt(2) pi / 4) J_{1/4}(x) J_{-1/4}(x) = 1F2(1/2; 3/4, 5/4; -x^2),
// the normalisation being 1 / (Gamma(5/4) Gamma(3/4)) = 4 / (sqrt(2) pi).
#include "model/exact_kernel.h"

#include <cmath>

#include <gsl/gsl_sf_bessel.h>

namespace {

// Below this x the series is used: its terms then fall at least fourfold per
// step from the first, so there is no cancellation and 30 terms reach 1e-17.
constexpr double kSeriesBelow = 1.0;

double series(double x) {
  double x2 = x * x, term = 1.0, sum = 1.0;
  for (int k = 0; k < 40; k++) {
    term *= -(k + 0.5) * x2 / ((k + 0.75) * (k + 1.25) * (k + 1.0));
    sum += term;
    if (std::fabs(term) < 1e-18) break;
  }
  return sum;
}

}  // namespace

double redor_exact(double lambda_d) {
  double x = 2.0 * std::sqrt(2.0) * std::fabs(lambda_d);
  if (x < kSeriesBelow) return series(x);
  const double nu = 0.25;
  double jp = gsl_sf_bessel_Jnu(nu, x);
  // J_{-nu} = cos(nu pi) J_nu - sin(nu pi) Y_nu; for nu = 1/4 both are 1/sqrt(2).
  double jm = M_SQRT1_2 * (jp - gsl_sf_bessel_Ynu(nu, x));
  return M_SQRT2 * M_PI / 4.0 * jp * jm;
}
