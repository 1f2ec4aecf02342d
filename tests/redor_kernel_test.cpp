// The REDOR kernel: powder average, interpolation in a universal dephasing
// curve, and the reading of that curve.
#include <gsl/gsl_sf_bessel.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <sstream>
#include <string>

#include "model/paar.h"

namespace {

// The message goes to standard output; death tests match standard error.
#define EXPECT_REFUSED(stmt, re) EXPECT_EXIT({ dup2(2, 1); stmt; }, ::testing::ExitedWithCode(1), re)

// Powder average written out directly: beta = k*step over [0, pi) weighted by
// sin(beta), gamma = m*step + phase over a full turn, normalised with the
// program's 3.141593 / P^2. Every sine is evaluated in place.
double reference_powder(int P, double mas, double mid_pulse_us, double coupling, int j) {
  const double turn = 6.28318530718, step = turn / P;
  const double phase = turn * (mid_pulse_us * 1e-6) * mas;  // fraction of a rotor period
  double amp = 4.0 * std::sqrt(2.0) * (j * coupling / mas), total = 0.0;
  for (int k = 0; k < P / 2; k++)
    for (int m = 0; m < P; m++)
      total += std::sin(k * step) * std::cos(amp * std::sin(2.0 * k * step) * std::sin(m * step + phase));
  return total * 3.141593 / P / P;
}

double program_powder(int P, double mas, double mid_pulse_us, double coupling, int j) {
  Paar p{Paar::Blank{}};
  p.per_2pi = P;
  p.mas = mas;
  p.mid_pulse = mid_pulse_us;
  return p.kernel_powder(p.powder_tables(), j, coupling);
}

// Exact powder average of cos(a sin 2beta sin gamma): the gamma average is
// J0(a sin 2beta); the beta average, (1/2) int_0^pi sin(beta) J0(..) dbeta, by
// Simpson's rule on 4000 panels (error ~ h^4, far below 1e-10).
double analytic_powder(double a) {
  const int n = 4000;
  double h = M_PI / n, s = 0.0;
  for (int i = 0; i <= n; i++) {
    double w = (i == 0 || i == n) ? 1.0 : (i % 2 ? 4.0 : 2.0);
    s += w * std::sin(i * h) * gsl_sf_bessel_J0(a * std::sin(2.0 * i * h));
  }
  return 0.5 * s * h / 3.0;
}

TEST(PowderKernel, AgreesWithDirectEvaluation) {
  struct { int P; double mas, mid, D; int j; } cases[] = {
      {36, 5000, 0, 196.0, 3}, {37, 5000, 0, 1000.0, 7},  // odd P: P/2 polar steps
      {100, 10000, 0, 1000.0, 5}, {24, 8000, 12.5, 382.8, 11},
      {6, 5000, 25, 2000.0, 7}};  // few steps: the mid-pulse phase shows in the sum
  for (auto const& c : cases) {
    double ref = reference_powder(c.P, c.mas, c.mid, c.D, c.j);
    // Same terms summed with differently rounded sines: P^2/2 terms of size
    // <= 1 give rounding differences of a few 1e-14.
    EXPECT_NEAR(program_powder(c.P, c.mas, c.mid, c.D, c.j), ref, 1e-12) << "P " << c.P;
  }
  // With P = 6 the phase matters, so the last case checks it.
  EXPECT_GT(std::fabs(reference_powder(6, 5000, 25, 2000.0, 7) - reference_powder(6, 5000, 0, 2000.0, 7)),
            1e-3);
}

TEST(PowderKernel, ZeroDephasingSlightlyBelowOne) {
  for (int P : {36, 100}) {
    // At a = 0 the sum is P * sum_k sin(k pi / (P/2)) = P cot(pi / P), so the
    // kernel is 3.141593 / P * cot(pi / P), short of 1 by about (pi/P)^2 / 3.
    double expect = 3.141593 / P / std::tan(M_PI / P);
    double v = program_powder(P, 5000, 0, 150.0, 0);
    EXPECT_NEAR(v, expect, 1e-13) << P;  // a sum of P^2/2 rounded terms of size <= 1
    EXPECT_EQ(program_powder(P, 5000, 0, 3000.0, 0), v);  // a = 0 for every coupling
    // About a quarter of a percent for P = 36, three hundredths for P = 100.
    EXPECT_NEAR(1.0 - v, P == 36 ? 0.0025 : 0.0003, P == 36 ? 0.0001 : 0.00005);
  }
}

TEST(PowderKernel, IndependentOfMidPulse) {
  // A shift of the gamma grid changes only aliased terms J_100(a), with
  // a = 2.83 far below 1e-100; what remains is rounding of 5000 terms.
  double a = program_powder(100, 10000, 0, 1000.0, 5);
  EXPECT_NEAR(program_powder(100, 10000, 10, 1000.0, 5), a, 1e-12);
  EXPECT_LT(a, 0.5);  // genuinely dephased, not a trivial 1
}

TEST(PowderKernel, ApproachesAnalyticAverage) {
  // a = 4 sqrt(2) j D / MAS with D = 1000 Hz, MAS 10000 Hz.
  for (int j : {2, 5, 10}) {
    double a = 4.0 * std::sqrt(2.0) * j * 1000.0 / 10000.0;
    double exact = analytic_powder(a);
    double coarse = program_powder(200, 10000, 0, 1000.0, j) - exact;
    double fine = program_powder(2000, 10000, 0, 1000.0, j) - exact;
    // The beta sum is a Riemann sum of a function vanishing at 0 and pi:
    // error about 3.3 / P^2 (8e-5 at P = 200, 8e-7 at P = 2000).
    EXPECT_LT(std::fabs(fine), 2e-6) << "a " << a;
    EXPECT_GT(std::fabs(coarse), 50 * std::fabs(fine)) << "a " << a;
  }
}

TEST(InterpolatedKernel, ExactHitsInterpolationAndEnd) {
  DephasingCurve c{{0.0, 0.5, 1.0}, {1.0, 0.8, 0.4}};
  EXPECT_EQ(kernel_interpolate(c, 0.0), 1.0);
  EXPECT_EQ(kernel_interpolate(c, 0.5 + 1e-13), 0.8);   // within 1e-12: the point itself
  EXPECT_EQ(kernel_interpolate(c, 1.0 + 5e-13), 0.4);   // the last point, slightly over
  EXPECT_NEAR(kernel_interpolate(c, 0.75), 0.6, 1e-15); // 0.4 + 0.4 * 0.5, one rounding
  EXPECT_NEAR(kernel_interpolate(c, 0.25), 0.9, 1e-15);
  EXPECT_NEAR(kernel_interpolate(c, 0.9), 0.48, 1e-15);
  EXPECT_REFUSED(kernel_interpolate(c, 1.2), "^input REDOR curve not long enough\n$");
}

class DephasingCurveFile : public ::testing::Test {
 protected:
  Paar p{Paar::Blank{}};
  std::string out;  // standard output of the last read
  void SetUp() override { p.lambda_d_file = "curve.dat"; }
  DephasingCurve read(std::string const& text, double lambda_max) {
    std::istringstream in(text);
    ::testing::internal::CaptureStdout();
    DephasingCurve c = p.read_dephasing_curve(in, lambda_max);
    out = ::testing::internal::GetCapturedStdout();
    return c;
  }
};

TEST_F(DephasingCurveFile, StopsAtLambdaMaxAndSkipsBlankLines) {
  DephasingCurve c = read("# lambda S/S0\n0 1.0\n\n0.5 0.8\n \t\n1.0 0.4\n1.5 0.2\n2.0 0.1\n", 1.2);
  EXPECT_EQ(c.lambda, (std::vector<double>{0.0, 0.5, 1.0}));
  EXPECT_EQ(c.signal, (std::vector<double>{1.0, 0.8, 0.4}));
  EXPECT_EQ(out, "reading matrix values from file\nSize of input universal dephasing vector: 3\n");
  // A point exactly at lambda_max is read; a last line without newline too.
  EXPECT_EQ(read("0 1\n0.5 0.8\n1.0 0.4", 1.0).lambda.size(), 3u);
  EXPECT_EQ(read("1e-13 1\n0.5 0.8\n", 1.0).lambda.size(), 2u);  // within 1e-12 of 0
}

TEST_F(DephasingCurveFile, Refusals) {
  // Read without capturing standard output: the message must reach it.
  auto read = [this](std::string const& text, double lambda_max) {
    std::istringstream in(text);
    p.read_dephasing_curve(in, lambda_max);
  };
  EXPECT_REFUSED(read("# only a comment\n\n", 1.0), "curve\\.dat: no point of the curve lies at or below lambda_D 1");
  EXPECT_REFUSED(read("0.5 0.8\n1.0 0.4\n", 0.2), "curve\\.dat: no point of the curve lies at or below lambda_D 0\\.2");
  EXPECT_REFUSED(read("# c\n0.1 0.99\n0.5 0.8\n", 1.0), "curve\\.dat line 2: the curve must start at lambda_D 0");
  EXPECT_REFUSED(read("0 1\n0.5 0.8\n0.5 0.7\n", 1.0), "curve\\.dat line 3: lambda_D values must strictly ascend");
  EXPECT_REFUSED(read("0 1\n0.5 0.8\n\n0.3 0.9\n", 1.0), "curve\\.dat line 4: lambda_D values must strictly ascend");
}

}  // namespace
