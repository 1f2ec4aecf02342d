// What a user takes from a run: the tidy CSV tables and the summary's copies
// of them, the closing block of standard output, what a simulation says of
// itself, and the comparison of the three solvers.

#include <fcntl.h>
#include <sys/file.h>

#include <algorithm>
#include <array>

#include <nlohmann/json.hpp>

#include "model/effective_distance.h"
#include "numeric/percentile.h"
#include "numeric/report.h"
#include "output/compare_report.h"
#include "assessment/assess.h"
#include "output/determined_report.h"
#include "output/run_summary.h"
#include "output/scaling_report.h"
#include "tests/test_support.h"

using namespace ts;
using json = nlohmann::json;

// Reads the three tables of a run with Python's csv module: prints each
// header and row count, and fails unless every field is a number and the
// summary's array holds the same rows.
const char* const kReadTables = R"(
import csv, json, sys
stem = sys.argv[1]
j = json.load(open(stem + '.json'))
for key in ('distribution', 'curve', 'curve_smooth'):
    rows = list(csv.reader(open(stem + '-' + key.replace('_', '-') + '.csv', newline='')))
    data = [[float(x) for x in r] for r in rows[1:]]
    assert all(len(r) == len(rows[0]) for r in data), key
    assert [dict(zip(rows[0], r)) for r in data] == j[key], key
    print(','.join(rows[0]), len(data))
)";

static std::string col(json const& t, char const* key, size_t i) { return std::to_string(t[i][key].get<double>()); }

TEST(Tables, CsvAndSummaryOfEveryModeAndTheClosingBlock) {
  const std::string dist = "3.0 0.6\n4.5 0.4\n";
  struct { std::string solver; Over over; std::string headers; } cases[] = {  // FAR 4.5: 2.5 to 5.0, 6 distances
      {"annealing", {{"FAR", "4.5"}}, "r_angstrom,density_per_angstrom 6\n"},
      {"gaussians", {{"PER 2PI", "0"}, {"FAR", "4.5"}}, "r_angstrom,density_per_angstrom 6\n"},
      {"annealing", {{"MODE", "err"}, {"FAR", "4.5"}}, "r_angstrom,density_per_angstrom,band_mean,band_sd,band_low95,band_high95 6\n"},
      {"annealing", {{"MODE", "sim"}, {"DISTDIST", "dist.dat"}, {"FAR", "4.5"}}, "r_angstrom,fraction 2\n"}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.solver + " " + param_text(c.over).substr(0, 10));
    Workspace w("", kCurveData);
    write_file(w.dir.file("dist.dat"), dist);
    write_file(w.dir.file("p.par"), param_text(c.over)), write_file(w.dir.file("tables.py"), kReadTables);
    RunResult r = w.run_args({"--solver", c.solver, "p.par"}); ASSERT_EQ(r.status, 0) << r.out;
    ASSERT_EQ(std::system(("cd '" + w.dir.path() + "' && " REDORDIST_TEST_PYTHON " tables.py run/run > tables.txt").c_str()), 0);
    EXPECT_EQ(w.file("tables.txt"), c.headers + "n_c,time_ms,s_s0,error,fit,residual 9\nn_c,time_ms,fit 33\n");
    json j = json::parse(w.out(".json")), d = j["distribution"], k = j["curve"], s = j["distance"];
    // The curve: S/S0 of the data, time = N_c / MAS, residual = data - fit.
    for (size_t i = 0; i < 9; i++) {
      EXPECT_EQ(col(k, "s_s0", i) + col(k, "error", i),
                std::to_string(V{1.004, .962, .861, .722, .575, .451, .33, .262, .205}[i]) + "0.015000");
      EXPECT_DOUBLE_EQ(k[i]["time_ms"].get<double>(), 1.6 * i);
      EXPECT_NEAR(k[i]["residual"].get<double>(), k[i]["s_s0"].get<double>() - k[i]["fit"].get<double>(), 1e-9);
    }
    // Density per Angstrom integrates to 1 over cells of 0.5 Angstrom; the
    // Gaussians' cells are cut at NEAR (2.5) and FAR (4.5): half the first, the
    // one at 4.5 half, none for 5.0.
    V width = c.solver == "gaussians" ? V{.25, .5, .5, .5, .25, 0} : V(6, 0.5);
    double total = 0, band = 0;
    for (size_t i = 0; c.over.count("MODE") == 0 && i < 6; i++) total += width[i] * d[i]["density_per_angstrom"].get<double>();
    // The band's percentiles and the summary's are checked as values in properties_test.cpp.
    for (size_t i = 0; c.over.count("MODE") && i < d.size() && d[i].contains("band_mean"); i++) band += 0.5 * d[i]["band_mean"].get<double>();
    if (c.over.count("MODE") && c.over.at("MODE") == "err") {
      // Each 95 % interval holds its value and the runs' percentiles.
      for (auto [v, i, p] : {std::array<char const*, 3>{"effective", "effective_interval", "effective_p025"},
                             {"mean", "mean_interval", "mean_p025"}, {"sd", "sd_interval", "sd_p025"},
                             {"position", "position_interval", nullptr}}) {
        json const& o = p ? s : s["peaks"][0];
        if (!o.contains(i)) continue;
        EXPECT_LE(o[i][0].get<double>(), std::min(o[v].get<double>(), p ? s[p].get<double>() : 1e9)) << i;
        EXPECT_GE(o[i][1].get<double>(), o[v].get<double>()) << i;
      }
      for (json const& pk : s["peaks"])  // a peak the data do not support has no interval to hold
        if (pk.contains("mc_runs")) {
          EXPECT_EQ(pk.contains("position_interval") && pk.contains("share_interval"), pk["supported"].get<bool>()) << pk;
        }
    }
    EXPECT_NEAR(total + band, c.over.count("MODE") && c.over.at("MODE") == "sim" ? 0 : 1, 1e-8);
    EXPECT_NEAR(j["chi2_per_point"].get<double>(), j["chi2"].get<double>() / 9, 1e-12);
    if (d.size() == 6) {  // moments and edge share of the masses density x cell width, by hand
      V p(6);
      double mean = 0, m2 = 0, m3 = 0, m4 = 0;
      for (size_t i = 0; i < 6; i++) p[i] = width[i] * d[i]["density_per_angstrom"].get<double>(), mean += p[i] * (2.5 + 0.5 * i);
      for (size_t i = 0; i < 6; i++) {
        double x = 2.5 + 0.5 * i - mean;
        m2 += p[i] * x * x, m3 += p[i] * x * x * x, m4 += p[i] * x * x * x * x;
      }
      V want = {mean, std::sqrt(m2), m3 / std::pow(m2, 1.5), m4 / (m2 * m2) - 3.0};
      V got = {s["mean"].get<double>(), s["sd"].get<double>(), s["skewness"].get<double>(), s["excess_kurtosis"].get<double>()};
      for (int e = 0; e < 4; e++) EXPECT_NEAR(got[e], want[e], 1e-6 * (1 + std::fabs(want[e]))) << e;  // CSV: 10 digits
      std::smatch k;  // the printed line, to its 4 decimals
      ASSERT_TRUE(std::regex_search(r.out, k, std::regex("\nDistance excess kurtosis: (-?[0-9.]+)\n"))) << r.out;
      EXPECT_NEAR(std::stod(k[1]), want[3], 5.1e-5);
      EXPECT_NEAR(j["diagnostics"]["edge_share"].get<double>(), p[0] + p[1] + p[4] + p[5], 1e-9);
    }
    EXPECT_EQ(r.out.find_first_of("\r\b"), std::string::npos);  // no progress in a pipe
  }
}

// Percentiles by linear interpolation between order statistics, and the
// median and mode of a distribution on a grid, against values worked by hand.
// A warning on the console: at most 200 characters, its claim and its advice.
TEST(ConsoleLine, ClaimAndAdviceOfALongWarning) {
  const std::string full = "warning: the width and the mean distance are not determined by these data: the reported sd 0.56 "
      "Angstrom lies outside the sds 0.36 to 0.46 Angstrom of the single Gaussians they allow (widths 0.45 to 0.75 Angstrom); "
      "quote the effective distance 2.96 Angstrom and the allowed widths rather than the mean and the sd";
  EXPECT_EQ(console_line(full), "warning: the width and the mean distance are not determined by these data; quote the effective "
            "distance 2.96 Angstrom and the allowed widths rather than the mean and the sd (more in the log)");
  EXPECT_EQ(console_line("warning: short; fine"), "warning: short; fine");
  EXPECT_EQ(console_line(std::string(500, 'x')), std::string(179, 'x') + "... (more in the log)");  // no claim, no advice
}

TEST(Percentile, Type7AndTheMedianAndModeOfADistribution) {
  // One value; two to eight: the replicate property (properties_test.cpp).
  struct { V v; double p, want; } cases[] = {{{7}, 0.975, 7}, {{5, 5, 9}, 1.0, 9}};
  for (auto const& c : cases) EXPECT_DOUBLE_EQ(percentile(c.v, c.p), c.want) << c.p;
  V r = {2, 3, 4, 5};
  struct { V p; double median, mode; } dists[] = {
      {{0, 1, 0, 0}, 3, 3},            // all in the cell 2.5..3.5
      {{1, 1, 1, 1}, 3.5, 2},          // even over 1.5..5.5; first of equals
      {{1, 2, 4, 1}, 3.75, 4},         // 3/8 below 3.5, then 1/8 of the 4/8 in 3.5..4.5
      {{2, 0, 0, 2}, 2.5, 2}};         // the first cell's top edge
  for (auto const& d : dists) {
    EXPECT_DOUBLE_EQ(distribution_median(d.p.data(), r.data(), 4), d.median);
    EXPECT_DOUBLE_EQ(distribution_mode(d.p.data(), r.data(), 4), d.mode);
  }
  EXPECT_DOUBLE_EQ(distribution_median(V{1, 1}.data(), r.data(), 2), 2.5);  // two cells, 1.5..2.5 and 2.5..3.5
}

TEST(Diagnostics, EdgeShareAndItsWarningOnPlantedDistributions) {
  // Grid 2.5 to 6.5 Angstrom (9 distances), the longest measurable distance
  // planted at 10: the share on the first two and last two distances by hand,
  // warned above 5 %.
  // With a late plateau that asks for SCALING 0.80: mass beyond the longest
  // measurable distance (planted at 4.9) is named with SCALING first; none there, no warning.
  auto edges = [](char const* pct, std::string advice) {
    return std::string("warning: ") + pct + " % of the distribution lies on the first two or last two grid distances: "
           "the data may not constrain it; " + advice;
  };
  V ends = {0.1, 0, 0, 0, 0.8, 0, 0, 0, 0.1};
  struct { V p; double share; std::string warning; double lmd = 10.0; bool plateau = false; } cases[] = {
      // 3 % at NEAR and 5 % at FAR: each over half the 5 % limit, both ends named.
      {{0.03, 0, 0, 0, 0.92, 0, 0, 0, 0.05}, 0.08, edges("8.0", "lower NEAR and widen FAR, to at most the longest measurable distance 10.00 Angstrom")},
      // FAR 6 more than a grain (0.5) below the longest measurable distance, or not.
      {ends, 0.2, edges("20.0", "lower NEAR and widen FAR, to at most the longest measurable distance 6.55 Angstrom"), 6.55},
      {ends, 0.2, edges("20.0", "FAR already reaches the longest measurable distance 6.45 Angstrom, so a wider FAR will not "
       "help: this share is signal that does not dephase within the experiment (pairs not labelled, or distances "
       "beyond 6.45 Angstrom); check SCALING"), 6.45}, {{0, 0.02, 0, 0, 0.96, 0, 0, 0.02, 0}, 0.04, ""},
      {{0, 0, 0.02, 0.5, 0, 0.42, 0, 0.06, 0}, 0.06, edges("6.0", "widen FAR, to at most the longest measurable distance 10.00 Angstrom")},
      {{0, 0, 0, 0.9, 0, 0, 0.1, 0, 0}, 0.0,
       "warning: 10.0 % of the distribution lies beyond the longest measurable distance 4.90 Angstrom; check "
       "SCALING first PLATEAU; a wider FAR would only move this share further out", 4.9, true},
      {{0, 0, 0, 1, 0, 0, 0, 0, 0}, 0.0, "", 4.9, true}};
  for (auto& c : cases) {
    Model m;
    for (int j = 0; j < 9; j++) gsl_vector_set(m->distribution, j, c.p[j]);
    Assessment a;
    if (c.plateau) a.plateau = {true, 4, 12.0, 0.2, 0.01};
    c.warning = std::regex_replace(c.warning, std::regex("PLATEAU"), scaling_hint(*m, a));
    EXPECT_NEAR(m->edge_share(), c.share, 1e-15);
    EXPECT_EQ(report_edge_advice(*m, a, m->edge_share(), c.lmd), !c.warning.empty());
    EXPECT_EQ(m->report().warnings(), c.warning.empty() ? std::vector<std::string>{} : std::vector{c.warning});
  }
}

// A share of 1-5 % on the last (first) two grid distances, rising towards
// the end (or level at it), is named with the moments of the rest (by hand:
// 0.2, 0.5, 0.27 at 3.5, 4, 4.5 Angstrom; 0.5, 0.49 at 4, 4.5); a decaying
// tail, 6 % (the edge advice's) or 0.5 % is not.
TEST(Diagnostics, ASmallShareRisingAtAGridEndIsNamedWithTheMomentsWithoutIt) {
  struct { V p; bool found, far = false; double mean = 0, sd = 0; } cases[] = {
      {{0, 0, 0.2, 0.5, 0.27, 0, 0, 0.01, 0.02}, true, true, 4.036082474226804, 0.34616769877073844},
      {{0.005, 0.005, 0, 0.5, 0.49, 0, 0, 0, 0}, true, false, 4.247474747474747, 0.24998724587403195},
      {{0, 0, 0.2, 0.5, 0.25, 0.02, 0.02, 0.01, 0}, false}, {{0, 0, 0.2, 0.5, 0.24, 0, 0, 0.02, 0.04}, false},
      {{0, 0, 0.2, 0.5, 0.295, 0, 0, 0.002, 0.003}, false}, {{0, 0, 0.2, 0.5, 0.27, 0, 0.01, 0.01, 0.01}, false}};  // level over three: no pile
  for (auto const& c : cases) {
    Model m;
    for (int j = 0; j < 9; j++) gsl_vector_set(m->distribution, j, c.p[j]);
    Assessment a;
    a.chi2.p_high = a.chi2.p_low = a.runs.p_few = 0.5, a.edge_pile = edge_pile(*m);
    ASSERT_EQ(a.edge_pile.found, c.found);
    m->results.scaling_trap.found = true;  // the trap's warning names far mass, not near
    EXPECT_EQ(edge_pile(*m).found, c.found && !c.far);
    if (!c.found) continue;
    EXPECT_EQ(a.edge_pile.at_far, c.far);
    EXPECT_NEAR(a.edge_pile.share, c.far ? 0.03 : 0.01, 1e-15);
    EXPECT_NEAR(a.edge_pile.mean_without, c.mean, 1e-12);
    EXPECT_NEAR(a.edge_pile.sd_without, c.sd, 1e-12);
    EXPECT_EQ(judged_warnings(*m, a).back(),
              strf("warning: %.1f %% of the distribution lies at %s and enters the mean and the sd; without it "
                   "they are %.2f and %.2f Angstrom: a share where the grid stops may be the solver's own",
                   c.far ? 3.0 : 1.0, c.far ? "FAR (6.00 and 6.50 Angstrom)" : "NEAR (2.50 and 3.00 Angstrom)", c.mean, c.sd));
    a.computed = true;
    json j;
    add_determined_json(*m, a, j);
    EXPECT_EQ(j["distance"]["edge_pile"], json({{"at", c.far ? "FAR" : "NEAR"}, {"share", a.edge_pile.share},
                                                {"mean_without", c.mean}, {"sd_without", c.sd}}));
  }
}

// A planted assessment: the peak the data do not support is named, and a
// late plateau at S/S0 0.2 (+- 0.01) under SCALING 1 suggests SCALING 0.80;
// one at 0.02 lies within 0.03 of 1 - SCALING and suggests nothing.
TEST(Diagnostics, UnsupportedPeakAndThePlateausScalingOnAPlantedAssessment) {
  Model m;
  Assessment d;
  d.computed = true, d.chi2.p_high = d.chi2.p_low = d.runs.p_few = 0.5, d.peaks = {{3.0, 0.7, true}, {4.5, 0.3, false}};
  d.supported_peaks = 1, d.peaks_supported = false;
  d.peak_models = {{"1 Gaussian", 10.0, 1, {}, {}}, {"2 Gaussians", 11.0, 2, {}, {}}};
  d.plateau = {true, 4, 12.0, 0.2, 0.01}, report_determined(*m, d);
  std::vector<std::string> w = m->report().warnings();
  EXPECT_NE(std::find(w.begin(), w.end(),
                      "warning: the data do not support 2 peaks (at 3.00, 4.50 Angstrom): 1 peak (1 Gaussian) fits "
                      "them within 2 of the best AIC; the peak at 4.50 Angstrom may be the solver's own"),
            w.end()) << ::testing::PrintToString(w);
  d.peaks = {{3.0, 0.5, true}, {4.5, 0.3, true}, {5.5, 0.1, false}, {6.0, 0.1, false}}, d.supported_peaks = 2, report_determined(*m, d), w = m->report().warnings();
  EXPECT_NE(w.back().find(": 2 peaks (2 Gaussians) fit them within 2 of the best AIC; the peaks at 5.50, 6.00 Angstrom may be"), std::string::npos) << w.back();
  d.peaks = {{3.0, 0.7, true}, {4.5, 0.3, false}}, d.supported_peaks = 1;
  // A plateau counts when it lies more than 3 of its errors from 1 - SCALING:
  // 0.1 is 5 errors of 0.02 away, but only 2.5 errors of 0.04. A DISTDIST of comments only prescribes no share: no matter.
  m.rw->n_adj = 0;
  for (auto [level, err, hint] : {std::tuple{0.2, 0.01, "(near 0.80 by the curve's late plateau)"}, {0.02, 0.01, ""},
                                  {0.1, 0.02, "(near 0.90 by the curve's late plateau)"}, {0.1, 0.04, ""}}) {
    d.plateau.level = level, d.plateau.level_err = err;
    EXPECT_EQ(scaling_hint(*m, d, true), hint) << level << " " << err;
  }
  // maxent's peak at 2.75, 0.25 from NEAR 2.5 within a 1 Angstrom taper:
  // NEAR goes to 2.75 - 1 - two cells of 0.5, rounded down to 0.7.
  m->results.solver = "maxent", m->results.details = {{"default_model_taper_angstrom", 1.0}};
  d.peaks = {{2.75, 1.0, true}}, report_determined(*m, d), w = m->report().warnings();
  EXPECT_NE(w.back().find("(1.00 Angstrom from NEAR 2.5): the grid end is too close for maxent; lower NEAR to "
                          "0.7 Angstrom"), std::string::npos) << w.back();
  // A taper of 1.25 would need NEAR 0.5: not above 0.5 Angstrom, no advice.
  size_t before = m->report().warnings().size();
  m->results.details = {{"default_model_taper_angstrom", 1.25}}, report_determined(*m, d);
  EXPECT_EQ(m->report().warnings().size(), before);
  // At FAR 6, with data that see past 8.3 Angstrom: FAR goes to 6.25 + 1 + 1, rounded up to 8.3.
  Model far({}, read_file(REDORDIST_SOURCE_DIR "/tests/fixtures/cn_4.2_scaling0.8_long.dat"));
  far->results.solver = "maxent", far->results.details = {{"default_model_taper_angstrom", 1.0}};
  d.peaks = {{6.25, 1.0, true}};
  ASSERT_GT(far->setup->longest_measurable_distance(far->scaling), 8.25);
  EXPECT_EQ(judged_warnings(*far, d).back(), "warning: maxent's peak at 6.25 Angstrom lies within its default model's "
            "taper (1.00 Angstrom from FAR 6): the grid end is too close for maxent; widen FAR to 8.3 Angstrom");
  d.peaks = {{far->setup->longest_measurable_distance(far->scaling) - 1.0, 1.0, true}};  // FAR would pass it: no advice
  for (std::string const& x : judged_warnings(*far, d)) EXPECT_EQ(x.find("widen FAR"), std::string::npos) << x;
  // A profile whose other explanation lay within a scan step: no trap in the summary.
  m->results.scaling_trap.found = false, m->results.scaling_trap.profile.fitted = true;
  json j, jd, je;
  add_scaling_json(*m, j);
  EXPECT_FALSE(j.contains("scaling_trap"));
  // Three points and one Gaussian (2 parameters) leave 1 degree of freedom:
  // chi2 2 is tested against it, p = erfc(1) = 0.1572992.
  Model g({}, "0 1 1 1 0.02\n8 1 0.9 1 0.02\n16 1 0.7 1 0.02\n");
  g->results.solver = "gaussians", g->results.details = {{"chosen_k", 1}}, g->chi2 = 2.0;
  Assessment ga = assess(*g);
  EXPECT_NEAR(ga.chi2.p_high, 0.1572992, 1e-7);
  std::string printed;  // one degree of freedom is tested, and the line says so
  refusal_of([&] { report_determined(*g, ga); }, &printed);
  EXPECT_NE(printed.find("(2.0 used by the solver): p = 0.157 above, "), std::string::npos) << printed;
  // Two Monte Carlo runs are enough for the effective distance's +-, which then
  // replaces the range of single Gaussians.
  Model e(Over{{"MODE", "err"}});
  e->results.mc.distance.runs = 2, e->results.mc.distance.effective_sd = 0.02;
  Assessment two;  // and for a peak's spread
  two.computed = true, two.peaks = {{3.5, 1.0, false}}, two.peaks[0].runs = 2, two.peaks[0].position_sd = 0.03;
  add_determined_json(*e, two, jd);
  EXPECT_TRUE(jd["distance"]["effective_sd"] == 0.02 && jd["distance"]["peaks"][0]["position_mc_sd"] == 0.03) << jd;
  Assessment ea;
  ea.computed = ea.width.computed = true;
  refusal_of([&] { report_determined(*e, ea); }, &printed);
  EXPECT_TRUE(printed.find(" +- 0.0200 Angstrom\n") != std::string::npos &&
              printed.find("Effective distance allowed by the data") == std::string::npos) << printed;
  // In mode err a fitted SCALING's +- is half its AIC-within-1 range.
  ScalingProfile& sp = e->results.scaling_fit;
  sp.fitted = true, sp.lo1 = 0.78, sp.hi1 = 0.84, sp.lo4 = 0.76, sp.hi4 = 0.85, e->scaling = 0.81;
  add_scaling_json(*e, je);
  EXPECT_NEAR(je["scaling_sd"].get<double>(), 0.03, 1e-12);
  EXPECT_EQ(refusal_of([&] { report_fitted_scaling(*e); }, &printed), "");
  EXPECT_NE(printed.find("Fitted SCALING: 0.8100 +- 0.0300\n"), std::string::npos) << printed;
}

// The warnings on the mean and the sd, from planted verdicts: a quantity the
// data leave open, or one reported outside what they allow, named alone or
// both, in the singular or the plural.
// A fit that does not explain the data points to SCALING first, and to the
// trap's warning only when there is one.
TEST(Diagnostics, AFitThatDoesNotExplainTheDataPointsToScalingAndTheTrapWhenFound) {
  // chi2 40 for 5 points; each p-value at its limit 1e-3 warns of nothing, below it of a fit too bad or too good.
  // With the SCALING trap found its own warning stands above, and this one points to it.
  std::string bad = "warning: the fit does not explain the data (chi2 40.0 for 5 points, p = 1e-05; runs test p = 0.5), "
                    "so none of its numbers (effective distance, mean, sd, peaks) is determined: "
                    "check, in this order, SCALING%s, the errors in the data file, MAS, and the nuclei XN and YN";
  // trap: 1 the SCALING trap found, 2 a late plateau at S/S0 0.2 +- 0.01 under SCALING 1 (its own hint, the brief one).
  struct { double p_high, p_low; int trap; std::string want; double p_few = 0.5; } cases[] = {
      {1e-5, 1.0, 0, strf(bad.c_str(), "")}, {1e-5, 1.0, 1, strf(bad.c_str(), " (see the warning on SCALING above)")},
      {1e-5, 1.0, 2, strf(bad.c_str(), " (near 0.80 by the curve's late plateau)")}, {1e-3, 1.0, 0, ""}, {0.5, 1e-3, 0, ""},
      {0.5, 9.9e-4, 0, "warning: chi2 40.0 is far below what 5 points with these errors give (p = 0.00099): the errors in "
       "the data file are probably overestimated, or the annealing fits the noise"},
      {0.5, 1.0, 0, "", 1e-3}, {0.5, 1.0, 0, "warning: the fit does not explain the data (chi2 40.0 for 5 points, p = 0.5; runs "
       "test p = 0.00099): check, in this order, SCALING, the errors in the data file, MAS, and the nuclei XN and YN", 9.9e-4}};
  for (auto const& c : cases) {
    Model m;
    gsl_vector_set_zero(m->distribution), gsl_vector_set(m->distribution, 3, 1.0);  // away from the grid's ends
    Assessment d;
    d.computed = true, d.chi2.p_high = c.p_high, d.chi2.p_low = c.p_low, d.runs.p_few = c.p_few, m->chi2 = 40.0, m->results.scaling_trap.found = c.trap == 1;
    if (c.trap == 2) d.plateau = {true, 4, 12.0, 0.2, 0.01}, m.rw->n_adj = 0;
    report_determined(*m, d);
    std::string all;
    for (std::string const& w : m->report().warnings()) all += w.rfind("warning: the fit", 0) == 0 || w.rfind("warning: chi2", 0) == 0 ? w : "";
    EXPECT_EQ(all, c.want) << c.p_high << " " << c.p_low;
  }
}

TEST(Diagnostics, MeanAndSdOpenOrOutsideWhatTheDataAllow) {
  struct { bool sd_det, sd_dis, mean_det, mean_dis; const char* want; } cases[] = {
      {false, false, true, true, "warning: the width is not determined by these data: W; quote the effective distance "
       "3.10 Angstrom and the allowed widths rather than the sd"},
      {true, true, false, false, "warning: the mean distance is not determined by these data: W; quote the effective "
       "distance 3.10 Angstrom and the allowed widths rather than the mean"},
      {false, false, false, false, "warning: the width and the mean distance are not determined by these data: W; "
       "quote the effective distance 3.10 Angstrom and the allowed widths rather than the mean and the sd"},
      {false, true, true, true, "warning: the reported sd disagrees with what these data allow: D; quote the allowed "
       "range rather than the reported value"},
      {true, true, false, true, "warning: the reported mean distance disagrees with what these data allow: D; quote "
       "the allowed range rather than the reported value"},
      {false, true, false, true, "warning: the reported sd and mean distance disagree with what these data allow: D; "
       "quote the allowed ranges rather than the reported values"}};
  for (auto const& c : cases) {
    Model m;
    Assessment d;
    d.sd_determined = c.sd_det, d.sd_disagrees = !c.sd_det && c.sd_dis;
    d.mean_determined = c.mean_det, d.mean_disagrees = !c.mean_det && c.mean_dis;
    d.width_problem = "W", d.disagree_problem = "D", d.computed = true;
    d.chi2.p_high = d.chi2.p_low = d.runs.p_few = 0.5, m->results.effective_distance = 3.1, report_determined(*m, d);
    std::vector<std::string> w = m->report().warnings();
    EXPECT_NE(std::find(w.begin(), w.end(), c.want), w.end()) << ::testing::PrintToString(w);
  }
}

// The FAR warning: N_c up to 16 (3.2 ms) cannot see out to FAR 6, N_c up to
// 64 (12.8 ms) can see past FAR 5; the distribution planted in the middle of
// the grid, so the edge advice (which names FAR itself) stays silent.
TEST(Diagnostics, FarWarningOnlyWhereTheDataCannotReachFar) {
  struct { std::string data, far; bool warned; } cases[] = {{kSmallData, "6", true}, {kCurveData, "5", false}};
  for (auto const& c : cases) {
    Model m({{"FAR", c.far}}, c.data);
    gsl_vector_set_zero(m->distribution), gsl_vector_set(m->distribution, m->setup->n_grid / 2, 1.0);
    Diagnostics d = report_diagnostics(*m, assess(*m));
    EXPECT_EQ(d.longest_measurable_distance < std::stod(c.far), c.warned) << d.longest_measurable_distance;
    std::string want = "warning: FAR " + c.far + " Angstrom lies beyond the longest measurable distance";
    std::vector<std::string> w = m->report().warnings();
    EXPECT_EQ(std::count_if(w.begin(), w.end(), [&](std::string const& x) { return x.rfind(want, 0) == 0; }),
              c.warned ? 1 : 0) << ::testing::PrintToString(w);
  }
}

// Each warning of the data and of the fit on a fixture made to give it, and
// none of them on the ordinary run (the nine-point curve near 3.3 Angstrom).
TEST(Diagnostics, EachWarningOnItsFixtureAndNoneOnTheOrdinaryRun) {
  const std::string e20 = std::regex_replace(kCurveData, std::regex("0\\.015\n"), "0.2\n");
  const std::string bent = std::regex_replace(kCurveData, std::regex("32 1 0.575 1"), "32 1 0.95 1");
  struct { std::string data; Over over; std::string prefix; } cases[] = {{kCurveData, {}, ""},
      {e20, {}, "warning: chi2 "},  // errors 0.2: chi2 far below the number of points
      {bent, {}, "warning: the fit does not explain the data"},
      {kCurveData + "72 1 1.5 1 0.015\n", {}, "warning: XYDATA data.dat: 1 points have S/S0 outside -0.2 to 1.2"},
      {"0 1 1 1 0.015\n0 1 0.99 1 0.015\n", {}, "warning: XYDATA data.dat: every point has N_c 0"},
      {kCurveData, {{"FAR", "3"}, {"GRAIN", "0.5"}}, "Warning: points in distance distribution < data points"}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.prefix);
    Workspace w("", c.data);
    Over o = c.over;
    o.emplace("FAR", "4.5"), o.emplace("GRAIN", "0.25");  // 9 distances or more: one per point
    RunResult r = w.run(o); ASSERT_EQ(r.status, 0) << r.out;
    json warned = json::parse(w.out(".json"))["warnings"];
    for (auto const& x : cases) {
      if (x.prefix.empty()) continue;
      bool found = false;
      for (auto const& l : warned) found = found || l.get<std::string>().rfind(x.prefix, 0) == 0;
      EXPECT_EQ(found, x.prefix == c.prefix || (c.prefix.find("S/S0 outside") != std::string::npos &&
                                                x.prefix.find("does not explain") != std::string::npos))
          << x.prefix << "\n" << warned.dump();
    }
  }
}

TEST(Simulation, SaysWhatItSimulated) {
  Workspace w;
  // A share of 0.5: its moments as of 0.6 and 0.4.
  write_file(w.dir.file("data.dat"), kCurveData), write_file(w.dir.file("dist.dat"), "3.0 0.3\n4.5 0.2\n");
  RunResult r = w.run({{"MODE", "sim"}, {"DISTDIST", "dist.dat"}}); ASSERT_EQ(r.status, 0) << r.out;
  json j = json::parse(w.out(".json")), d = j["distance"];
  // Mean 3.6, variance 0.6 * 0.36 + 0.4 * 0.81, third moment 0.6 (-0.6)^3 +
  // 0.4 (0.9)^3, fourth 0.6 (0.6)^4 + 0.4 (0.9)^4; <r^-6>^(-1/6).
  double var = 0.54, m3 = 0.162, m4 = 0.34020;
  V want = {3.6, std::sqrt(var), m3 / std::pow(var, 1.5), m4 / (var * var) - 3,
            std::pow(0.6 * std::pow(3.0, -6) + 0.4 * std::pow(4.5, -6), -1.0 / 6)};
  const char* keys[] = {"mean", "sd", "skewness", "excess_kurtosis", "effective"};
  for (int i = 0; i < 5; i++) EXPECT_NEAR(d[keys[i]].get<double>(), want[i], 1e-12) << keys[i];
  EXPECT_EQ(w.file("run/dist.dat"), "3.0 0.3\n4.5 0.2\n");
}

// The table of planted summaries: each column as wide as its widest cell
// and two blanks, "*" on a value the data do not determine, "?" on a peak
// they do not support, "-" for a run without a summary.
TEST(Compare, TableOfPlantedSummaries) {
  Comparison c;
  c.path = "./", c.base = "x", c.parameter_file = "p.par";
  c.runs = {{"maxent", "x-maxent", 0, json::parse(R"({"chi2_per_point": 1.02, "solver_details": {"G": 4.5},
      "distance": {"mean": 3.2, "sd": 0.3, "sd_determined": false, "peaks": [{"position": 3.1, "share": 0.75,
      "supported": true}, {"position": 4.4, "share": 0.25, "supported": false}]}, "warnings": ["w"]})")},
            {"gaussians", "x-gaussians", 1, nullptr}};
  EXPECT_EQ(compare_table(c), "Solvers compared on p.par (./x-compare.json):\n"
            "solver     status  chi2/point  G or k  mean (Angstrom)  sd (Angstrom)  peaks (Angstrom, share)     warnings\n"
            "maxent     0       1.0200      G 4.50  3.2000           0.3000 *       3.10 (75 %), 4.40 (25 %) ?  1\n"
            "gaussians  1       -           -       -                -              -                           -\n"
            "* not determined by the data (see the run's log and summary)\n? a peak the data do not support\n");
  // One run with an effective distance (its column) and a peak with spreads over the replicates (in %).
  c.runs[1].summary = {{"distance", {{"effective", 3.1}, {"peaks", {{{"position", 3.1}, {"position_mc_sd", 0.02}, {"share", 0.75}, {"share_mc_sd", 0.05}}}}}}};
  EXPECT_NE(compare_table(c).find("\ngaussians  1       -           -       -                -              3.1000 "),
            std::string::npos) << compare_table(c);
  EXPECT_NE(compare_table(c).find("  3.100 +- 0.020 (75 +- 5 %)  "), std::string::npos) << compare_table(c);
  c.runs[0].summary["distance"].erase("sd_determined");  // nothing starred: no footnote for it
  EXPECT_EQ(compare_table(c).find("* not determined"), std::string::npos) << compare_table(c);
  // The figure's distances reach 3 % of the grid's span past the longest measurable distance.
  c.runs[0].summary["distribution"] = json::parse(R"([{"r_angstrom": 2.0}, {"r_angstrom": 3.0}])");
  for (double l : {4.0, 2.5}) {
    c.runs[0].summary["diagnostics"] = {{"longest_measurable_distance", l}};
    EXPECT_NE(compare_figure_script(c).find(l > 3 ? "set xrange [2:4.03]\n" : "set xrange [2:3]\n"), std::string::npos);
  }
  // Grid 2.0, 2.1, ..., 3.0 with a 0.5 Angstrom taper: solid where the default model
  // is above half its height (0.25 from either end), dashed within it, sharing the
  // grid points at the borders (half a step either way).
  c.runs[0].summary["distribution"] = json::parse(R"([{"r_angstrom": 2.0}, {"r_angstrom": 2.1}, {"r_angstrom": 3.0}])");
  c.runs[0].summary["solver_details"]["default_model_taper_angstrom"] = 0.5;
  std::string gp = compare_figure_script(c);
  EXPECT_NE(gp.find("using 1:(($1 > 2.2 && $1 < 2.8) ? $2 : NaN) with lines lw 2"), std::string::npos) << gp;
  EXPECT_NE(gp.find("using 1:(($1 < 2.3 || $1 > 2.7) ? $2 : NaN) with lines lw 1.5 dt 2"), std::string::npos) << gp;
  c.runs[0].summary["distribution"] = json::parse(R"([{"r_angstrom": 3.0}])");
  EXPECT_EQ(compare_figure_script(c), "");  // one distance, the longest measurable below it: no range to draw
}

TEST(Compare, ThreeRunsLikeSeparateOnesTheirJsonTableAndFigure) {
  // The third point without an error: an input warning, shown once before the runs.
  Workspace w("", std::regex_replace(kCurveData, std::regex("16 1 0.861 1 0.015"), "16 1 0.861 1"));
  // 2.5 to 5.0 every 0.5; an optional key and one of the annealing's left out: the annealing's is named.
  Over over = {{"PER 2PI", "0"}, {"FAR", "4.5"}, {"MID PULSE", "-"}, {"BOLTZMANN", "-"}};
  write_file(w.dir.file("p.par"), param_text(over));
  RunResult r = w.run_args({"--compare", "p.par"}); ASSERT_EQ(r.status, 0) << r.out;
  json c = json::parse(w.file("run-compare.json"));
  EXPECT_EQ(c["status"], 0);
  std::string before = r.out.substr(0, r.out.find("=== annealing")), no_error = "1 of 9 points have no usable error";
  EXPECT_TRUE(before.find(no_error) != std::string::npos && before.find(no_error) == before.rfind(no_error)) << before;
  EXPECT_NE(r.out.find("note: p.par has no BOLTZMANN: the annealing run takes the values redordist --template "
                       "writes\n"), std::string::npos) << r.out;
  std::string script = w.file("run-compare.gp");
  for (int i = 0; i < 3; i++) {
    std::string s = (Row{"annealing", "maxent", "gaussians"})[i], base = "run-" + s;
    SCOPED_TRACE(s);
    EXPECT_EQ(c["runs"][i]["solver"], s);
    json own = json::parse(w.file(base + "/" + base + ".json"));
    EXPECT_EQ(c["runs"][i]["distance"]["mean"], own["distance"]["mean"]);
    // The run's result keys, less its tables and bookkeeping, beside where its files are.
    std::set<std::string> keys = {"solver", "status", "directory", "summary", "distribution_csv"}, have;
    for (auto const& [k, v] : own.items()) keys.insert(k);
    for (char const* k : {"program", "version", "command", "parameter_file", "files", "distribution", "curve", "curve_smooth"}) keys.erase(k);
    for (auto const& [k, v] : c["runs"][i].items()) have.insert(k);
    EXPECT_EQ(have, keys);
    EXPECT_NE(r.out.find("\n" + s + "  "), std::string::npos) << r.out;  // its row of the table
    EXPECT_NE(script.find((i ? ", \\\n       '" : "  plot '") + base + "/" + base + "-distribution.csv' skip 1 using 1:"), std::string::npos);
    // Only maximum entropy's P(r) is drawn dashed where its default model tapers.
    EXPECT_EQ(script.find(s + " in its default model") != std::string::npos, s == "maxent");
    // Solid from half the 1 Angstrom taper past each grid end (2.5, 5.0) less half a cell (0.25).
    if (s == "maxent") { EXPECT_NE(script.find("($1 > 2.75 && $1 < 4.75) ? $2 : NaN"), std::string::npos) << script; }
    // The same files as a run of the solver alone under the same name.
    // The log as a single run writes it, BOLTZMANN 1 given (the template's, which a single run needs written).
    std::string me = w.file(base + "/" + base + ".me"), log = std::regex_replace(
        mask_times(w.file(base + "/" + base + ".log")), std::regex("BOLTZMANN: 1 \\(default[^)]*\\)"), "BOLTZMANN: 1 ");
    over["OUTPUT"] = base, over["BOLTZMANN"] = "1", write_file(w.dir.file("q.par"), param_text(over));
    ASSERT_EQ(w.run_args({"--solver", s, "q.par"}).status, 0);
    EXPECT_EQ(w.file(base + "/" + base + ".me"), me);
    EXPECT_EQ(mask_times(w.file(base + "/" + base + ".log")), log);
  }
  EXPECT_NE(script.find("rlong = " + std::to_string(c["longest_measurable_distance"].get<double>()).substr(0, 4)),
            std::string::npos) << script;
  EXPECT_NE(w.file("gnuplot-calls.txt").find("run-compare.gp\n"), std::string::npos);
  write_file(w.dir.file("data.dat"), kCurveData), write_file(w.dir.file("p.par"), param_text({{"MODE", "sim"}}));
  EXPECT_EQ(w.run_args({"--compare", "p.par"}).out, "--compare needs MODE fit or err; p.par has MODE sim\n");
  write_file(w.dir.file("p.par"), param_text({{"XN", "-"}}));  // a key every run needs: refused as by each solver
  EXPECT_EQ(w.run_args({"--compare", "p.par"}).out.substr(0, 61), "parameter error: p.par has no XN line, and every run needs it");
  // Interrupted in its first run (SIGINT from that run's gnuplot), it names the two runs left out, whose
  // directories hold the earlier comparison's results.
  over["OUTPUT"] = "run", write_file(w.bin + "/gnuplot", "#!/bin/sh\nkill -INT $PPID\n"), write_file(w.dir.file("p.par"), param_text(over));
  EXPECT_EQ(w.run_args({"--compare", "p.par"}).status, 130);
  json cut = json::parse(w.file("run-compare.json"));  // its status, then the runs left out
  EXPECT_EQ(cut["status"].dump() + cut["stale_runs"].dump(), R"(130[{"directory":"./run-maxent/","not_run":true,)"
            R"("solver":"maxent"},{"directory":"./run-gaussians/","not_run":true,"solver":"gaussians"}])");
}

// A comparison is one unit: a conflict in any of its three run directories
// is refused before the first is touched.
TEST(Compare, RefusedBeforeAnyRunDirectoryIsTouched) {
  Workspace w;
  std::filesystem::create_directories(w.dir.file("run-maxent"));
  write_file(w.dir.file("run-maxent/run-maxent.mx"), kSmallData);
  write_file(w.dir.file("p.par"), param_text({{"XYDATA", "run-maxent/run-maxent.mx"}}));
  auto before = entries(w.dir.path());
  RunResult r = w.run_args({"--compare", "p.par"});
  EXPECT_EQ(std::to_string(r.status) + " " + r.out, "1 input error: XYDATA run-maxent/run-maxent.mx would be overwritten or removed by this run "
            "as ./run-maxent/run-maxent.mx; move it out of the run directory or choose another OUTPUT\n");
  EXPECT_EQ(entries(w.dir.path()), before);
  // The Gaussians' directory held by another run (its lock taken here), under the longest OUTPUT a
  // comparison takes (its runs' names at most 157 characters: 147 and "-gaussians"); one more is refused.
  std::string o(147, 'o');
  write_file(w.dir.file("p.par"), param_text({{"OUTPUT", o}})), std::filesystem::create_directories(w.dir.file(o + "-gaussians"));
  int fd = open(w.dir.file(o + "-gaussians").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  before = entries(w.dir.path());
  EXPECT_EQ(w.run_args({"--compare", "p.par"}).out, "Run directory ./" + o + "-gaussians is in use by another run of redordist; "
            "wait for it to end or choose another OUTPUT\n");
  close(fd);
  EXPECT_EQ(entries(w.dir.path()), before);
  write_file(w.dir.file("p.par"), param_text({{"OUTPUT", o + "o"}}));
  EXPECT_NE(w.run_args({"--compare", "p.par"}).out.find(" is too long for the run " + o + "o-annealing of --compare"), std::string::npos);
}
