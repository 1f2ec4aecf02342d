// The REDOR kernel: powder average, interpolation in a universal dephasing
// curve, and the reading of that curve.
#include <gsl/gsl_sf_bessel.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <sstream>
#include <string>

#include "model/paar.h"
#include "tests/test_support.h"

namespace {

double program_powder(int P, double mas, double mid_pulse_us, double coupling, int j) {
  Paar p{Paar::Blank{}};
  p.per_2pi = P, p.mas = mas, p.mid_pulse = mid_pulse_us;
  return p.kernel_powder(p.powder_tables(), j, coupling);
}

// Exact powder average of cos(a sin 2beta sin gamma): the gamma average is
// J0(a sin 2beta); the beta average, (1/2) int_0^pi sin(beta) J0(..) dbeta, by
// Simpson's rule on 4000 panels (error ~ h^4, far below 1e-10).
double analytic_powder(double a) {
  const int n = 4000;
  double h = M_PI / n, s = 0.0;
  for (int i = 0; i <= n; i++)
    s += (i == 0 || i == n ? 1 : i % 2 ? 4 : 2) * std::sin(i * h) *
         gsl_sf_bessel_J0(a * std::sin(2.0 * i * h));
  return 0.5 * s * h / 3.0;
}

TEST(PowderKernel, AgreesWithDirectEvaluationAndAnalyticLimit) {
  struct { int P; double mas, mid, D; int j; } cases[] = {
      {36, 5000, 0, 196.0, 3}, {37, 5000, 0, 1000.0, 7},  // odd P: P/2 polar steps
      {100, 10000, 0, 1000.0, 5}, {24, 8000, 12.5, 382.8, 11},
      {6, 5000, 25, 2000.0, 7}};  // few steps: the mid-pulse phase shows in the sum
  // Same terms summed with differently rounded sines: P^2/2 terms of size
  // <= 1 give rounding differences of a few 1e-14.
  for (auto const& c : cases)
    EXPECT_NEAR(program_powder(c.P, c.mas, c.mid, c.D, c.j),
                testsupport::powder_reference(c.P, c.mas, c.mid, c.D, c.j), 1e-12) << c.P;
  EXPECT_GT(std::fabs(program_powder(6, 5000, 25, 2000.0, 7) -
                      program_powder(6, 5000, 0, 2000.0, 7)), 1e-3);

  // a = 4 sqrt(2) j D / MAS with D = 1000 Hz, MAS 10000 Hz.
  for (int j : {2, 5, 10}) {
    double exact = analytic_powder(4.0 * std::sqrt(2.0) * j / 10.0);
    double coarse = program_powder(200, 10000, 0, 1000.0, j) - exact;
    double fine = program_powder(2000, 10000, 0, 1000.0, j) - exact;
    // The beta sum is a Riemann sum of a function vanishing at 0 and pi:
    // error about 3.3 / P^2 (8e-5 at P = 200, 8e-7 at P = 2000).
    EXPECT_LT(std::fabs(fine), 2e-6) << j;
    EXPECT_GT(std::fabs(coarse), 50 * std::fabs(fine)) << j;
  }
}

TEST(InterpolatedKernel, ExactHitsInterpolationAndEnd) {
  DephasingCurve c{{0.0, 0.5, 1.0}, {1.0, 0.8, 0.4}};
  // Within 1e-12 of a tabulated lambda_D (the last one included, even
  // slightly beyond it) the tabulated value itself; elsewhere linear
  // interpolation with one rounding. (Beyond the curve: construction tests.)
  const double cases[][2] = {{0.0, 1.0},  {0.5 + 1e-13, 0.8}, {1.0 + 5e-13, 0.4},
                             {0.75, 0.6}, {0.25, 0.9},        {0.9, 0.48}};
  for (auto const& x : cases) EXPECT_NEAR(kernel_interpolate(c, x[0]), x[1], 1e-15) << x[0];
}

TEST(DephasingCurveFileDeathTest, ReadingAndRefusals) {
  Paar p{Paar::Blank{}};
  p.lambda_d_file = "curve.dat";
  // A start within 1e-12 of 0 is accepted; a point at lambda_max is the last read.
  std::istringstream in("# lambda S/S0\n1e-13 1.0\n\n0.5 0.8\n \t\n1.0 0.4\n1.5 0.2\n");
  testing::internal::CaptureStdout();
  DephasingCurve c = p.read_dephasing_curve(in, 1.0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "reading matrix values from file\nSize of input universal dephasing vector: 3\n");
  EXPECT_EQ(c.lambda, (std::vector<double>{1e-13, 0.5, 1.0}));
  EXPECT_EQ(c.signal, (std::vector<double>{1.0, 0.8, 0.4}));

  struct { char const* text; double lambda_max; char const* re; } cases[] = {
      {"0.5 0.8\n1.0 0.4\n", 0.2, ": no point of the curve lies at or below lambda_D 0\\.2\n$"},
      {"# c\n0.1 0.99\n0.5 0.8\n", 1.0, " line 2: the curve must start at lambda_D 0\n$"},
      {"0 1\n0.5 0.8\n0.5 0.7\n", 1.0, " line 3: lambda_D values must strictly ascend\n$"},
      {"0 1\n0.5 0.8\n\n0.3 0.9\n", 1.0, " line 4: lambda_D values must strictly ascend\n$"}};
  for (auto const& k : cases) {
    std::istringstream bad(k.text);
    // The message goes to standard output; death tests match standard error.
    EXPECT_EXIT({ dup2(2, 1); p.read_dephasing_curve(bad, k.lambda_max); },
                testing::ExitedWithCode(1),
                std::string("^reading matrix values from file\ncurve\\.dat") + k.re);
  }
}

}  // namespace
