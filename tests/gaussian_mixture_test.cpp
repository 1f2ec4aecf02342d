// Truncated-Gaussian mixture distances: the curve and Jacobian of the model,
// recovery of known mixtures, the choice of k by AIC, and determinism.
// The kernel is the exact powder REDOR curve (checked against independent
// values in exact_kernel_test).
#include <gsl/gsl_cdf.h>
#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "model/exact_kernel.h"
#include "solver/gaussians/gaussians_report.h"
#include "solver/gaussians/gaussians_run.h"
#include "solver/gaussians/gaussian_fit.h"
#include "solver/gaussians/weight_profile.h"
#include <gsl/gsl_linalg.h>
#include "model/gaussian_mixture.h"
#include "model/peaks.h"
#include "assessment/split_shares.h"
#include "tests/test_support.h"

// 13C-15N (3066 Hz A^3), MAS 5000 Hz, N_c = 4, 8, ..., 100: 25 points;
// grid 2.5 - 6.0 Angstrom every 0.05.
constexpr double kNear = 2.5, kFar = 6.0;
static FitProblem cn_problem(std::vector<double> const& target, double sigma, double scaling = 1.0, int n = 25) {
  FitProblem fp = ts::cn_exact(n, 2.0, kNear, kFar);
  fp.scaling = scaling;
  fp.target = target.empty() ? std::vector<double>(n, 1.0) : target, fp.sigma.assign(n, sigma);
  return fp;
}

static std::vector<double> truth_curve(MixtureShape const& m, double scaling = 1.0, int n = 25) {
  FitProblem fp = cn_problem({}, 1.0, scaling, n);
  std::vector<double> f;
  GaussianMixture(fp, kNear, kFar).curve(m, f);
  return f;
}

TEST(GaussianMixture, CurveMatchesDirectIntegrationOfThePdf) {
  // The first one cut off at near; the third, wider than 1 Angstrom on a grid 5.5 Angstrom long,
  // reaches down to near from 2.9 sds above.
  MixtureShape m{{0.3, 0.5, 0.2}, {2.6, 4.1, 7.8}, {0.3, 0.12, 1.8}};
  const double s = 0.8, near = 2.5, far = 8.0;
  FitProblem fp = ts::cn_exact(25, 2.0, near, far); fp.scaling = s, fp.target.assign(25, 1.0), fp.sigma.assign(25, 1.0);
  GaussianMixture gm(fp, near, far);
  std::vector<double> f;
  gm.curve(m, f);
  // Bin masses by Simpson's rule (20 panels per 0.01 bin) of each truncated
  // pdf; the kernel at the bin centres from the exact formula.
  auto pdf = [&](double r) {
    double v = 0.0;
    for (int c = 0; c < 3; c++) {
      double z = gsl_cdf_gaussian_P(far - m.centre[c], m.width[c]) - gsl_cdf_gaussian_P(near - m.centre[c], m.width[c]);
      v += m.weight[c] * gsl_ran_gaussian_pdf(r - m.centre[c], m.width[c]) / z;
    }
    return v;
  };
  std::vector<double> direct(25, 1.0 - s);
  double total = 0.0;
  for (int b = 0; b < 550; b++) {
    double a = near + 0.01 * b, h = 0.01 / 20, mass = 0.0;
    for (int q = 0; q <= 20; q++) mass += (q == 0 || q == 20 ? 1 : q % 2 ? 4 : 2) * pdf(a + q * h);
    mass *= h / 3.0, total += mass;
    for (int i = 0; i < 25; i++)
      direct[i] += s * mass * redor_exact(2.0 * (i + 1) * 3066.0 / std::pow(a + 0.005, 3) / 5000.0);
  }
  // Simpson error on these bins ~ h^4 f'''' / 180 ~ 1e-14 per bin; sums of 550 terms.
  EXPECT_NEAR(total, 1.0, 1e-11);
  for (int i = 0; i < 25; i++) EXPECT_NEAR(f[i], direct[i], 1e-11) << i;
  std::vector<double> g = gm.grid_mass(m);
  EXPECT_NEAR(std::accumulate(g.begin(), g.end(), 0.0), 1.0, 1e-13);  // rounding of 111 terms
}

TEST(GaussianMixture, AnalyticJacobianMatchesFiniteDifferences) {
  FitProblem fp = cn_problem(truth_curve({{1.0}, {3.5}, {0.2}}), 0.01, 0.9);
  GaussianMixture gm(fp, kNear, kFar);
  std::vector<std::vector<double>> points = {
      {0.3, -1.0},                                     // k = 1
      {-2.0, -4.0, 1.5, 0.5, 0.7},                     // k = 2, one narrow near the floor
      {-3.0, 0.2, 0.0, -1.0, 2.5, -2.0, -0.4, 0.9}};  // k = 3, one centre near `near`
  for (auto const& th : points) {
    int k = static_cast<int>(th.size() + 1) / 3, np = static_cast<int>(th.size());
    std::vector<double> jac(25 * np), rp(25), rm(25);
    gm.jacobian(th.data(), k, jac.data());
    for (int p = 0; p < np; p++) {
      std::vector<double> a = th, b = th;
      a[p] += 1e-6, b[p] -= 1e-6, gm.residuals(a.data(), k, rp.data()), gm.residuals(b.data(), k, rm.data());
      for (int i = 0; i < 25; i++) {
        double fd = (rp[i] - rm[i]) / 2e-6;
        // Central differences: truncation ~ h^2 f''' ~ 1e-12 and rounding
        // ~ 1e-16 * |r| / h ~ 1e-8 for residuals up to 100.
        EXPECT_NEAR(jac[i * np + p], fd, 1e-6 + 1e-6 * std::fabs(fd)) << "k " << k << " p " << p << " i " << i;
      }
    }
  }
}

TEST(GaussianMixture, RecoversANoiselessTwoGaussianTruth) {
  MixtureShape truth{{0.6, 0.4}, {3.2, 4.3}, {0.15, 0.25}};
  MixtureSelection sel = fit_gaussian_mixtures(cn_problem(truth_curve(truth), 0.01), kNear, kFar);
  ASSERT_EQ(sel.chosen, 1);
  MixtureFit const& f = sel.fits[1];
  EXPECT_LT(f.chi2, 1e-6);  // exact data: only the solver's tolerance remains
  // Noiseless, so the truth is the global minimum; the tolerances allow for
  // the flat directions of a curve sampled at 25 points stopping early.
  for (int c = 0; c < 2; c++) {
    EXPECT_NEAR(f.comp[c].weight, truth.weight[c], 0.01) << c;
    EXPECT_NEAR(f.comp[c].centre, truth.centre[c], 0.01) << c;
    EXPECT_NEAR(f.comp[c].width, truth.width[c], 0.01) << c;
  }
  EXPECT_NEAR(std::accumulate(sel.grid_mass.begin(), sel.grid_mass.end(), 0.0), 1.0, 1e-13);
  EXPECT_NEAR(sel.mean, 0.6 * 3.2 + 0.4 * 4.3, 1e-3);  // truncation at 2.5 moves it ~1e-6
  // The shortest range the Gaussians accept (FAR - NEAR above 0.1) has room for widths (half of it) above 0.04.
  EXPECT_NO_THROW(GaussianMixture(cn_problem({}, 1.0), 3.0, 3.11)); EXPECT_THROW(GaussianMixture(cn_problem({}, 1.0), 3.0, 3.04), std::invalid_argument);
}

TEST(GaussianMixture, AicChoosesOneGaussianUnderNoiseAndIsDeterministicOnASharedKernel) {
  struct { double centre, width, noise; unsigned long seed; } cases[] = {
      {3.5, 0.2, 0.01, 1}, {4.0, 0.05, 0.02, 2}, {3.0, 0.4, 0.015, 3}};
  gsl_rng* rng = gsl_rng_alloc(gsl_rng_mt19937);
  for (auto const& c : cases) {
    std::vector<double> y = truth_curve({{1.0}, {c.centre}, {c.width}});
    gsl_rng_set(rng, c.seed);
    for (double& v : y) v += gsl_ran_gaussian(rng, c.noise);
    FitProblem fp = cn_problem(y, c.noise);
    MixtureSelection a = fit_gaussian_mixtures(fp, kNear, kFar);
    // The same fit from the sub-grid kernel of another mixture on these
    // points (as a bootstrap replicate takes it): its own kernel is never asked.
    FitProblem blind = fp;
    int calls = 0;
    blind.kernel_at = [&calls](std::vector<double> const&, std::vector<double>&) { calls++; };
    MixtureSelection b = fit_gaussian_mixtures(blind, kNear, kFar, {}, GaussianMixture(fp, kNear, kFar).fine_kernel());
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(a.chosen, 0) << c.centre;
    // chi2 of 25 points with 2 parameters: mean 23, sd ~7; 60 is far out.
    EXPECT_LT(a.fits[0].chi2, 60.0) << c.centre;
    // The centre of a single distance is what REDOR measures best.
    EXPECT_NEAR(a.fits[0].comp[0].centre, c.centre, 0.05) << c.centre;
    EXPECT_EQ(std::tie(a.grid_mass, a.curve), std::tie(b.grid_mass, b.curve));
    for (int k = 0; k < 3; k++) EXPECT_EQ(a.fits[k].chi2, b.fits[k].chi2);
    // AIC: chi2 + 2 per free parameter, 3k - 1 of them (the weights sum to 1).
    for (MixtureFit const& f : a.fits) if (f.ok) { EXPECT_NEAR(f.aic, f.chi2 + 2.0 * (3 * f.k - 1), 1e-12 * f.aic) << f.k; }
    if (c.width >= 0.2) { EXPECT_FALSE(a.fits[0].comp[0].width_at_floor) << c.centre; }  // broad: measured
  }
  // A single distance: the fit wants a width below the 0.02 A floor and says so.
  MixtureSelection s = fit_gaussian_mixtures(cn_problem(truth_curve({{1.0}, {3.5}, {0.001}}), 0.01), kNear, kFar);
  ASSERT_TRUE(s.fits[0].ok);
  EXPECT_TRUE(s.fits[0].comp[0].width_at_floor);
  // Three Gaussians (8 parameters) are fitted to 8 points, not to 7.
  for (int n : {8, 7}) EXPECT_EQ(fit_gaussian_mixtures(cn_problem(std::vector<double>(n, 0.6), 0.01, 1.0, n), kNear, kFar).fits[2].ok, n == 8) << n;
  gsl_rng_free(rng);
}

TEST(GaussianMixture, ReportShowsEachKAndTheChosenComponents) {
  MixtureSelection sel;
  sel.fits = {{1, {{1.0, 3.5, 0.3, false}}, 40.0, 44.0, true},
              {2, {{0.6, 3.2, 0.021, true}, {0.4, 4.3, 0.25, false}}, 10.0, 20.0, true}, {3, {}, 0.0, 0.0, false}};
  sel.chosen = 1, sel.mean = 3.64, sel.sd = 0.57;
  std::vector<std::string> want = {"Gaussian distance models, each truncated to 2.500 - 6.000 Angstrom",
      "  k          chi2           AIC", "  1       40.0000       44.0000", "  2       10.0000       20.0000  chosen",
      "  3  not fitted (fewer data points than parameters)",
      "Chosen: 2 Gaussians, mean 3.640 Angstrom, sd 0.570 Angstrom", "   weight   centre (Angstrom)   width (Angstrom)",
      "    0.600               3.200   not determined by these data (at the 0.02 Angstrom floor)",
      "    0.400               4.300   0.250"};
  EXPECT_EQ(gaussian_report_lines(sel, 2.5, 6.0), want);
  // Five replicates, three with the fit's k = 2 (centres 3.1, 3.2, 3.6 and
  // 4.3, 4.3, 4.3): each k counted, and the sample mean and sd of those three.
  std::vector<ReplicateResult> reps;
  for (std::vector<double> e : {std::vector<double>{2, 0.5, 3.1, 0.1, 0.5, 4.3, 0.2}, {1, 1, 3.5, 0.3},
                                {2, 0.6, 3.2, 0.1, 0.4, 4.3, 0.2}, {3, 0.2, 3, 0.1, 0.4, 3.5, 0.1, 0.4, 4, 0.1},
                                {2, 0.7, 3.6, 0.1, 0.3, 4.3, 0.2}})
    reps.push_back({true, 1.0, {}, e});
  EXPECT_EQ(gaussian_bootstrap_lines(mixture_spread(sel, reps)),
            (std::vector<std::string>{"Bootstrap: k = 1 chosen 1, k = 2 chosen 3, k = 3 chosen 1 of 5 replicates",
                                      "Over the 3 replicates with the fit's k (mean +- sd):",
                                      "   weight            centre (Angstrom)   width (Angstrom)",
                                      " 0.600 +- 0.100     3.300 +- 0.265    0.100 +- 0.000",
                                      " 0.400 +- 0.100     4.300 +- 0.000    0.200 +- 0.000"}));
}


// Two populations on a curve long enough to tell them apart: each fit with the nearer weight
// held is the fit it says (its chi2 recomputed from its curve) and the minimum at that weight
// (chi2 within 10 % of the linearised profile's ((w - 0.6) / sd_w)^2, sd_w^2 from the inverse
// of J^T J, J by central differences in weight, centres and widths); the held weights, 0.02
// apart, reach the last step before the profile's ends at 0.6 +- 1.96 sd_w, and one beyond on either side.
TEST(GaussianMixture, WeightProfileReachesTheLinearisedEndsWithFitsThatAreWhatTheySay) {
  MixtureShape truth{{0.6, 0.4}, {3.2, 4.3}, {0.15, 0.25}};
  FitProblem fp = cn_problem(truth_curve(truth, 1.0, 60), 0.01, 1.0, 60);
  std::vector<WeightProfilePoint> prof =
      two_gaussian_weight_profile(GaussianMixture(fp, kNear, kFar), fit_gaussian_mixtures(fp, kNear, kFar).fits[1], 3.84);
  std::vector<std::vector<double>> J(5, std::vector<double>(60));
  for (int j = 0; j < 5; j++)
    for (double h : {1e-5, -1e-5}) {
      MixtureShape m = truth;
      *std::array<double*, 5>{&m.weight[0], &m.centre[0], &m.width[0], &m.centre[1], &m.width[1]}[j] += h, m.weight[1] = 1 - m.weight[0];
      std::vector<double> f = truth_curve(m, 1.0, 60);
      for (size_t i = 0; i < f.size(); i++) J[j][i] += f[i] / (2 * h) / 0.01;
    }
  gsl_matrix* F = gsl_matrix_alloc(5, 5);
  for (int a = 0; a < 25; a++) gsl_matrix_set(F, a / 5, a % 5, std::inner_product(J[a / 5].begin(), J[a / 5].end(), J[a % 5].begin(), 0.0));
  gsl_linalg_cholesky_decomp1(F), gsl_linalg_cholesky_invert(F);
  double half = 1.96 * std::sqrt(gsl_matrix_get(F, 0, 0)), lo = 1.0, hi = 0.0, beyond = 0;  // beyond: fits past the ends
  gsl_matrix_free(F);
  for (WeightProfilePoint const& p : prof) {
    std::vector<double> f = truth_curve(p.shape, 1.0, 60);
    double c2 = 0.0, lin = std::pow((p.shape.weight[0] - 0.6) / (half / 1.96), 2);
    for (size_t i = 0; i < f.size(); i++) c2 += std::pow((f[i] - fp.target[i]) / 0.01, 2);
    EXPECT_TRUE(std::fabs(c2 - p.chi2) < 1e-9 && (c2 > 3.84 || std::fabs(c2 - lin) < 0.1 * lin + 1e-9)) << c2 << " " << lin;
    beyond += c2 > 3.84 && std::fabs(p.shape.weight[0] - 0.6) > half;
    if (c2 <= 3.84) lo = std::min(lo, p.shape.weight[0]), hi = std::max(hi, p.shape.weight[0]);
  }
  EXPECT_TRUE(beyond == 2 && lo >= 0.6 - half && lo < 0.62 - half && hi <= 0.6 + half && hi > 0.58 + half) << lo << " " << hi << " " << half;
  // The two peaks' shares over those fits: mirror images (each fit's two shares sum to 1), the first peak's (monotone
  // in its weight) reaching the level on either side, linear in chi2 between the last fit within it and the first beyond.
  GaussianMixture gm(fp, kNear, kFar);
  auto s = split_share_ranges(gm, fit_gaussian_mixtures(fp, kNear, kFar).fits[1], 3.84);
  std::vector<std::array<double, 3>> w;  // weight, chi2 and first peak's share of each fit, in order of weight
  for (auto const& p : prof) w.push_back({p.shape.weight[0], p.chi2, distribution_peaks(fp.distance, gm.grid_mass(p.shape))[0].share});
  std::sort(w.begin(), w.end());
  double level = (*std::min_element(w.begin(), w.end(), [](auto& a, auto& b) { return a[1] < b[1]; }))[1] + 3.84;
  std::vector<double> ends;
  for (size_t i = 0; i + 1 < w.size(); i++)  // where the next fit lies on the other side of the level
    if ((w[i][1] <= level) != (w[i + 1][1] <= level)) ends.push_back(w[i][2] + (level - w[i][1]) / (w[i + 1][1] - w[i][1]) * (w[i + 1][2] - w[i][2]));
  ASSERT_TRUE(s.size() == 2 && ends.size() == 2) << s.size() << " " << ends.size();
  EXPECT_TRUE(std::fabs(s[0][0] + s[1][1] - 1) < 1e-9 && std::fabs(s[0][1] + s[1][0] - 1) < 1e-9 && std::fabs(s[0][0] - ends[0]) < 1e-12 &&
              std::fabs(s[0][1] - ends[1]) < 1e-12) << s[0][0] << " " << s[0][1] << " " << s[1][0] << " " << ends[0] << " " << ends[1];
}
