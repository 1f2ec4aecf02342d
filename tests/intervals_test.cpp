// Peaks between grid points and the 95 % intervals of mode err: the vertex
// of three points, the matching of the runs' peaks to the reported ones,
// and the intervals, all against values worked out by hand (percentiles of
// type 7 as numpy's default gives them).

#include "numeric/parabola_vertex.h"
#include "model/run_results.h"
#include "assessment/err_intervals.h"
#include "output/determined_report.h"
#include "output/run_summary.h"
#include "solver/uncertainty/interval95.h"
#include "solver/uncertainty/peak_spread.h"
#include "tests/test_support.h"

TEST(Intervals, ParabolaVertexOfThreePoints) {
  // y = -(x - 0.3)^2 at 0, 0.5, 2 (uneven spacing); 5 - 2 (x - 3.57)^2 on a 0.05 grid;
  // (-1, .5), (0, 1), (1, 0): y = -.75 x^2 - .25 x + 1, vertex -1/6; the middle not the top,
  // and a flat top: the middle point; two equal tops: midway between them.
  struct { double x0, y0, x1, y1, x2, y2, want; } cases[] = {
      {0.0, -0.09, 0.5, -0.04, 2.0, -2.89, 0.3}, {3.5, 4.9902, 3.55, 4.9992, 3.6, 4.9982, 3.57},
      {-1.0, 0.5, 0.0, 1.0, 1.0, 0.0, -1.0 / 6.0}, {0.0, 1.0, 1.0, 0.5, 2.0, 0.0, 1.0},
      {0.0, 1.0, 1.0, 1.0, 2.0, 1.0, 1.0},       {0.0, 0.0, 1.0, 1.0, 2.0, 1.0, 1.5}};
  for (auto const& c : cases) EXPECT_NEAR(parabola_vertex(c.x0, c.y0, c.x1, c.y1, c.x2, c.y2), c.want, 1e-9) << c.want;
}

TEST(Intervals, RunsPeaksMatchedAndTheirSpread) {
  // Reported 3.5 (55 %) and 5.5 (45 %); the third run misses 5.5, the fourth
  // splits 3.5 in two (3.45 nearer, found second; shares 0.2 + 0.3). A third
  // at 7.0, found in the first run only, has no spread: the grid's half step.
  std::vector<PeakInfo> peaks = {{3.5, 0.55, true}, {5.5, 0.45, true}, {7.0, 0.0, true}};
  std::vector<std::vector<PeakInfo>> runs = {{{3.52, 0.5}, {5.47, 0.5}, {7.1, 0.0}}, {{3.48, 0.6}, {5.55, 0.4}},
                                             {{3.6, 1.0}}, {{3.30, 0.2}, {3.45, 0.3}, {5.50, 0.5}}};
  std::vector<PeakSample> s = match_run_peaks(peaks, runs);
  EXPECT_EQ((std::vector<std::vector<double>>{s[0].position, s[1].position, s[1].share}),
            (std::vector<std::vector<double>>{{3.52, 3.48, 3.6, 3.45}, {5.47, 5.55, 5.50}, {0.5, 0.4, 0.0, 0.5}}));
  EXPECT_EQ(s[0].found + s[1].found, 7u);
  add_peak_spread(peaks, runs, 0.05);
  // sd, then the union of percentiles and value +- 1.96 sd, the position widened by 0.025.
  double want[2][6] = {{0.065, 3.3476023400, 3.6523976600, 0.2380476143, 0.0834352457, 1.0},
                       {0.0404145188, 5.3957889980, 5.6042110020, 0.2380476143, 0.0, 0.9165647543}};
  for (int k = 0; k < 2; k++) {
    PeakInfo const& p = peaks[k];
    double got[6] = {p.position_sd, p.position_interval[0], p.position_interval[1],
                     p.share_sd,    p.share_interval[0],    p.share_interval[1]};
    EXPECT_EQ(p.runs, 4u);
    for (int i = 0; i < 6; i++) EXPECT_NEAR(got[i], want[k][i], 1e-9) << k << ", " << i;
  }
  EXPECT_TRUE(peaks[2].found == 1 && std::fabs(peaks[2].position_interval[0] - 6.975) + std::fabs(peaks[2].position_interval[1] - 7.025) < 1e-12);
  // 38 runs at 0.5 and shares 0, 0.1, 0.2: the 2.5 % percentile (at 40 x 0.025 = 1) is 0.1, below 0.55 - 1.96 x 0.1.
  std::vector<std::vector<PeakInfo>> many(38, {{3.5, 0.5}});
  many.insert(many.end(), {{{3.5, 0.0}}, {{3.5, 0.1}}, {{3.5, 0.2}}}), peaks.resize(1), add_peak_spread(peaks, many, 0.05);
  EXPECT_NEAR(peaks[0].share_interval[0], 0.1, 1e-12);
}

TEST(Intervals, NoiseJoinedWithTheAllowedRange) {
  // value 4, then: sd wider than the percentiles; percentiles and the allowed range wider
  // than 1.96 sd; percentiles off the value; an empty range (lo > hi) ignored, a range of one value joined.
  struct { double sd, p0, p1, lo, hi, want_lo, want_hi; } cases[] = {
      {0.1, 3.9, 4.05, 1.0, 0.0, 3.8040036, 4.1959964}, {0.01, 3.9, 4.05, 3.95, 4.3, 3.9, 4.3}, {0.0, 4.0, 4.0, 4.3, 4.3, 4.0, 4.3},
      {0.0, 4.1, 4.2, 1.0, 0.0, 4.0, 4.2},              {0.05, 3.99, 4.01, 3.7, 3.8, 3.7, 4.0979982}};
  for (auto const& c : cases) {
    Interval95 i = interval95(4.0, c.sd, {c.p0, c.p1}, c.lo, c.hi);
    EXPECT_TRUE(std::fabs(i.lo - c.want_lo) < 1e-9 && std::fabs(i.hi - c.want_hi) < 1e-9) << c.sd << ": " << i.lo << " to " << i.hi;
  }
}

TEST(Intervals, WidenedByThePeakModelsWithinTheAicMargin) {
  // The skewed peak (AIC 1.5 above the best) joins mean 4.3 +- 1.96 * 0.05, sd 0.5 +- 1.96 * 0.02
  // and its peak at 3.6; the two Gaussians (2.5 above) and the interval not given do not.
  Assessment d;
  d.computed = true, d.mean_interval = {true, 3.9, 4.1}, d.sd_interval = {true, 0.25, 0.35};
  d.peaks = {{3.85, 1.0, true, 2, 2, 0.02, 0.0, {3.8, 3.9}, {1.0, 1.0}}};  // two runs: enough
  d.peak_models = {{"1 Gaussian", 10.0, 1, {3.85}, {4.0, 0.3, 3.9}}, {"skewed peak", 11.5, 1, {3.6}, {4.3, 0.5, 3.95}},
                   {"2 Gaussians", 12.5, 2, {3.5, 4.5}, {5.0, 1.0, 4.0}}};
  McDistance mc;
  mc.mean_sd = 0.05, mc.sd_sd = 0.02, widen_by_models(d, mc);
  double got[] = {d.mean_interval.lo, d.mean_interval.hi, d.sd_interval.lo, d.sd_interval.hi, d.peaks[0].position_interval[0], d.peaks[0].position_interval[1]};
  double want[] = {3.9, 4.3979982, 0.25, 0.53919928, 3.6, 3.9};
  for (int i = 0; i < 6; i++) EXPECT_NEAR(got[i], want[i], 1e-9) << i;
  EXPECT_FALSE(d.effective_interval.given);
  // The peak's line, from the fewest runs that give a spread; what joins the intervals where one Gaussian does not describe the data.
  ts::Model m(ts::Over{{"MODE", "err"}});
  d.width.computed = true, d.one_gaussian_describes = false, testing::internal::CaptureStdout(), report_determined(*m, d);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Peak 1: 3.850 +- 0.020 Angstrom, share 100 +- 0 % (found in 2 of the 2 Monte Carlo "
            "runs); 95 % interval: 3.600 to 3.900 Angstrom, share 100 to 100 %\nThe 95 % intervals join the noise with the peak models "
            "within 2 of the best AIC (one Gaussian does not describe these data)"), std::string::npos);
  m->results.mc.distance.runs = 2, m->results.mc.distance.mean_sd = 0.05, testing::internal::CaptureStdout(), report_result_lines(*m, d);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Mean distance: 0.0000 +- 0.0500 Angstrom"), std::string::npos);  // two runs' spread too
}

// The centres one Gaussian may take (2 to 6 Angstrom) widen a lone peak's
// interval, never the first of two: they say nothing of either; where the
// peak models place the first (from 3.2), it widens to there. Two runs, the
// fewest that give a spread, are enough. A range the peak does not lie in
// (3.2 to 3.4) leaves its interval to the noise (a grid step).
TEST(Intervals, OneGaussiansCentresWidenOnlyALonePeak) {
  ts::Model m(ts::Over{{"MODE", "err"}});
  m->results.mc.distance.runs = 2, m->results.mc.distance.run_peaks.assign(2, {{3.5, 0.5, true}, {5.5, 0.5, true}});
  for (auto [reported, placed_hi, lo] : {std::tuple{2, 3.5, 3.2}, {1, 3.5, 2.0}, {2, 3.4, 3.5 - 0.5 * m->setup->grain}}) {
    Assessment d;
    d.width.computed = true, d.width.centre_lo = 2.0, d.width.centre_hi = 6.0;
    d.peaks = {{3.5, 0.5, true}, {5.5, 0.5, true}}, d.peaks.resize(reported), d.peaks[0].placed_range = {3.2, placed_hi};
    add_err_intervals(*m, d);
    EXPECT_EQ(d.peaks[0].position_interval[0], lo) << placed_hi;
  }
}

// Two halves at 4.0 and 5.0 Angstrom (sd 0.5), the first placed from 3.7 by the peak models: the sd there is half of
// 5.0 - 3.7 (each half 0.5 from the mean: a shift's cross term that a ratio would get wrong). With the second not
// supported, the first moved alone says nothing of the sd: its interval stays the noise's.
TEST(Intervals, SdHoldsEachSupportedPeakMovedToTheEndsOfItsInterval) {
  ts::Model m(ts::Over{{"MODE", "err"}});
  McDistance& mc = m->results.mc.distance; mc.runs = 3, mc.sd_p = {0.5, 0.5}, mc.run_peaks.assign(3, {{4.0, 0.5, true}, {5.0, 0.5, true}}), m->results.distance_moments = {4.5, 0.5};
  for (auto [both, want] : {std::pair{true, 0.65}, {false, 0.5}}) {
    Assessment d;  // each case from a fresh assessment
    d.sd_determined = true, d.peaks = {{4.0, 0.5, true}, {5.0, 0.5, both}}, d.peaks[0].placed_range = {3.7, 4.0}, add_err_intervals(*m, d);
    EXPECT_NEAR(d.sd_interval.hi, want, 1e-12) << both;
  }
  // A chi2 the errors do not allow (p just under 1e-3): no interval, and the log says so; the peaks keep their spread.
  Assessment d;
  d.computed = d.sd_determined = true, d.chi2.p_high = 0.9e-3, d.peaks = {{4.0, 0.5, false}, {5.0, 0.5, false}}, add_err_intervals(*m, d);
  testing::internal::CaptureStdout(), report_determined(*m, d);
  EXPECT_TRUE(!d.sd_interval.given && !d.effective_interval.given && d.peaks[1].runs == 3);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("\nEffective distance: not determined by these data (the fit does not explain them): "
            "no 95 % interval\nPeak 1: 4.000 +- 0.000 Angstrom"), std::string::npos);
}

// Peaks at 2.8, 3.2, 4.5 and 6.8 Angstrom, shares 0.2, 0.1, 0.5, 0.2 in every run (no noise). A supported peak's share
// interval reaches up by the unsupported peaks up to the next supported one on either side (none with one supported
// peak), and holds the share of the same peak in order of a model within the AIC margin with as many peaks as are
// supported (2 Gaussians: 0.15, 0.6), not of one beyond the margin (skewed) or with more peaks (3 Gaussians).
TEST(Intervals, SupportedSharesHoldTheUnsupportedPeaksBesideThemThePeakModelsAndTheSplits) {
  ts::Model m(ts::Over{{"MODE", "err"}});
  std::vector<PeakInfo> four = {{2.8, 0.2, true}, {3.2, 0.1, true}, {4.5, 0.5, true}, {6.8, 0.2, true}};
  m->results.mc.distance.runs = 2, m->results.mc.distance.run_peaks.assign(2, four);
  // extra: 1 the peak models below, 2 the splits of two Gaussians the data allow.
  struct { std::array<bool, 4> supported; int extra; std::array<double, 4> lo, hi; } const cases[] = {
      {{1, 0, 1, 0}, 0, {0.2, 0, 0.5, 0}, {0.3, 0, 0.8, 0}}, {{1, 1, 1, 0}, 0, {0.2, 0.1, 0.5, 0}, {0.2, 0.1, 0.7, 0}},
      {{0, 1, 0, 1}, 0, {0, 0.1, 0, 0.2}, {0, 0.8, 0, 0.7}}, {{1, 0, 0, 0}, 0, {0.2, 0, 0, 0}, {0.2, 0, 0, 0}},
      {{1, 0, 1, 0}, 1, {0.15, 0, 0.5, 0}, {0.3, 0, 0.8, 0}}, {{1, 0, 1, 0}, 2, {0.1, 0, 0.5, 0}, {0.3, 0, 0.9, 0}},
      {{1, 1, 1, 0}, 2, {0.2, 0.1, 0.5, 0}, {0.2, 0.1, 0.7, 0}}, {{1, 1, 1, 0}, 1, {0.1, 0.1, 0.5, 0}, {0.2, 0.1, 0.8, 0}}};
  for (auto const& c : cases) {
    Assessment d;
    d.peaks = four;
    for (int k = 0; k < 4; k++) d.peaks[k].supported = c.supported[k];
    if (c.extra == 2) d.split_shares = {{0.1, 0.25}, {0.55, 0.9}};
    if (c.extra == 1)
      d.peak_models = {{"2 Gaussians", 10.0, 2, {2.8, 4.5}, {}, {0.15, 0.6}}, {"skewed peak", 12.5, 2, {2.9, 4.1}, {}, {0.05, 0.95}},
                       {"3 Gaussians", 9.0, 3, {2.8, 3.3, 4.5}, {}, {0.1, 0.1, 0.8}}};
    add_err_intervals(*m, d);
    for (int k = 0; k < 4; k++) {
      std::array<double, 2> got = c.supported[k] ? d.peaks[k].share_interval : std::array<double, 2>{};
      EXPECT_TRUE(std::fabs(got[0] - c.lo[k]) < 1e-12 && std::fabs(got[1] - c.hi[k]) < 1e-12) << k << ": " << got[0] << " " << got[1];
    }
  }
  // A share ends at 1, however much the unsupported peaks beside it hold (a run with 0.95 at 4.5 Angstrom).
  Assessment d;
  m->results.mc.distance.run_peaks[1][2].share = 0.95, d.peaks = four, d.peaks[1].supported = d.peaks[3].supported = false;
  EXPECT_EQ((add_err_intervals(*m, d), d.peaks[2].share_interval[1]), 1.0);
}
