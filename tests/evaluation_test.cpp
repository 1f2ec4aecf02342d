// Evaluation of the multipliers (distribution, fitted curves, residuals,
// chi2) against a computation written out here, the fast evaluation against
// the GSL one bit for bit, and the moments of a distribution.

#include <algorithm>
#include <cstring>
#include <random>

#include "tests/gsl_reference_evaluation.h"
#include "tests/test_support.h"

using namespace ts;

static double kget(gsl_matrix const* m, int i, int j) { return gsl_matrix_get(m, i, j); }

// The outputs written out directly, the exponent shifted by its maximum
// before exp (log-sum-exp). In "sim" the curves are those of the prescribed
// distribution alone, against the data as they are, and the distribution is
// not computed. Returns distribution, fit, residual, avgdev, chi2, smooth fit.
static V reference(Paar const& p, bool full) {
  bool sim = p.setup->mode == "sim";
  V t(p.setup->n_grid, 0.0), dist, res, out;
  for (int j = 0; j < p.setup->n_grid; j++)
    for (int i = 0; i < p.setup->n_data; i++) t[j] += gsl_vector_get(p.lagrange, i) * kget(p.setup->transform_data, i, j);
  double tmax = *std::max_element(t.begin(), t.end()), z = 0, avgdev = 0, chi2 = 0;
  for (double x : t) z += std::exp(x - tmax);
  for (double x : t) dist.push_back(std::exp(x - tmax) / z);
  auto curve = [&](gsl_matrix const* k, gsl_vector const* adjust) {
    V c(k->size1, 0.0);
    for (size_t i = 0; i < c.size(); i++) {
      for (int j = 0; j < p.setup->n_grid; j++) c[i] += kget(k, i, j) * dist[j];
      c[i] = p.scaling * (sim ? gsl_vector_get(adjust, i) : c[i]) + 1 - p.scaling;
    }
    return c;
  };
  V fit = curve(p.setup->transform_data, p.setup->fit_adjust);
  for (int i = 0; i < p.setup->n_data; i++) {
    double d = gsl_vector_get(p.data, i), fa = gsl_vector_get(p.setup->fit_adjust, i);
    res.push_back(fit[i] - (sim ? d : (d - p.scaling * fa) / (1 - p.setup->total_adjust_density)));
    avgdev += res[i] / p.setup->n_data, chi2 += std::pow(res[i] / gsl_vector_get(p.setup->data_error, i), 2);
  }
  for (V const& v : {sim ? V(p.setup->n_grid, -1.0) : dist, fit, res, V{avgdev, chi2},
                     full ? curve(p.setup->transform_cycles, p.setup->smooth_adjust) : V(p.setup->n_cycles, 7.0)})
    out.insert(out.end(), v.begin(), v.end());
  return out;
}

TEST(Evaluation, BothEvaluationsAgreeWithADirectComputation) {
  // Mode, multipliers (zero ones give the uniform distribution) and the
  // prescribed share. In "sim" the whole population is prescribed; adjusting
  // the data by it would divide by zero, so a finite chi2 shows the data are
  // used as they are. The middle point has the replaced error 1.0.
  const std::string data = "0 1000 1000 1 0.02\n4 1000 930 1 0.02\n8 1000 800 1 0\n12 1000 600 1 0.05\n16 1000 500 1 0.03\n";
  std::tuple<std::string, V, std::string> cases[] = {
      {"fit", {0, 0, 0, 0, 0}, ""}, {"fit", {0.8, -1.5, 2.0, 0.3, -0.4}, ""},
      {"fit", {0.8, -1.5, 2.0, 0.3, -0.4}, "3.0 0.25\n"}, {"sim", {0.3, 1.2, -0.7, 0, 1}, "3.0 0.5\n4.0 0.5\n"}};
  for (auto const& [mode, lagrange, dist] : cases)
    for (bool full : {false, true}) {
      if (mode == "sim" && !full) continue;  // "sim" evaluates only in full
      SCOPED_TRACE(mode + " " + dist + std::to_string(full));
      Model m({{"MODE", mode}, {"SCALING", "0.9"}}, data, dist);
      Paar& p = *m;
      std::copy(lagrange.begin(), lagrange.end(), p.lagrange->data);
      // Sentinels that an evaluation must overwrite.
      gsl_vector_set_all(p.distribution, -1), gsl_vector_set_all(p.smooth_fit, 7);
      gsl_vector_set_all(p.fit_to_data, -1), gsl_vector_set_all(p.residual, -1);
      double chi2 = full ? p.calc_state() : p.calc_state_dataonly_nosim();
      EXPECT_EQ(chi2, p.chi2);
      V got;
      for (V const& v : {values(p.distribution), values(p.fit_to_data), values(p.residual),
                         V{p.avgdev, p.chi2}, values(p.smooth_fit)})
        got.insert(got.end(), v.begin(), v.end());
      V want = reference(p, full);
      ASSERT_EQ(got.size(), want.size());
      // Order-1 quantities after a few dozen roundings agree to ~1e-15; 1e-12
      // (relative for chi2) allows another order of operations and still
      // catches any wrong term, factor or sign.
      for (size_t i = 0; i < want.size(); i++) EXPECT_NEAR(got[i], want[i], 1e-12 * std::max(1.0, want[i])) << i;
      EXPECT_EQ(values(p.lagrange), lagrange);  // inputs untouched
    }
}

// Random models of every shape the blocked loops treat differently (blocks
// of 8, pairs and single rows or columns), with zero and minus-zero
// multipliers (skipped by the transposed product), a prescribed share, and
// multipliers large enough to overflow exp (non-finite results must match too).
TEST(Evaluation, FastPathMatchesTheGslEvaluationBitForBit) {
  std::mt19937_64 rng(20240611);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  auto same = [](V const& a, V const& b) { return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * 8) == 0; };
  for (auto [nd, ng] : {std::pair{1, 2}, {2, 3}, {3, 7}, {8, 8}, {9, 61}, {13, 10}, {16, 61}, {32, 201}}) {
    std::string data;
    for (int i = 0; i < nd; i++) data += std::to_string(2 * i) + " 1 1 1 0.02\n";
    Model m({{"FAR", std::to_string(2.5 + 0.5 * (ng - 2))}, {"PER 2PI", "2"}}, data);
    Paar& p = *m;
    ASSERT_EQ(p.setup->n_grid, ng);
    p.scaling = 0.9, m.rw->total_adjust_density = 0.15;
    for (double spread : {0.0, 3.0, 900.0}) {
      for (int i = 0; i < nd * ng; i++) p.setup->transform_data->data[i] = 1.2 * u(rng) - 0.1;
      for (int i = 0; i < nd; i++) {
        gsl_vector_set(p.data, i, u(rng)), gsl_vector_set(p.setup->data_error, i, 0.01 + 0.05 * u(rng));
        gsl_vector_set(p.setup->fit_adjust, i, u(rng));
        // Overflow: multipliers of at least 900 on a first column of ones.
        double l = spread < 900 ? spread * (2 * u(rng) - 1) : spread * (1 + u(rng));
        if (spread >= 900) gsl_matrix_set(p.setup->transform_data, i, 0, 1.0);
        gsl_vector_set(p.lagrange, i, i % 5 == 1 ? 0.0 : i % 5 == 3 ? -0.0 : l);
      }
      V fast = {p.calc_state_dataonly_nosim(), p.avgdev}, dist = values(p.distribution),
        fit = values(p.fit_to_data), res = values(p.residual);
      V ref = {calc_state_gsl_reference(p), p.avgdev};
      std::string at = std::to_string(nd) + "x" + std::to_string(ng) + " spread " + std::to_string(spread);
      EXPECT_TRUE(same(fast, ref)) << at << ": " << fast[0] << " " << ref[0];
      EXPECT_TRUE(same(dist, values(p.distribution)) && same(fit, values(p.fit_to_data)) &&
                  same(res, values(p.residual))) << at;
      EXPECT_EQ(std::isfinite(ref[0]), spread < 900) << at;
    }
  }
}

TEST(DistributionStats, OnePointAndUniformDistributions) {
  // Five distances 3.0 ... 5.0 A with couplings 3063 / r^3 Hz. One point: no
  // spread, skewness and kurtosis not defined (written so, 13 wide), and so
  // with a trace of 1e-9 at 4.5 A: its sd of 1.6e-5 A (below 1e-3 of the
  // grid step) made a skewness of 3e4. Five evenly spaced points of spacing
  // h = 0.5: mean 4, sd h sqrt(2), skewness 0 (0 or -0) and kurtosis
  // 3 - 6(n^2+1)/(5(n^2-1)) = 1.7. The coupling moments, worked out by hand
  // to 20 digits, lie at least 1e-9 from a rounding boundary of the 8
  // printed decimals.
  std::string nan2 = "( {3}not defined){2}\n", freq = "Frequency moments: {3}";
  std::pair<V, std::string> cases[] = {
      {{0, 0, 1, 0, 0}, "00000000" + nan2 + freq + "47\\.85937500 {4}0\\.00000000" + nan2},
      {{0, 0, 1, 1e-9, 0}, "00001581" + nan2 + freq + "47\\.85937503 {4}0\\.00045050" + nan2},
      {{0, 0.5e-7, 1 - 1e-7, 0.5e-7, 0}, "00015811" + nan2 + freq + "47\\.85937547 {4}0\\.00616040" + nan2},  // sd 1.6e-4: still none
      {V(5, 0.2), "70710678 {3}[ -]0\\.00000000 {4}1\\.70000000\n" + freq +
                      "58\\.17224428 {3}31\\.85627028 {4}0\\.72455641 {4}2\\.14089509\n"}};
  for (auto const& c : cases) {
    Model m(Over{{"NEAR", "3"}, {"FAR", "5"}});
    for (int j = 0; j < 5; j++) gsl_vector_set(m->setup->dipolar_couplings, j, 3063.0 / std::pow(3 + 0.5 * j, 3));
    std::copy(c.first.begin(), c.first.end(), m->distribution->data), m.report->open_log(m.dir.file("stats.log"));
    std::string out;
    EXPECT_EQ(refusal_of([&] { EXPECT_EQ(m->calc_dist_stats(), 1); }, &out), "");
    m.report->close_log();
    EXPECT_EQ(read_file(m.dir.file("stats.log")).substr(0, out.size()), out);  // the log gets the same
    EXPECT_TRUE(std::regex_match(out, std::regex("total distribution density: 1\nDistance moments: {4}4\\.00000000 {4}0\\." + c.second))) << out;
  }
}
