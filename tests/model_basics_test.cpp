// Nuclei and the dipolar constant, the distance grid, the numeric helpers and
// the copy semantics of the model object.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include <gsl/gsl_rng.h>

#include "model/paar.h"
#include "solver/numeric.h"

namespace {

// Death tests match standard error; the program speaks on standard output.
void stdout_to_stderr() { dup2(2, 1); }

struct Pair {
  double gamma_x, gamma_y, dipolar_constant;
};
Pair nuclei(std::string const& x, std::string const& y) {
  Paar p{Paar::Blank{}};
  p.detect_nucleus = x;
  p.dephase_nucleus = y;
  p.lookup_nuclei();
  return {p.gamma_x, p.gamma_y, p.dipolar_constant};
}

gsl_vector* vec(std::initializer_list<double> xs) {
  gsl_vector* v = gsl_vector_alloc(xs.size());
  size_t i = 0;
  for (double x : xs) gsl_vector_set(v, i++, x);
  return v;
}

std::vector<double> values(gsl_vector const* v) {
  return std::vector<double>(v->data, v->data + v->size);
}

}  // namespace

TEST(Nuclei, TableAndDipolarConstant) {
  // Gyromagnetic ratios in 10^7 rad s^-1 T^-1.
  const std::pair<char const*, double> table[] = {{"C13", 6.7283}, {"N15", 2.712},
                                                  {"D2", 4.1066},  {"H2", 4.1066},
                                                  {"F19", 25.181}, {"P31", 10.841},
                                                  {"H1", 26.7522205}};
  for (auto const& n : table) {
    EXPECT_EQ(nuclei(n.first, "C13").gamma_x, n.second) << n.first;
    EXPECT_EQ(nuclei("C13", n.first).gamma_y, n.second) << n.first;
  }
  // SI units: D = (mu0/4pi) gamma_x gamma_y hbar / (2pi r^3), r = 1 Angstrom.
  double d_si = 1e-7 * 6.7283e7 * 2.712e7 * 1.05457168e-34 / 1e-30 / (2 * M_PI);
  Pair cn = nuclei("C13", "N15");
  // 1e-9 relative: the powers of ten in SI and the rounded 2pi of the program
  // differ from the gathered factor 1000 only in the last digits.
  EXPECT_NEAR(cn.dipolar_constant, d_si, 1e-9 * d_si);
  EXPECT_GT(cn.dipolar_constant, 3060.0);
  EXPECT_LT(cn.dipolar_constant, 3070.0);
  EXPECT_EQ(nuclei("N15", "C13").dipolar_constant, cn.dipolar_constant);
}

TEST(NucleiDeathTest, UnknownNamesEndTheRun) {
  const char* x_msg = "^detect nucleus \\(X\\) not recognized\n$";
  const char* cases[][3] = {{"c13", "N15", x_msg},  {"C-13", "N15", x_msg}, {"C13x", "N15", x_msg},
                            {"", "N15", x_msg},     {"x", "y", x_msg},  // X reported first
                            {"C13", "n15", "^dephasing nucleus \\(Y\\) not recognized\n$"}};
  for (auto const& c : cases)
    EXPECT_EXIT({ stdout_to_stderr(); nuclei(c[0], c[1]); }, testing::ExitedWithCode(1), c[2])
        << c[0] << " " << c[1];
}

TEST(DistanceGrid, SizesAndCouplings) {
  EXPECT_EQ(grid_size(2, 8, 0.1), 61);  // 0.1 is stored above a tenth: q just below 60
  EXPECT_EQ(grid_size(2, 8, 0.5), 14);
  EXPECT_EQ(grid_size(2, 8, 0.7), 10);
  EXPECT_EQ(grid_size(3, 3, 0.25), 2);

  Paar p{Paar::Blank{}};
  p.owner = true;
  p.near = 2.0, p.far = 8.0, p.grain = 0.1;
  p.n_cycles = 1, p.n_data = 62;  // more points than distances: a warning
  p.dipolar_constant = 3000.0;
  testing::internal::CaptureStdout();
  p.build_grid();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Warning: points in distance distribution < data points. You'll be happier in the "
            "end if you lower the GRAIN\n");
  ASSERT_EQ(p.n_grid, 61);
  EXPECT_EQ(gsl_vector_get(p.distances, 0), 2.0);
  EXPECT_EQ(gsl_vector_get(p.distances, 60), 8.0);
  EXPECT_EQ(gsl_vector_get(p.distances, 20), 4.0);
  // 2 and 4 Angstrom: cubes 8 and 64, exact in binary.
  EXPECT_EQ(gsl_vector_get(p.dipolar_couplings, 0), 375.0);
  EXPECT_EQ(gsl_vector_get(p.dipolar_couplings, 20) * 8, gsl_vector_get(p.dipolar_couplings, 0));
}

TEST(Numeric, GvPow) {
  // Root of a rounding remainder and square of an overflow both give 0.
  gsl_vector* v = vec({-1e-13, 4.0, 0.0});
  gsl_vector* w = vec({1e200, 3.0, -2.0});
  EXPECT_EQ(_gv_pow(v, 0.5), 0);
  _gv_pow(w, 2);
  EXPECT_EQ(values(v), (std::vector<double>{0, 2, 0}));
  EXPECT_EQ(values(w), (std::vector<double>{0, 9, 4}));
  gsl_vector_free(v);
  gsl_vector_free(w);
}

TEST(NumericDeathTest, GvPowStopsOnNan) {
  EXPECT_EXIT({ stdout_to_stderr(); _gv_pow(vec({1.0, -1e-3}), 0.5); },
              testing::ExitedWithCode(1), "^NAN\n$");
}

TEST(Numeric, GvStdev) {
  // Three values per element: 1, 2, 3 (sd 1); 5, 5, 5 (sd 0); 0, 3, 6 (sd 3).
  gsl_vector* sum = vec({6, 15, 9});
  gsl_vector* sumsq = vec({14, 75, 45});
  gsl_vector* out = gsl_vector_alloc(3);
  gsl_vector* scratch = gsl_vector_alloc(3);
  _gv_stdev(out, sum, sumsq, 3, scratch);
  // The factor 1/(n(n-1)) = 1/6 is not exact in binary: allow a few ulp.
  EXPECT_DOUBLE_EQ(gsl_vector_get(out, 0), 1.0);
  EXPECT_EQ(gsl_vector_get(out, 1), 0.0);
  EXPECT_DOUBLE_EQ(gsl_vector_get(out, 2), 3.0);
  EXPECT_EQ(gsl_vector_get(sum, 0), 6.0);  // inputs untouched
  for (gsl_vector* v : {sum, sumsq, out, scratch}) gsl_vector_free(v);
}

TEST(Numeric, GrandomSigmaTakesTwelveDraws) {
  gsl_rng* a = gsl_rng_alloc(gsl_rng_taus2);
  gsl_rng* b = gsl_rng_alloc(gsl_rng_taus2);
  gsl_rng_set(a, 7);
  gsl_rng_set(b, 7);
  double s = 0;
  for (int i = 0; i < 12; i++) s += gsl_rng_uniform(b);
  // Same draws summed in the same order: the same double.
  EXPECT_EQ(_grandom_sigma(a, 0.5), (s - 6.0) * 0.5);
  EXPECT_EQ(gsl_rng_get(a), gsl_rng_get(b));
  EXPECT_EQ(_grandom_sigma(a, 0.0), 0.0);
  for (int i = 0; i < 12; i++) gsl_rng_uniform(b);
  EXPECT_EQ(gsl_rng_get(a), gsl_rng_get(b));
  gsl_rng_free(a);
  gsl_rng_free(b);
}

TEST(Numeric, IsComment) {
  for (char const* yes : {"#", "# N_c S0 S", "#0 1 1"}) EXPECT_EQ(iscomment(yes), 1) << yes;
  for (char const* no : {"", " # indented", "0 1000 # late"}) EXPECT_EQ(iscomment(no), 0) << no;
}

namespace {

// A small primary object: 3 data points, 4 distances, hand-set state.
void fill_primary(Paar& p) {
  p.owner = true;
  p.n_data = 3;
  p.n_grid = 4;
  p.mode = "fit";
  p.near = 2.5;
  p.mas = 5000;
  p.chi2 = 1.5;
  p.avgdev = p.scaling = p.total_adjust_density = 0.25;
  p.data = vec({1.0, 0.9, 0.8});
  p.fit_to_data = vec({0.99, 0.91, 0.79});
  p.residual = vec({0.01, -0.01, 0.01});
  p.lagrange = vec({0.1, 0.2, 0.3});
  p.distribution = vec({0.1, 0.2, 0.3, 0.4});
  p.data_error = vec({0.02, 0.02, 0.02});
  p.iters_at_temp = vec({20});
  p.alloc_scratch();
}

gsl_vector* Paar::*const kOwn[] = {&Paar::data, &Paar::fit_to_data, &Paar::residual,
                                   &Paar::lagrange, &Paar::distribution};

}  // namespace

TEST(PaarCopy, OwnWorkingVectorsSharedRest) {
  Paar src{Paar::Blank{}};
  fill_primary(src);
  {
    Paar c(src);
    EXPECT_FALSE(c.owner || c.log.is_open());
    EXPECT_EQ(c.mode, "");  // texts are not taken over
    EXPECT_EQ(c.near + c.chi2 + c.n_data, 2.5 + 1.5 + 3);
    EXPECT_EQ(c.data_error, src.data_error);
    EXPECT_EQ(c.iters_at_temp, src.iters_at_temp);
    for (auto f : kOwn) {
      ASSERT_NE(c.*f, src.*f);
      EXPECT_TRUE(gsl_vector_equal(c.*f, src.*f));
      double before = gsl_vector_get(src.*f, 1);
      gsl_vector_set(c.*f, 1, 42.0);
      EXPECT_EQ(gsl_vector_get(src.*f, 1), before);
    }
    gsl_vector_set(src.data_error, 2, 0.05);
    EXPECT_EQ(gsl_vector_get(c.data_error, 2), 0.05);
  }
  // The copy is gone; a release of a shared part by it would show here
  // under the address sanitizer.
  EXPECT_EQ(gsl_vector_get(src.data_error, 0), 0.02);
}

TEST(PaarCopy, CopyMinMovesExactlyTheEvaluationState) {
  Paar src{Paar::Blank{}};
  fill_primary(src);
  gsl_vector* own_before = src.lagrange;
  Paar c(src);
  for (auto f : kOwn) gsl_vector_set_all(c.*f, -0.5);
  c.chi2 = 3;
  c.avgdev = 4;
  c.scaling = 1.1;
  c.total_adjust_density = 0.2;
  c.near = c.mas = 9;  // not evaluation state: must stay behind
  EXPECT_EQ(src.copy_min(c), 1);
  EXPECT_EQ(src.lagrange, own_before);  // contents copied, not handles
  for (auto f : kOwn) {
    EXPECT_NE(src.*f, c.*f);
    EXPECT_TRUE(gsl_vector_equal(src.*f, c.*f));
  }
  EXPECT_EQ(src.chi2, 3.0);
  EXPECT_EQ(src.avgdev, 4.0);
  EXPECT_EQ(src.scaling, 1.1);
  EXPECT_EQ(src.total_adjust_density, 0.2);
  EXPECT_EQ(src.near, 2.5);
  EXPECT_EQ(src.mas, 5000.0);
  EXPECT_EQ(src.mode, "fit");
  EXPECT_EQ(gsl_vector_get(src.data_error, 0), 0.02);
}
