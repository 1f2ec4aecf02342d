// Mass where the data see no full dephasing cycle against a lower SCALING:
// the first minimum of the kernel, the distance that completes one cycle, and
// whole runs on 13C-15N data (a Gaussian at 4.2 Angstrom, sd 0.3, 80 % of the
// pairs dephasable, made by bench/synth_redor) told SCALING 1.

#include <array>
#include <nlohmann/json.hpp>

#include "model/dephasing_cycle.h"
#include "output/scaling_report.h"
#include "assessment/flat_peak.h"
#include "solver/scaling/scaling_fit.h"
#include "solver/scaling/scaling_trap.h"
#include "tests/test_support.h"

using namespace ts;

TEST(ScalingTrap, FirstMinimumAndFullCycleDistanceOfTheKernel) {
  // The exact curve's first minimum, lambda_D 0.8356550736 (S/S0 -0.04295),
  // by golden section on (sqrt(2) pi / 4) J_1/4(x) J_-1/4(x) with GSL's Bessel
  // functions; the powder average of 100 angles per 2 pi lies close to it.
  // D = 3062.61 Hz A^3 for 13C-15N; r = (j D / (MAS lambda_min))^(1/3).
  struct { char const *per_2pi, *mas; int nc_max; double tol; } const cases[] = {
      {"0", "10000", 560, 1e-4}, {"0", "5000", 64, 1e-4}, {"100", "10000", 560, 5e-3}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.per_2pi);
    std::string data = strf("0 1 1 1 0.01\n%d 1 0.5 0.5 0.01\n%d 1 0.2 0.2 0.01\n", c.nc_max / 2, c.nc_max);
    Model m({{"PER 2PI", c.per_2pi}, {"MAS", c.mas}}, data);
    double lm = first_minimum_lambda(*m.rw);
    EXPECT_NEAR(lm, 0.8356550736, c.tol);
    double want = std::cbrt(c.nc_max / 2 * 3062.61 / (std::stod(c.mas) * 0.8356550736));
    EXPECT_NEAR(full_cycle_distance(*m.rw, lm), want, 2e-3 * want);
    EXPECT_TRUE(std::isnan(full_cycle_distance(*m.rw, 0.0)));  // a curve that never falls has no cycle
  }
  // Share and mean distance beyond 4: 0.3 at 4.5 and 0.1 at 5.5.
  double at = 0;
  EXPECT_NEAR(share_beyond({3, 4, 4.5, 5.5}, {0.4, 0.2, 0.3, 0.1}, 4.0, &at), 0.4, 1e-12);
  EXPECT_NEAR(at, 4.75, 1e-12);
}

// Short (N_c to 200) and long (N_c to 560) curves at 10 kHz, FAR 9.5: the
// far mass that SCALING 1 asks for must be named with SCALING near 0.8.
class ScalingTrapRun : public testing::TestWithParam<std::tuple<std::string, std::string>> {};
TEST_P(ScalingTrapRun, EverySolverWarnsAndSupportsNoPeakBeyondOneCycle) {
  auto const& [curve, solver] = GetParam();  // each a test of its own: CTest spreads the runs over the cores
  Workspace w("", read_file(REDORDIST_SOURCE_DIR "/tests/fixtures/cn_4.2_scaling0.8_" + curve + ".dat"));
  write_file(w.dir.file("p.par"), param_text({{"MAS", "10000"}, {"FAR", "9.5"}, {"GRAIN", "0.1"},
                                              {"PER 2PI", "0"}, {"NTRIES", "2"}, {"ITERS AT TEMP", "200"}}));
  RunResult r = w.run_args({"--solver", solver, "p.par"}); ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(w.out(".log").find("no full dephasing cycle there"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("widen FAR"), std::string::npos) << r.out;
  nlohmann::json j = nlohmann::json::parse(w.out(".json"));
  ASSERT_TRUE(j.contains("scaling_trap"));
  auto const& t = j["scaling_trap"];
  EXPECT_LE(t["scaling_allowed"][0].get<double>(), 0.8);
  // SCALING 1 as told, inside what the data allow or not, is the verdict.
  bool inside = t["scaling_allowed"][0].get<double>() <= 1.001 && t["scaling_allowed"][1].get<double>() >= 0.999;
  std::string log = w.out(".log");
  EXPECT_NE(log.find(inside ? "these data cannot tell them apart" : "the data prefer the second"), std::string::npos) << log;
  int supported_far = 0, supported = 0;
  for (auto const& p : j["distance"]["peaks"])
    supported_far += p["supported"].get<bool>() && p["position"].get<double>() > 5.5, supported += p["supported"].get<bool>();
  EXPECT_EQ(supported_far, 0) << j["distance"]["peaks"].dump();
  EXPECT_EQ(j["distance"]["supported_peaks"].get<int>(), std::max(1, supported));  // the count the Peaks line gives
  EXPECT_EQ(log.find("may be the solver's own"), std::string::npos);  // the trap's warning said it
}
INSTANTIATE_TEST_SUITE_P(ScalingTrap, ScalingTrapRun,
                         testing::Combine(testing::Values("short", "long"), testing::Values("maxent", "gaussians", "annealing")));

TEST(ScalingTrap, ParametersOfTheCriterionAndTheFlatToppedPeaksMoments) {
  // AIC counts 3k - 1 parameters for k Gaussians, G for the maximum entropy,
  // none when the solver does not say.
  std::pair<char const*, double> const crit[] = {{R"({"chosen_k": 1})", 2}, {R"({"chosen_k": 3})", 8},
                                                 {R"({"G": 4.25})", 4.25}, {"{}", 0}};
  for (auto const& [details, want] : crit) EXPECT_EQ(fit_parameters(nlohmann::json::parse(details)), want) << details;
  // A band of half-width h blurred by sd e: mean c, variance h^2 / 3 + e^2.
  std::vector<double> r;
  for (double x = 0.0; x < 10.0; x += 0.001) r.push_back(x);
  double const bands[][3] = {{5.0, 1.0, 0.05}, {4.0, 0.3, 0.2}, {6.0, 1.5, 0.3}};
  for (auto const& b : bands) {
    std::vector<double> m = flat_peak_mass(r, b[0], b[1], b[2]);
    double m1 = 0, m2 = 0;
    for (size_t i = 0; i < r.size(); i++) m1 += m[i] * r[i], m2 += m[i] * r[i] * r[i];
    EXPECT_NEAR(m1, b[0], 1e-6);
    EXPECT_NEAR(m2 - m1 * m1, b[1] * b[1] / 3 + b[2] * b[2], 1e-5);
  }
}

// The other explanation from a planted profile (SCALING 1 told, 20 % of the
// distribution beyond 4.0 Angstrom): the allowed SCALING that clears the far
// side, none within a scan step of the one told, else the allowed SCALING
// farthest from it. {scaling, aic, beyond} per point; the other SCALING or 0.
// Another SCALING is another explanation from one scan step (0.05) away from the one told, not nearer.
TEST(ScalingTrap, TheOtherExplanationOfAPlantedProfile) {
  using P = std::vector<std::array<double, 3>>;
  const std::pair<P, double> cases[] = {{{{0.7, 14.5, 0.0}, {0.8, 10.5, 0.01}, {1.0, 10.0, 0.2}}, 0.8},
                                        {{{0.98, 10.2, 0.0}, {1.0, 10.0, 0.2}}, 0.0}, {{{0.95, 10.2, 0.0}, {1.0, 10.0, 0.2}}, 0.95},
                                        {{{0.6, 13.0, 0.15}, {0.8, 11.0, 0.19}, {1.0, 10.0, 0.2}}, 0.6},
                                        {{{0.6, 11.0, 0.15}, {0.8, 10.5, 0.0}, {1.0, 10.0, 0.2}}, 0.8}};
  for (auto const& [points, other] : cases) {
    Model m;
    gsl_vector_set(m->distribution, 2, 0.8), gsl_vector_set(m->distribution, 7, 0.2);  // 3.5 and 6.0 Angstrom
    ScalingTrap& t = m->results.scaling_trap;
    t.checked = true, t.cycle_distance = 4.0;
    ScalingProfile& sp = m->results.scaling_fit;
    sp.fitted = true, sp.aic = 10.0, sp.lo4 = points.front()[0], sp.hi4 = 1.0;
    for (auto const& q : points) sp.points.push_back({q[0], q[1], q[1], q[2], 5.0, 3.5});
    check_scaling_trap(*m, nullptr);
    EXPECT_NEAR(t.share, 0.2, 1e-12);
    EXPECT_EQ(t.found, other > 0) << other;
    EXPECT_EQ(other > 0 ? t.other.scaling : 0.0, other);
  }
  for (double beyond : {0.05, 0.06}) {  // exactly 5 % beyond is not more than it: no trap whatever the profile says
    Model edge;
    gsl_vector_set(edge->distribution, 2, 1.0 - beyond), gsl_vector_set(edge->distribution, 7, beyond);
    edge->results.scaling_trap.checked = edge->results.scaling_fit.fitted = true, edge->results.scaling_trap.cycle_distance = 4.0;
    edge->results.scaling_fit.aic = 10.0, edge->results.scaling_fit.lo4 = 0.7, edge->results.scaling_fit.hi4 = 1.0;
    for (auto const& q : cases[0].first) edge->results.scaling_fit.points.push_back({q[0], q[1], q[1], q[2], 5.0, 3.5});
    check_scaling_trap(*edge, nullptr);
    EXPECT_EQ(edge->results.scaling_trap.found, beyond > 0.055) << beyond;
  }
  Model m;  // a cycle short of NEAR: the whole distribution, its first grid distance included, lies beyond
  gsl_vector_set(m->distribution, 0, 0.5), gsl_vector_set(m->distribution, 7, 0.5);
  m->results.scaling_trap.checked = m->results.scaling_fit.fitted = true, m->results.scaling_trap.cycle_distance = 2.0;
  check_scaling_trap(*m, nullptr); EXPECT_EQ(m->results.scaling_trap.share, 1.0);
}

// fit_scaling over a planted solver whose unscaled curve is fixed,
// c_i = 1 - 0.1 i: chi2(s) = sum ((1 - s (1 - c_i)) - y_i)^2 / e_i^2 is a
// parabola A (s - s*)^2 + chi2(s*), with A = sum ((1 - c_i) / e_i)^2, so the
// best SCALING and the ends of the ranges within 1 and 4 are known exactly
// (the search and the bisections stop at 1e-3 in SCALING).
static SolverFit fixed_curve_fit(Paar const& p) {
  SolverFit f;
  f.ok = true, f.distribution.assign(p.setup->n_grid, 0.0), f.distribution[2] = 1.0;
  for (int i = 0; i < p.setup->n_data; i++) f.curve.push_back(1.0 - 0.1 * i);
  f.details = {{"G", 0.0}};
  return f;
}

TEST(ScalingTrap, FittedScalingAndItsRangesOnAPlantedParabola) {
  for (double truth : {0.8, 0.4, 0.0}) {
    std::string data;
    for (int i = 0; i < 9; i++) data += strf("%d 1 %.4f 1 0.05\n", 4 * i, 1.0 - truth * 0.1 * i + (i % 2 ? 0.01 : -0.01));
    Model m({}, data);
    double a = 0, ab = 0;
    for (int i = 0; i < 9; i++) {
      double e = gsl_vector_get(m->setup->data_error, i), ai = 0.1 * i / e;
      a += ai * ai, ab += ai * (1.0 - gsl_vector_get(m->data, i)) / e;
    }
    double best = ab / a, one = 1.0 / std::sqrt(a);
    ScalingProfile sp = fit_scaling(*m, fixed_curve_fit);
    ASSERT_TRUE(sp.fitted);
    EXPECT_EQ(sp.at_scan_end, truth == 0.0) << sp.best;  // no dephasing: the best at the scan's low end, 0.05
    if (truth == 0.0) continue;
    double const want[5][2] = {{sp.best, best},           {sp.lo1, best - one},     {sp.hi1, best + one},
                               {sp.lo4, best - 2 * one}, {sp.hi4, best + 2 * one}};
    for (auto const& w : want) EXPECT_NEAR(w[0], w[1], 1e-3) << truth;
    double r2 = gsl_vector_get(m->setup->distances, 2);
    for (ScalingPoint const& q : sp.points)  // all the mass at the third distance: r_eff and the one peak there
      EXPECT_TRUE(std::fabs(q.effective - r2) < 1e-12 && q.peaks.size() == 1 && std::fabs(q.peaks[0] - r2) < 1e-12) << q.scaling;
  }
  // A curve that never dephases fits every SCALING alike: on such ties the search keeps the scan's low end.
  Model flat({}, "0 1 1 1 0.05\n0 1 0.98 0.98 0.05\n");
  ScalingProfile sf = fit_scaling(*flat, [](Paar const& p) { SolverFit f = fixed_curve_fit(p); return f.curve.assign(p.setup->n_data, 1.0), f; });
  EXPECT_TRUE(sf.fitted && sf.best < 0.05 + 1e-3 && sf.lo4 == 0.05 && sf.hi4 == 1.2) << sf.best;
}

// Each SCALING limit from both sides: a fitted SCALING is not determined at
// the scan's end, past 1 by more than 1e-3 or over more than 0.1; SCALING as
// told (1.0) outside the trap's allowed range by more than 1e-3, on either
// side, is the data preferring the second explanation.
TEST(ScalingTrap, LimitsFromBothSides) {
  struct { bool end; double lo4, hi4; bool undetermined, told_out; } const cases[] = {
      {false, 0.95, 1.0009, false, false}, {false, 0.95, 1.0011, true, false}, {false, 0.8001, 0.9, false, true},
      {false, 0.7999, 0.9, true, true},    {true, 0.8, 0.85, true, true},      {false, 0.8, 0.9985, true, true},
      {false, 0.8, 0.9995, true, false},   {false, 1.0015, 1.1, true, true},   {false, 1.0005, 1.1, true, false}};
  Model m;
  ScalingTrap& t = m->results.scaling_trap;
  t.found = t.profile.fitted = true;
  for (auto const& c : cases) {
    t.profile.at_scan_end = c.end, t.profile.lo4 = c.lo4, t.profile.hi4 = c.hi4;
    std::string w = scaling_trap_warning(*m), verdict = c.told_out ? "the data prefer the second" : "cannot tell them apart";
    EXPECT_EQ(scaling_undetermined(t.profile), c.undetermined) << c.lo4 << " " << c.hi4;
    EXPECT_NE(w.find(verdict), std::string::npos) << w;
  }
  // The other SCALING as told and its share not halved: the mass is not placed, in percent.
  t.share = 0.23, t.cycle_distance = 2.86, t.other.scaling = 1.0, t.other.beyond = 0.2;
  EXPECT_EQ(scaling_trap_warning(*m).substr(0, 80),
            "warning: 23 % of the mass beyond 2.86 Angstrom is not placed by these data: no f");
  // Halved and more at the other SCALING, 0.8: the share left there, in percent.
  t.other.scaling = 0.8, t.other.beyond = 0.07; EXPECT_NE(scaling_trap_warning(*m).find("; with SCALING 0.80, 7 % lies there (the data allow"), std::string::npos);
}
