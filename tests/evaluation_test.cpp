// Evaluation of the multipliers (distribution, fitted curves, residuals,
// chi2) and the moments of the distribution, on small hand-built models
// checked against values computed here in a different way.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <regex>
#include <vector>

#include "model/paar.h"
#include "test_support.h"

namespace {

using Vec = std::vector<double>;

gsl_vector* vec(Vec const& v) {
  gsl_vector* g = gsl_vector_alloc(v.size());
  for (size_t i = 0; i < v.size(); i++) gsl_vector_set(g, i, v[i]);
  return g;
}
gsl_matrix* mat(size_t rows, size_t cols, Vec const& v) {  // row by row
  gsl_matrix* m = gsl_matrix_alloc(rows, cols);
  for (size_t i = 0; i < rows * cols; i++) gsl_matrix_set(m, i / cols, i % cols, v[i]);
  return m;
}
Vec get(gsl_vector const* g) { return Vec(g->data, g->data + g->size); }
void put(gsl_vector* g, Vec const& v) {
  for (size_t i = 0; i < v.size(); i++) gsl_vector_set(g, i, v[i]);
}

// Three data points, four grid distances, five simulation-grid points. The
// kernel rows fall with the cycle count and rise with the distance, like
// REDOR signals; the middle point has the replaced error 1.0. Outputs start
// as sentinels that an evaluation must overwrite.
struct Model {
  Paar p{Paar::Blank{}};
  explicit Model(Vec const& lagrange, char const* mode = "fit") {
    p.owner = true;
    p.mode = mode;
    p.n_data = 3, p.n_grid = 4, p.n_cycles = 5;
    p.scaling = 0.9;
    p.transform_data = mat(3, 4,
                           {0.99, 0.98, 0.97, 0.96,  // rows: data points
                            0.4, 0.7, 0.85, 0.93,    // columns: distances
                            0.05, 0.3, 0.6, 0.8});
    p.transform_cycles = mat(5, 4, {1,    1,    1,    1,     //
                                    0.7,  0.9,  0.95, 0.98,  //
                                    0.3,  0.6,  0.8,  0.9,   //
                                    0.1,  0.4,  0.7,  0.85,  //
                                    0.02, 0.25, 0.55, 0.75});
    p.data = vec({0.95, 0.70, 0.50});
    p.data_error = vec({0.02, 1.0, 0.05});
    p.fit_adjust = vec({0, 0, 0});
    p.smooth_adjust = vec({0, 0, 0, 0, 0});
    p.lagrange = vec(lagrange);
    p.distribution = vec({-1, -1, -1, -1});
    p.fit_to_data = vec({-1, -1, -1});
    p.residual = vec({-1, -1, -1});
    p.smooth_fit = vec({7, 7, 7, 7, 7});
    p.alloc_scratch();
  }
};

// Quantities of order 1 after a few dozen roundings agree to ~1e-15; 1e-12
// leaves room for a different order of operations and still catches any
// wrong term, factor or sign.
const double kTol = 1e-12;

void expect_near(Vec const& got, Vec const& want, char const* what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t i = 0; i < got.size(); i++) EXPECT_NEAR(got[i], want[i], kTol) << what << i;
}

// The same quantities written out directly, the exponent shifted by its
// maximum before exp (log-sum-exp) rather than taken as it stands, and
// compared with what the model holds.
void expect_reference(Paar const& p, double returned, bool smooth) {
  Vec t(p.n_grid, 0.0), dist, fit, res;
  for (int j = 0; j < p.n_grid; j++)
    for (int i = 0; i < p.n_data; i++)
      t[j] += gsl_vector_get(p.lagrange, i) * gsl_matrix_get(p.transform_data, i, j);
  double tmax = *std::max_element(t.begin(), t.end()), z = 0, avgdev = 0, chi2 = 0;
  for (double x : t) z += std::exp(x - tmax);
  for (double x : t) dist.push_back(std::exp(x - tmax) / z);
  auto curve = [&](gsl_matrix const* k, int rows) {
    Vec c(rows, 0.0);
    for (int i = 0; i < rows; i++) {
      for (int j = 0; j < p.n_grid; j++) c[i] += gsl_matrix_get(k, i, j) * dist[j];
      c[i] = p.scaling * c[i] + 1 - p.scaling;
    }
    return c;
  };
  fit = curve(p.transform_data, p.n_data);
  for (int i = 0; i < p.n_data; i++) {
    double adjusted = (gsl_vector_get(p.data, i) - p.scaling * gsl_vector_get(p.fit_adjust, i)) /
                      (1 - p.total_adjust_density);
    res.push_back(fit[i] - adjusted);
    avgdev += res[i] / p.n_data;
    chi2 += std::pow(res[i] / gsl_vector_get(p.data_error, i), 2);
  }
  expect_near(get(p.distribution), dist, "distribution");
  expect_near(get(p.fit_to_data), fit, "fit_to_data");
  expect_near(get(p.residual), res, "residual");
  EXPECT_NEAR(p.avgdev, avgdev, kTol);
  EXPECT_NEAR(p.chi2, chi2, kTol * chi2);
  EXPECT_EQ(returned, p.chi2);
  // Only the full evaluation computes the simulation-grid curve.
  expect_near(get(p.smooth_fit), smooth ? curve(p.transform_cycles, p.n_cycles) : Vec(5, 7.0),
              "smooth");
}

TEST(Evaluation, ZeroMultipliersGiveUniformDistribution) {
  Model m({0, 0, 0});
  m.p.calc_state_dataonly_nosim();
  for (double x : get(m.p.distribution)) EXPECT_DOUBLE_EQ(x, 0.25);
  for (int i = 0; i < 3; i++) {
    double mean = 0;
    for (int j = 0; j < 4; j++) mean += gsl_matrix_get(m.p.transform_data, i, j) / 4;
    EXPECT_NEAR(gsl_vector_get(m.p.fit_to_data, i), 0.9 * mean + 1 - 0.9, kTol) << i;
  }
}

TEST(Evaluation, BothEvaluationsWithAndWithoutPrescribedShare) {
  for (bool full : {false, true}) {
    Model m({0.8, -1.5, 2.0});
    for (double share : {0.0, 0.25}) {
      SCOPED_TRACE(std::to_string(full) + " " + std::to_string(share));
      if (share > 0) put(m.p.fit_adjust, {0.6, 0.3, 0.1});
      m.p.total_adjust_density = share;
      expect_reference(m.p, full ? m.p.calc_state() : m.p.calc_state_dataonly_nosim(), full);
      EXPECT_EQ(get(m.p.lagrange), Vec({0.8, -1.5, 2.0}));  // inputs untouched
    }
  }
}

TEST(Evaluation, SimModeTakesTheCurvesFromThePrescribedDistribution) {
  Model m({0.3, 1.2, -0.7}, "sim");
  for (bool prescribed : {true, false}) {
    SCOPED_TRACE(prescribed);
    Vec fa = prescribed ? Vec{0.9, 0.6, 0.4} : Vec{0, 0, 0};
    Vec sa = prescribed ? Vec{0.99, 0.8, 0.6, 0.45, 0.3} : Vec{0, 0, 0, 0, 0};
    put(m.p.fit_adjust, fa);
    put(m.p.smooth_adjust, sa);
    // The whole population is prescribed; adjusting the data by it would
    // divide by zero, so a finite chi2 shows the data are used as they are.
    m.p.total_adjust_density = 1.0;
    double chi2 = m.p.calc_state(), want = 0;
    for (int i = 0; i < 3; i++) {
      double fit = 0.9 * fa[i] + 0.1, res = fit - gsl_vector_get(m.p.data, i);
      EXPECT_NEAR(gsl_vector_get(m.p.fit_to_data, i), fit, kTol);
      EXPECT_NEAR(gsl_vector_get(m.p.residual, i), res, kTol);
      want += std::pow(res / gsl_vector_get(m.p.data_error, i), 2);
    }
    for (int k = 0; k < 5; k++)
      EXPECT_NEAR(gsl_vector_get(m.p.smooth_fit, k), 0.9 * sa[k] + 0.1, kTol);
    EXPECT_NEAR(chi2, want, kTol * want);
    EXPECT_EQ(get(m.p.distribution), Vec(4, -1.0));  // never computed in this mode
    EXPECT_EQ(get(m.p.lagrange), Vec({0.3, 1.2, -0.7}));
  }
}

TEST(Evaluation, OverflowingMultiplierGivesNonFiniteChi2) {
  Model m({1000, 0, 0});  // exponents above 960 overflow exp
  EXPECT_FALSE(std::isfinite(m.p.calc_state_dataonly_nosim()));
  EXPECT_FALSE(std::isfinite(m.p.chi2));
}

// Five distances 3.0 ... 5.0 Angstrom, every 0.5, with their 13C-15N
// couplings; the run log goes to a file so both outputs can be compared.
struct StatsModel {
  Paar p{Paar::Blank{}};
  testsupport::TempDir dir;
  Vec couplings = {3063.0 / 27, 3063.0 / 42.875, 3063.0 / 64, 3063.0 / 91.125, 3063.0 / 125};
  explicit StatsModel(Vec const& dist) {
    p.owner = true;
    p.n_grid = 5;
    p.distances = vec({3.0, 3.5, 4.0, 4.5, 5.0});
    p.dipolar_couplings = vec(couplings);
    p.distribution = vec(dist);
    p.log.open(dir.file("stats.log"));
  }
  // Standard output of calc_dist_stats, which must equal what the log got.
  std::string run() {
    testing::internal::CaptureStdout();
    EXPECT_EQ(p.calc_dist_stats(), 1);
    std::string out = testing::internal::GetCapturedStdout();
    p.log.close();
    EXPECT_EQ(testsupport::read_file(dir.file("stats.log")), out);
    return out;
  }
};

TEST(DistributionStats, OnePointDistributionStillWritesNanMoments) {
  StatsModel m({0, 0, 1, 0, 0});
  std::string out = m.run();
  // 0/0 for skewness and kurtosis; the sign printed with a NaN is the
  // platform's, the width of 13 is not.
  std::string nan2 = "( {11}nan| {10}-nan){2}\n";
  EXPECT_TRUE(std::regex_match(
      out, std::regex("total distribution density: 1\n"
                      "Distance moments: {4}4\\.00000000 {4}0\\.00000000" +
                      nan2 + "Frequency moments: {3}47\\.85937500 {4}0\\.00000000" + nan2)))
      << out;
}

TEST(DistributionStats, UniformDistributionIsSymmetricAroundTheMidpoint) {
  StatsModel m({0.2, 0.2, 0.2, 0.2, 0.2});
  std::string out = m.run();
  // Five evenly spaced points of spacing h = 0.5: mean at the midpoint,
  // standard deviation h * sqrt(2), skewness 0 (printed 0 or -0 at 8
  // decimals) and plain kurtosis 3 - 6(n^2+1)/(5(n^2-1)) = 1.7.
  EXPECT_TRUE(
      std::regex_match(out, std::regex("total distribution density: 1\n"
                                       "Distance moments: {4}4\\.00000000 {4}0\\.70710678"
                                       " {3}[ -]0\\.00000000 {4}1\\.70000000\n"
                                       "Frequency moments:( {1,13}-?[0-9]+\\.[0-9]{8}){4}\n")))
      << out;
  // The couplings are skewed: their moments from the raw moments E[D^k].
  double e[5] = {1, 0, 0, 0, 0}, got[4];
  for (double d : m.couplings)
    for (int k = 1; k < 5; k++) e[k] += std::pow(d, k) / 5;
  double mu = e[1], var = e[2] - mu * mu;
  double want[4] = {
      mu, std::sqrt(var), (e[3] - 3 * mu * e[2] + 2 * std::pow(mu, 3)) / std::pow(var, 1.5),
      (e[4] - 4 * mu * e[3] + 6 * mu * mu * e[2] - 3 * std::pow(mu, 4)) / (var * var)};
  ASSERT_EQ(std::sscanf(out.c_str() + out.find("Frequency"), "Frequency moments: %lf %lf %lf %lf",
                        &got[0], &got[1], &got[2], &got[3]),
            4);
  // 8 printed decimals; the raw-moment route loses ~1e-14 to cancellation.
  for (int k = 0; k < 4; k++) EXPECT_NEAR(got[k], want[k], 1e-8) << k;
  EXPECT_EQ(out.size() - out.find("Frequency"), 18u + 4 * 14 + 1)
      << out;  // 13 wide after one blank
}

}  // namespace
