// Nuclei and the dipolar constant, the distance grid, the numeric helpers and
// the copy semantics of the model object. (Unknown nuclei are refused in the
// run set-up tests; the Gaussian noise source is checked draw for draw in the
// Monte Carlo replay.)
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "model/paar.h"
#include "solver/numeric.h"
#include "tests/test_support.h"

using testsupport::gvec;
using testsupport::values;
using V = std::vector<double>;

TEST(Nuclei, TableAndDipolarConstant) {
  // Gyromagnetic ratios in 10^7 rad s^-1 T^-1.
  const std::pair<char const*, double> table[] = {{"C13", 6.7283}, {"N15", 2.712},
                                                  {"D2", 4.1066},  {"H2", 4.1066},
                                                  {"F19", 25.181}, {"P31", 10.841},
                                                  {"H1", 26.7522205}};
  Paar p{Paar::Blank{}};
  p.dephase_nucleus = "C13";
  for (auto const& n : table) {  // X and Y are looked up in the same table
    p.detect_nucleus = n.first;
    p.lookup_nuclei();
    EXPECT_EQ(p.gamma_x, n.second) << n.first;
  }
  p.detect_nucleus = "C13", p.dephase_nucleus = "N15";
  p.lookup_nuclei();
  // SI units: D = (mu0/4pi) gamma_x gamma_y hbar / (2pi r^3), r = 1 Angstrom.
  double d_si = 1e-7 * 6.7283e7 * 2.712e7 * 1.05457168e-34 / 1e-30 / (2 * M_PI);
  // 1e-9 relative: the powers of ten in SI and the rounded 2pi of the program
  // differ from the gathered factor 1000 only in the last digits.
  EXPECT_NEAR(p.dipolar_constant, d_si, 1e-9 * d_si);
}

TEST(DistanceGrid, SizesAndCouplings) {
  // 0.1 is stored above a tenth, so (8 - 2) / 0.1 lies just below 60.
  EXPECT_EQ((std::vector<long>{grid_size(2, 8, 0.1), grid_size(2, 8, 0.7), grid_size(3, 3, 0.25)}),
            (std::vector<long>{61, 10, 2}));
  Paar p{Paar::Blank{}};
  p.owner = true;
  p.near = 2.0, p.far = 8.0, p.grain = 0.1, p.dipolar_constant = 3000.0;
  p.n_cycles = 1, p.n_data = 62;  // more points than distances: a warning
  testing::internal::CaptureStdout();
  p.build_grid();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Warning: points in distance distribution < data points. You'll be happier in the "
            "end if you lower the GRAIN\n");
  ASSERT_EQ(p.n_grid, 61);
  EXPECT_EQ((V{p.distances->data[0], p.distances->data[20], p.distances->data[60]}), (V{2, 4, 8}));
  // 2 and 4 Angstrom: cubes 8 and 64, exact in binary.
  EXPECT_EQ((V{p.dipolar_couplings->data[0], p.dipolar_couplings->data[20]}), (V{375, 375.0 / 8}));
}

TEST(Numeric, GvPowGvStdevIsComment) {
  // Root of a rounding remainder and square of an overflow both give 0.
  gsl_vector* v = gvec({-1e-13, 4.0, 0.0});
  gsl_vector* w = gvec({1e200, 3.0, -2.0});
  EXPECT_EQ(_gv_pow(v, 0.5), 0);
  _gv_pow(w, 2);
  EXPECT_EQ(values(v), (V{0, 2, 0}));
  EXPECT_EQ(values(w), (V{0, 9, 4}));

  // Three values per element: 1, 2, 3 (sd 1); 5, 5, 5 (sd 0); 0, 3, 6 (sd 3).
  gsl_vector* sum = gvec({6, 15, 9});
  gsl_vector* sumsq = gvec({14, 75, 45});
  gsl_vector* out = gsl_vector_alloc(3);
  _gv_stdev(out, sum, sumsq, 3, w);  // w as scratch
  // The factor 1/(n(n-1)) = 1/6 is not exact in binary: allow a few ulp (of 3,
  // 4.4e-16 each); the root of a rounding remainder in the middle would be ~1e-7.
  for (int i = 0; i < 3; i++) EXPECT_NEAR(out->data[i], (V{1, 0, 3})[i], 4e-15) << i;
  EXPECT_EQ(values(sum), (V{6, 15, 9}));  // inputs untouched
  for (gsl_vector* x : {v, w, sum, sumsq, out}) gsl_vector_free(x);

  for (char const* yes : {"#", "# N_c S0 S", "#0 1 1"}) EXPECT_EQ(iscomment(yes), 1) << yes;
  for (char const* no : {"", " # indented", "0 1000 # late"}) EXPECT_EQ(iscomment(no), 0) << no;
}

TEST(NumericDeathTest, GvPowStopsOnNan) {
  // The message goes to standard output; death tests match standard error.
  // The vector is never freed: the process ends inside the call (a leak
  // checker may add its report after the message).
  EXPECT_EXIT({ dup2(2, 1); _gv_pow(gvec({1.0, -1e-3}), 0.5); }, testing::ExitedWithCode(1),
              "^NAN\n");
}

TEST(PaarCopy, OwnsWorkingVectorsSharesRestAndCopyMinMovesEvaluationState) {
  Paar src{Paar::Blank{}};
  src.owner = true;
  src.n_data = 3, src.n_grid = 4, src.near = 2.5, src.mas = 5000, src.chi2 = 1.5;
  src.data = gvec({1.0, 0.9, 0.8});
  src.fit_to_data = gvec({0.99, 0.91, 0.79});
  src.residual = gvec({0.01, -0.01, 0.01});
  src.lagrange = gvec({0.1, 0.2, 0.3});
  src.distribution = gvec({0.1, 0.2, 0.3, 0.4});
  src.data_error = gvec({0.02, 0.02, 0.02});
  src.iters_at_temp = gvec({20});
  src.alloc_scratch();
  gsl_vector* Paar::*const own[] = {&Paar::data, &Paar::fit_to_data, &Paar::residual,
                                    &Paar::lagrange, &Paar::distribution};
  gsl_vector* src_lagrange = src.lagrange;
  {
    Paar c(src);
    EXPECT_FALSE(c.owner);
    EXPECT_EQ((V{c.near, c.chi2, double(c.n_data)}), (V{2.5, 1.5, 3}));
    EXPECT_EQ(c.data_error, src.data_error);  // shared
    EXPECT_EQ(c.iters_at_temp, src.iters_at_temp);
    double mark = 0;
    for (auto f : own) {  // own copies of the five working vectors
      ASSERT_NE(c.*f, src.*f);
      EXPECT_EQ(values(c.*f), values(src.*f));
      gsl_vector_set_all(c.*f, --mark);  // a different value in each
      EXPECT_NE(gsl_vector_get(src.*f, 0), mark);
    }
    c.chi2 = 3, c.avgdev = 4, c.scaling = 1.1, c.total_adjust_density = 0.2;
    c.near = c.mas = 9;  // not evaluation state: must stay behind
    EXPECT_EQ(src.copy_min(c), 1);
    EXPECT_EQ(src.lagrange, src_lagrange);  // contents copied, not handles
    for (auto f : own) EXPECT_EQ(values(src.*f), values(c.*f));
    EXPECT_EQ((V{src.chi2, src.avgdev, src.scaling, src.total_adjust_density}),
              (V{3, 4, 1.1, 0.2}));
    EXPECT_EQ((V{src.near, src.mas}), (V{2.5, 5000}));
  }
  // The copy is gone; a release of a shared part by it would show here
  // under the address sanitizer.
  EXPECT_EQ(gsl_vector_get(src.data_error, 0), 0.02);
}
