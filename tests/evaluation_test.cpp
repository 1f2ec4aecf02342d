// Evaluation of the multipliers (distribution, fitted curves, residuals,
// chi2) and the moments of the distribution, on small hand-built models
// checked against values computed here in a different way.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <regex>
#include <tuple>
#include <vector>

#include "model/paar.h"
#include "test_support.h"

namespace {

using testsupport::gvec;
using testsupport::values;
using Vec = std::vector<double>;

gsl_matrix* mat(size_t rows, size_t cols, Vec const& v) {  // row by row
  gsl_matrix* m = gsl_matrix_alloc(rows, cols);
  std::copy(v.begin(), v.end(), m->data);
  return m;
}
Vec cat(std::initializer_list<Vec> parts) {
  Vec v;
  for (Vec const& x : parts) v.insert(v.end(), x.begin(), x.end());
  return v;
}

// Three data points, four grid distances, five simulation-grid points. The
// kernel rows fall with the cycle count and rise with the distance, like
// REDOR signals; the middle point has the replaced error 1.0. Outputs start
// as sentinels that an evaluation must overwrite.
struct Model {
  Paar p{Paar::Blank{}};
  Model(Vec const& lagrange, std::string const& mode, double share) {
    p.owner = true;
    p.mode = mode;
    p.n_data = 3, p.n_grid = 4, p.n_cycles = 5, p.scaling = 0.9;
    p.total_adjust_density = share;  // of the population prescribed
    p.transform_data =
        mat(3, 4, {0.99, 0.98, 0.97, 0.96, 0.4, 0.7, 0.85, 0.93, 0.05, 0.3, 0.6, 0.8});
    p.transform_cycles = mat(5, 4, {1,   1,   1,   1,   0.7, 0.9,  0.95, 0.98, 0.3,  0.6,
                                    0.8, 0.9, 0.1, 0.4, 0.7, 0.85, 0.02, 0.25, 0.55, 0.75});
    p.data = gvec({0.95, 0.70, 0.50}), p.data_error = gvec({0.02, 1.0, 0.05});
    p.fit_adjust = gvec({0.9, 0.6, 0.4}), p.smooth_adjust = gvec({0.99, 0.8, 0.6, 0.45, 0.3});
    p.lagrange = gvec(lagrange), p.distribution = gvec(Vec(4, -1));
    p.smooth_fit = gvec(Vec(5, 7));
    p.fit_to_data = gvec(Vec(3, -1)), p.residual = gvec(Vec(3, -1));
    p.alloc_scratch();
  }
  // Distribution, fitted curve, residuals, mean residual, chi2, simulation curve.
  Vec outputs() const {
    return cat({values(p.distribution), values(p.fit_to_data), values(p.residual),
                Vec{p.avgdev, p.chi2}, values(p.smooth_fit)});
  }
};

// The same outputs written out directly, the exponent shifted by its maximum
// before exp (log-sum-exp) rather than taken as it stands. In "sim" the
// curves are those of the prescribed distribution alone, against the data as
// they are, and the distribution is never computed.
Vec reference(Paar const& p, bool full) {
  bool sim = p.mode == "sim";
  Vec t(p.n_grid, 0.0), dist, res;
  for (int j = 0; j < p.n_grid; j++)
    for (int i = 0; i < p.n_data; i++)
      t[j] += gsl_vector_get(p.lagrange, i) * gsl_matrix_get(p.transform_data, i, j);
  double tmax = *std::max_element(t.begin(), t.end()), z = 0, avgdev = 0, chi2 = 0;
  for (double x : t) z += std::exp(x - tmax);
  for (double x : t) dist.push_back(std::exp(x - tmax) / z);
  auto scaled = [&](Vec c) {
    for (double& x : c) x = p.scaling * x + 1 - p.scaling;
    return c;
  };
  auto curve = [&](gsl_matrix const* k, int rows) {
    Vec c(rows, 0.0);
    for (int i = 0; i < rows; i++)
      for (int j = 0; j < p.n_grid; j++) c[i] += gsl_matrix_get(k, i, j) * dist[j];
    if (sim) c = values(k == p.transform_data ? p.fit_adjust : p.smooth_adjust);
    return scaled(c);
  };
  Vec fit = curve(p.transform_data, p.n_data);
  for (int i = 0; i < p.n_data; i++) {
    double d = gsl_vector_get(p.data, i), fa = gsl_vector_get(p.fit_adjust, i);
    res.push_back(fit[i] - (sim ? d : (d - p.scaling * fa) / (1 - p.total_adjust_density)));
    avgdev += res[i] / p.n_data;
    chi2 += std::pow(res[i] / gsl_vector_get(p.data_error, i), 2);
  }
  // Only the full evaluation computes the simulation-grid curve.
  return cat({sim ? Vec(4, -1.0) : dist, fit, res, Vec{avgdev, chi2},
              full ? curve(p.transform_cycles, p.n_cycles) : Vec(5, 7.0)});
}

TEST(Evaluation, BothEvaluationsAgreeWithADirectComputation) {
  // Mode, multipliers (zero ones give the uniform distribution) and
  // prescribed share. In "sim" the whole population is prescribed; adjusting
  // the data by it would divide by zero, so a finite chi2 shows the data are
  // used as they are.
  std::tuple<std::string, Vec, double> cases[] = {{"fit", {0, 0, 0}, 0},
                                                  {"fit", {0.8, -1.5, 2.0}, 0},
                                                  {"fit", {0.8, -1.5, 2.0}, 0.25},
                                                  {"sim", {0.3, 1.2, -0.7}, 1.0}};
  for (auto const& [mode, lagrange, share] : cases)
    for (bool full : {false, true}) {
      if (mode == "sim" && !full) continue;  // "sim" evaluates only in full
      SCOPED_TRACE(mode + " " + std::to_string(share) + " " + std::to_string(full));
      Model m(lagrange, mode, share);
      double chi2 = full ? m.p.calc_state() : m.p.calc_state_dataonly_nosim();
      EXPECT_EQ(chi2, m.p.chi2);
      Vec got = m.outputs(), want = reference(m.p, full);
      // Quantities of order 1 after a few dozen roundings agree to ~1e-15;
      // 1e-12 (relative for chi2) leaves room for a different order of
      // operations and still catches any wrong term, factor or sign.
      for (size_t i = 0; i < want.size(); i++)
        EXPECT_NEAR(got[i], want[i], 1e-12 * std::max(1.0, want[i])) << i;
      EXPECT_EQ(values(m.p.lagrange), lagrange);  // inputs untouched
    }
}

TEST(DistributionStats, OnePointAndUniformDistributions) {
  // One point: 0/0 for skewness and kurtosis; the sign printed with a NaN is
  // the platform's, the width of 13 is not. Five evenly spaced points of
  // spacing h = 0.5: mean at the midpoint, standard deviation h * sqrt(2),
  // skewness 0 (printed 0 or -0) and plain kurtosis 3 - 6(n^2+1)/(5(n^2-1)) =
  // 1.7. The couplings are skewed; their moments, worked out by hand to 20
  // digits, lie at least 1e-9 from a rounding boundary of the 8 printed
  // decimals, far more than any rounding in the program.
  std::string nan2 = "( {11}nan| {10}-nan){2}\n", freq = "Frequency moments: {3}";
  std::pair<Vec, std::string> cases[] = {
      {{0, 0, 1, 0, 0}, "00000000" + nan2 + freq + "47\\.85937500 {4}0\\.00000000" + nan2},
      {Vec(5, 0.2), "70710678 {3}[ -]0\\.00000000 {4}1\\.70000000\n" + freq +
                        "58\\.17224428 {3}31\\.85627028 {4}0\\.72455641 {4}2\\.14089509\n"}};
  for (auto const& c : cases) {
    // Five distances 3.0 ... 5.0 Angstrom with their 13C-15N couplings.
    testsupport::TempDir dir;
    Paar p{Paar::Blank{}};
    p.owner = true;
    p.n_grid = 5;
    p.distances = gvec({3.0, 3.5, 4.0, 4.5, 5.0});
    p.dipolar_couplings =
        gvec({3063.0 / 27, 3063.0 / 42.875, 3063.0 / 64, 3063.0 / 91.125, 3063.0 / 125});
    p.distribution = gvec(c.first);
    p.log.open(dir.file("stats.log"));
    testing::internal::CaptureStdout();
    EXPECT_EQ(p.calc_dist_stats(), 1);
    std::string out = testing::internal::GetCapturedStdout();
    p.log.close();
    EXPECT_EQ(testsupport::read_file(dir.file("stats.log")), out);  // the log gets the same
    EXPECT_TRUE(std::regex_match(out, std::regex("total distribution density: 1\n"
                                                 "Distance moments: {4}4\\.00000000 {4}0\\." +
                                                 c.second)))
        << out;
  }
}

}  // namespace
