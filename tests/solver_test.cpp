// The solvers: simulated annealing of the multipliers (trace, counters,
// schedule of the tries, ties, non-finite trials, fit quality) and the Monte
// Carlo error estimate (block statistics, the block loop, rejections,
// table refreshes, reproducibility whatever the thread count).
#include <gsl/gsl_rng.h>

#include <algorithm>
#include <mutex>

#include "numeric/numeric.h"
#include "solver/scaling/curve_scaling.h"
#include "solver/uncertainty/block_estimate.h"
#include "solver/uncertainty/bootstrap.h"
#include "solver/uncertainty/mc_blocks.h"
#include "tests/test_support.h"

using namespace ts;

const char* const kTraceHeader = "#iter   evals         temp       chi2 #lss #acc $rej\n";

// The CHI2 of the result lines at the end of the annealing, which appear in
// the log and on standard output alike.
static double result_chi2(std::string const& log, std::string const& out) {
  std::smatch m;
  EXPECT_TRUE(std::regex_search(log, m, std::regex("\nCHI2   (\\S+)\nAVGDEV \\S+\nSCALING 1\n")));
  EXPECT_NE(out.find(m[0].str().substr(1)), std::string::npos) << out;
  return m.empty() ? NAN : std::stod(m[1]);
}

// Two tries, the second given as zeros (the first try's values); the keys
// of o are kept (insert adds only the keys o lacks).
static Over tries(Over o) {
  o.insert({{"NTRIES", "2"}, {"ITERS AT TEMP", "20 0"}, {"MAX STEP SIZE", "0.4 0"}, {"BOLTZMANN", "1.5 0"},
            {"INIT TEMP", "8 0"}, {"ATTEN TEMP", "2 0"}, {"MIN TEMP", "0.9 0"}});
  return o;
}

TEST(Annealing, TraceOfTwoTriesIsReproducibleAndCountsOn) {
  Workspace a, b;
  RunResult r = a.run(tries({}));
  ASSERT_EQ((std::vector<int>{r.status, b.run(tries({})).status}), (std::vector<int>{0, 0}));
  std::string trace = a.out(".sa"), log = a.out(".log");
  EXPECT_EQ(trace, b.out(".sa"));  // same inputs, same default seed
  ASSERT_EQ(trace.substr(0, trace.find('\n') + 1), kTraceHeader);
  // The second try starts where the best state was last replaced: one of the
  // first try's temperatures 8, 4, 2, 1 (then 0.5 < 0.9 ends it).
  std::smatch m;
  ASSERT_TRUE(std::regex_search(log, m, std::regex("\n   20/1 B 1\\.50e\\+00 S 4\\.00e-01 Temp: ([^-]+)-9\\.00e-01 by 2\\.00000e\\+00\n")));
  V temps = {8, 4, 2, 1};
  double t2 = std::stod(m[1]);
  EXPECT_NE(std::find(temps.begin(), temps.end(), t2), temps.end()) << t2;
  for (double t = t2; t >= 0.9; t /= 2) temps.push_back(t);
  std::vector<Row> rows = table_rows(trace);
  ASSERT_EQ(rows.size(), temps.size());
  double lowest = 1e300;
  for (size_t k = 0; k < rows.size(); k++) {
    ASSERT_EQ(rows[k].size(), 7u + 5u);  // seven columns and the five multipliers
    // Steps and evaluations count on across the tries.
    EXPECT_EQ(Row(rows[k].begin(), rows[k].begin() + 2), Row({std::to_string(k), std::to_string(20 * (k + 1))}));
    EXPECT_DOUBLE_EQ(std::stod(rows[k][2]), temps[k]);
    lowest = std::min(lowest, std::stod(rows[k][3]));
  }
  // The model ends in the best state (CHI2 printed with 6 significant digits).
  EXPECT_LE(result_chi2(log, r.out), lowest * (1 + 1e-5));
}

TEST(Annealing, TiesAreAcceptedAndReplaceTheBest) {
  // SCALING 1e-300 makes every fitted curve 1 to the last bit, so every trial ties at chi2 =
  // sum ((1 - S/S0) / 0.02)^2 = 0 + 2^2 + 6.5^2 + 12^2 + 17.5^2 = 496.5.
  Workspace w;
  RunResult r = w.run(tries({{"SCALING", "1e-300"}, {"ITERS AT TEMP", "3 0"}, {"INIT TEMP", "4 0"}, {"MIN TEMP", "1 0"},
                             {"MAX STEP SIZE", "0.5 0"}, {"BOLTZMANN", "1 0"}}));
  // The best was last replaced at 1, the first try's last temperature.
  EXPECT_NE(r.out.find("\n    3/1 B 1.00e+00 S 5.00e-01 Temp: 1.00e+00-1.00e+00 by 2.00000e+00\n"), std::string::npos) << r.out;
  std::vector<Row> rows = table_rows(w.out(".sa"));
  ASSERT_EQ(rows.size(), 4u);
  for (size_t k = 0; k < rows.size(); k++)
    EXPECT_EQ(Row(rows[k].begin() + 1, rows[k].begin() + 7),
              Row({std::to_string(3 * (k + 1)), (Row{"4", "2", "1", "1"})[k], "496.50000000", "0.00", "100.00", "0.00"}));
}

TEST(Annealing, NothingAcceptedKeepsTheInitialMultipliers) {
  // No tries, or steps of up to 1e9 that overflow exp at temperatures 4, 2,
  // 1: every trial is rejected and no evaluation counted; the run still ends
  // at the zero multipliers with its result lines.
  Workspace none, bang;
  RunResult rn = none.run({{"NTRIES", "0"}});
  RunResult rb = bang.run({{"ITERS AT TEMP", "4"}, {"MAX STEP SIZE", "1e9"}, {"INIT TEMP", "4"}, {"MIN TEMP", "1"}});
  EXPECT_EQ(none.out(".sa"), kTraceHeader);
  std::vector<Row> rows = table_rows(bang.out(".sa"));
  ASSERT_EQ(rows.size(), 3u);
  for (size_t k = 0; k < 3; k++) {
    std::string t = std::to_string(4 >> k), msg = "BANG. Chi2 is not finite at temp " + t + "\n";
    int n = 0;
    for (size_t at = rb.out.find(msg); at != std::string::npos; at = rb.out.find(msg, at + 1)) n++;
    EXPECT_EQ(n, 4) << rb.out;
    EXPECT_EQ(Row({rows[k][1], rows[k][2], rows[k][4], rows[k][5], rows[k][6]}), Row({"0", t, "0.00", "0.00", "100.00"}));
  }
  // The Monte Carlo's annealing overflowing as well: the run says so and its estimate stops (status 1).
  Workspace mc;
  RunResult rm = mc.run({{"MODE", "err"}, {"ERR MAX STEP SIZE", "1e9"}});
  EXPECT_TRUE(rm.status == 1 && rm.out.find("BANG. MC Chi2 is not finite at temp ") != std::string::npos) << rm.status << rm.out;
  for (auto [w, r] : {std::pair{&none, rn}, {&bang, rb}}) {
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(std::isfinite(result_chi2(w->out(".log"), r.out)));
    for (Row const& c : table_rows(w->out(".me"))) EXPECT_TRUE(c[16] == "0.00000000" || c[8] == "?");
  }
}

TEST(Annealing, FitRecoversAKnownTwoDistanceDistribution) {
  // 13C-15N pairs at 3.5 and 5.0 A in equal shares (mean 4.25 A), sampled
  // every 16 rotor cycles up to 192 at 5 kHz by the program's "sim".
  Workspace w;
  Over grid = {{"NEAR", "2.5"}, {"FAR", "7"}, {"GRAIN", "0.25"}}, sim = grid, fit = grid;
  sim.insert({{"MODE", "sim"}, {"DISTDIST", "two.dat"}, {"XYDATA", "grid.dat"}, {"OUTPUT", "sim"}});
  write_file(w.dir.file("two.dat"), "3.5 0.5\n5.0 0.5\n");
  std::string cycles, data;
  for (int n = 0; n <= 192; n += 16) cycles += std::to_string(n) + " 1000 1000 0 0.01\n";
  write_file(w.dir.file("grid.dat"), cycles);
  ASSERT_EQ(w.run(sim).status, 0);
  // Data: the simulated curve (column 14 at the N_c of column 9) plus fixed
  // noise of sigma 0.01, whose own chi2 is sum(noise^2) = 10.31.
  const double noise[13] = {0.9, -1.1, 0.4, 1.3, -0.7, -0.2, 1.0, -1.4, 0.6, -0.5, 1.2, -0.9, 0.3};
  int k = 0;
  for (Row const& c : table_rows(w.file("sim/sim.me")))
    if (c[8] != "?" && k < 13) {
      double ratio = std::stod(c[13]) + 0.01 * noise[k++];
      data += c[8] + " 1000 " + std::to_string(1000 * ratio) + " " + std::to_string(ratio) + " 0.01\n";
    }
  ASSERT_EQ(k, 13);
  write_file(w.dir.file("fit.dat"), data);
  fit.insert({{"XYDATA", "fit.dat"}, {"OUTPUT", "fit"}, {"ITERS AT TEMP", "500"}, {"MAX STEP SIZE", "0.2"},
              {"INIT TEMP", "100"}, {"ATTEN TEMP", "1.2"}, {"MIN TEMP", "0.001"}});
  RunResult r = w.run(fit, {"GSL_RNG_SEED=0"}); ASSERT_EQ(r.status, 0) << r.out;
  // A converged fit matches the data about as well as the true curve (13 to
  // 16 over seeds); 1.5 N = 19.5 still fails a fit stuck away from the data.
  EXPECT_LT(result_chi2(w.file("fit/fit.log"), r.out), 1.5 * 13);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(r.out, m, std::regex("Distance moments: +(\\S+)"))) << r.out;
  // Maximum entropy spreads the peaks, more toward the weakly dephasing long
  // end: the mean moves up 0.15-0.2 A over seeds; 0.3 A is well inside the
  // 0.75 A miss of a fit that put all weight on either peak.
  EXPECT_NEAR(std::stod(m[1]), 4.25, 0.3);
}

TEST(McBlocks, EstimatesAreMeansAndSampleDeviationsOverBlocks) {
  // Three blocks of two runs of a two-point distribution.
  const std::vector<V> runs = {{0.1, 0.9}, {0.3, 0.7}, {0.2, 0.8}, {0.25, 0.75}, {0.5, 0.5}, {0.1, 0.9}};
  BlockSums b(2);
  for (int k = 0; k < 3; k++) b.start_block(), b.add_run(runs[2 * k]), b.add_run(runs[2 * k + 1]), b.end_block(2);
  gsl_vector* est[4] = {gsl_vector_alloc(2), gsl_vector_alloc(2), gsl_vector_alloc(2), gsl_vector_alloc(2)};
  b.estimates(3, est[0], est[1], est[2], est[3]);
  auto stats = [](V const& x) {  // two-pass mean and sample deviation
    double mean = 0, q = 0;
    for (double v : x) mean += v / x.size();
    for (double v : x) q += (v - mean) * (v - mean);
    return std::pair{mean, std::sqrt(q / (x.size() - 1))};
  };
  double max_sd_err = 0;
  for (int j = 0; j < 2; j++) {
    V means, sds;
    for (int k = 0; k < 3; k++) {
      auto [m, s] = stats({runs[2 * k][j], runs[2 * k + 1][j]});
      means.push_back(m), sds.push_back(s);
    }
    auto [avg, avg_err] = stats(means);
    auto [sd, sd_err] = stats(sds);
    max_sd_err = std::max(max_sd_err, sd_err);
    // The program forms variances from one-pass sums (n sumsq - sum^2): for
    // values <= 1 the cancellation leaves a few eps in a variance, up to
    // sqrt(1e-15) ~ 3e-8 in a deviation. Means differ by a few roundings.
    V want = {avg, avg_err, sd, sd_err}, tol = {1e-15, 1e-7, 1e-7, 1e-7};
    for (int e = 0; e < 4; e++) EXPECT_NEAR(gsl_vector_get(est[e], j), want[e], tol[e]) << j << " " << e;
  }
  EXPECT_NEAR(b.max_sigma_err(3), max_sd_err, 1e-7);
  for (auto& v : est) gsl_vector_free(v);
}

TEST(McNoise, NormalDeviatesHaveMeanZeroAndTheGivenSpread) {
  // The sum of 12 uniforms less 6 has mean 0 and variance 12 / 12 = 1 exactly.
  // Over 40000 draws the mean's standard error is 0.005 and the variance's
  // sqrt(2 / 40000) = 0.007: the tolerances are six of them.
  gsl_rng* r = gsl_rng_alloc(gsl_rng_mt19937);
  for (double sigma : {1.0, 0.02}) {
    double s = 0, q = 0, x, n = 40000;
    for (int i = 0; i < n; i++) x = _grandom_sigma(r, sigma) / sigma, s += x, q += x * x;
    EXPECT_NEAR(s / n, 0.0, 0.03) << sigma;
    EXPECT_NEAR(q / n - (s / n) * (s / n), 1.0, 0.045) << sigma;
  }
  gsl_rng_free(r);
}

TEST(Bootstrap, ReplicatesAreTheFitPlusNoiseOfTheFittedShareAndRejectionsAreCounted) {
  // A prescribed share of 0.6 leaves 0.4 to fit: the data's noise sigma is
  // sigma / 0.4 on the target. The fit is planted at 0.3 (the data lie at
  // 0.65-1.0), so replicates drawn around the data would show a mean offset
  // of 8-18 sigma. 2500 replicates x 5 points: the standard error of the
  // mean of z is 0.009, of its variance 0.013; tolerances are about five.
  Model m({{"MODE", "err"}, {"PER MC BLOCK", "500"}, {"MAX MC CHI2", "80"}}, kSmallData, "3.0 0.6\n");
  Paar& p = *m;
  double share = 1.0 - p.setup->total_adjust_density;
  ASSERT_NEAR(share, 0.4, 1e-15);
  gsl_vector_set_all(p.fit_to_data, 0.3);
  double s = 0, q = 0, n = 0;
  std::mutex mu;  // replicates are solved on all threads
  std::vector<double> dist(p.setup->n_grid, 1.0 / p.setup->n_grid);
  ReplicateSolver solve = [&](FitProblem const& fp) {
    std::lock_guard<std::mutex> lock(mu);
    for (int i = 0; i < fp.n_data; i++) {
      double z = (fp.target[i] - 0.3) * share / fp.sigma[i];
      s += z, q += z * z, n++;
    }
    // Half the replicates above MAX MC CHI2 (80), at random: some 2500
    // rejections in all, far fewer than 1000 in a row.
    return ReplicateResult{true, fp.target[0] > 0.3 ? 81.0 : 1.0, dist, {}};
  };
  std::vector<ReplicateResult> kept;
  EXPECT_EQ(parametric_bootstrap(p, solve, nullptr, &kept), McStatus::kDone);
  EXPECT_EQ(kept.size(), 2500u);  // 5 blocks of 500: the spread is 0 after the fifth
  for (auto const& r : kept) ASSERT_EQ(r.chi2, 1.0);
  EXPECT_NEAR(s / n, 0.0, 0.05);
  EXPECT_NEAR(q / n - (s / n) * (s / n), 1.0, 0.07);
}

namespace {

// A Monte Carlo run directory: mode "err", and a stub gnuplot that keeps a
// snapshot of the result table at each rendering of the printed figure,
// snap<rendering>.me.
struct McRun : Workspace {
  McRun() : Workspace("case \"$1\" in *-ps.gp) echo >> n.txt; cp run/run.me snap$(wc -l < n.txt).me;; esac") {}
  RunResult run(Over o, std::vector<std::string> env = {}) {
    o.insert({"MODE", "err"});
    env.insert(env.begin(), "GSL_RNG_SEED=0");  // GSL's default, whatever the caller's environment
    return Workspace::run(o, env);
  }
  // Every file of the run directory (log times masked) and standard output;
  // the run directory is then removed.
  std::map<std::string, std::string> collect(RunResult const& r) {
    std::map<std::string, std::string> m = {{"<stdout>", r.out}};
    for (auto const& e : std::filesystem::directory_iterator(dir.file("run")))
      m[e.path().filename().string()] = mask_times(read_file(e.path().string()));
    std::filesystem::remove_all(dir.file("run"));
    return m;
  }
};

// The non-empty lines of the Monte Carlo part of a log or standard output.
Row mc_lines(std::string const& text) {
  Row all = lines_of(text.substr(text.find("Beginning Boltzmann MC:"))), v;
  // Up to the first line that starts with "MC mean distance: " or "Edge share: " (rfind(s, 0) is 0 there).
  for (size_t i = 1; i < all.size() && all[i].rfind("MC mean distance: ", 0) && all[i].rfind("Edge share: ", 0); i++)
    if (!all[i].empty()) v.push_back(all[i]);
  return v;
}

// Largest entry of column col (1-based) over the grid rows of a table.
double col_max(std::string const& table, int col) {
  double m = -INFINITY;
  for (Row const& f : table_rows(table)) if (f.size() == 24 && f[0] != "?") m = std::max(m, std::stod(f[col - 1]));
  return m;
}

// Numbers in run lines and messages have six significant digits.
const double kSixDigits = 6e-6;
const std::string kMaxSteps = "Maximum monte carlo steps reached. Largest stdev is ";

// The run lines at the start of the Monte Carlo part, checked as they go:
// block and run index (a rejected run is done again under the same index),
// REJECTED exactly above MAX MC CHI2, numbers as printf "%g", and from block
// 5 on a block line and the rejection rate after each block. The walk gives
// the values of the block lines and the lines after the walk.
struct Walk { int rejected = 0; Row sigmas, rest; };
Walk walk(Row const& ls, int per, double limit) {
  static const std::regex run_line(R"(^(\d+)\.(\d+)Err CHI2 (\S+) AVGDEV (\S+)( REJECTED)?$)");
  Walk w;
  int block = 1, run = 0;
  size_t i = 0;
  for (std::smatch m; i < ls.size() && std::regex_match(ls[i], m, run_line); i++) {
    EXPECT_EQ(m[1].str() + "." + m[2].str(), std::to_string(block) + "." + std::to_string(run));
    for (int g : {3, 4}) EXPECT_EQ((std::ostringstream() << std::stod(m[g])).str(), m[g].str());
    EXPECT_EQ(m[5].matched, std::stod(m[3]) > limit) << ls[i];
    w.rejected += m[5].matched;
    if (m[5].matched || ++run < per) continue;
    if (block >= 5 && i + 2 < ls.size()) {
      std::string head = "BLOCK " + std::to_string(block) + " max sigma err ";
      EXPECT_EQ(ls[i + 1].rfind(head, 0), 0u) << ls[i + 1];
      w.sigmas.push_back(ls[i + 1].substr(head.size()));
      double rate = double(w.rejected) / (block * per + w.rejected);
      EXPECT_EQ(ls[i + 2].rfind("rejection rate: ", 0), 0u);
      EXPECT_NEAR(std::stod(ls[i + 2].substr(16)), rate, kSixDigits * rate) << ls[i + 2];
      i += 2;
    }
    block++, run = 0;
  }
  w.rest.assign(ls.begin() + i, ls.end());
  return w;
}

// The warning when more than 20 % of `accepted` + w.rejected runs were
// rejected (none otherwise), appended to lines: MAX MC CHI2 11 for the five
// points wants 2 * 5 + 4 sqrt(10) = 22.65, so 23.
Row with_rejection_warning(Row lines, Walk const& w, int accepted, char const* limit = "11") {
  int total = accepted + w.rejected;
  if (w.rejected * 5 > total)
    lines.push_back(strf("warning: %ld %% of the Monte Carlo runs (%d of %d) were rejected and done again: MAX MC "
        "CHI2 %s is too low for 5 points; set it to about 23 (2N + 4 sqrt(2N), N the number of points)",
        std::lround(100.0 * w.rejected / total), w.rejected, total, limit));
  return lines;
}

}  // namespace

TEST(MonteCarlo, RejectionsAndTableRefreshesUpToTheLastBlock) {
  // Accepted runs have chi2 of about 1 to 30, so 11 rejects a good share but
  // never 1000 in a row; MIN STDEV2 1e-12 is never reached: all 7 blocks run.
  McRun c;
  ASSERT_EQ(c.run({{"MAX MC BLOCKS", "7"}, {"MIN STDEV2", "1e-12"}, {"MAX MC CHI2", "11"}}).status, 0);
  Walk w = walk(mc_lines(c.out(".log")), 3, 11);
  EXPECT_GT(w.rejected, 0);
  ASSERT_EQ(w.sigmas.size(), 3u);
  Row rest = {kMaxSteps + w.sigmas[2], strf("number rejected: %d of total 21", w.rejected), "Monte Carlo did not "
              "converge within the 7 blocks allowed (MAX MC BLOCKS); the spreads are from 21 Monte Carlo runs"};
  EXPECT_EQ(w.rest, with_rejection_warning(rest, w, 21));
  // The figure is rendered after blocks 5, 6, 7 and at the end, each time
  // from fresh estimates whose largest "MCstdev err" the block line shows.
  std::string call = "./run/run-ps.gp\nrun-fig.gp\n";
  EXPECT_EQ(c.file("gnuplot-calls.txt"), call + call + call + call);
  std::string snap;
  for (int k = 0; k < 3; k++) {
    std::string now = c.file("snap" + std::to_string(k + 1) + ".me");
    EXPECT_NE(now, snap);
    snap = now;
    double sigma = std::stod(w.sigmas[k]);
    EXPECT_NEAR(col_max(snap, 8), sigma, 5e-9 + kSixDigits * sigma) << k;
  }
  EXPECT_EQ(c.file("snap4.me"), snap);  // the final table holds the last block's estimates
  EXPECT_EQ(c.out(".me"), snap);
}

// 4 runs a block, 5 blocks: 20 accepted. MAX MC CHI2 13.6 rejects 6 (6 of 26, above a fifth: the
// warning), 13.7 rejects 5 (5 of 25, exactly a fifth: none).
TEST(MonteCarlo, RejectionWarningOnlyAboveAFifthOfTheRuns) {
  for (auto [limit, rejected] : {std::pair{"13.6", 6}, {"13.7", 5}}) {
    McRun c;
    ASSERT_EQ(c.run({{"MAX MC BLOCKS", "5"}, {"PER MC BLOCK", "4"}, {"MIN STDEV2", "1e-12"}, {"MAX MC CHI2", limit}}).status, 0);
    Walk w = walk(mc_lines(c.out(".log")), 4, std::stod(limit));
    ASSERT_TRUE(w.rejected == rejected && w.sigmas.size() == 1) << w.rejected;
    EXPECT_EQ(w.rest, with_rejection_warning({kMaxSteps + w.sigmas[0], strf("number rejected: %d of total 20", rejected), "Monte "
        "Carlo did not converge within the 5 blocks allowed (MAX MC BLOCKS); the spreads are from 20 Monte Carlo runs"}, w, 20, limit));
  }
}

TEST(MonteCarlo, StopsAfterAThousandRejectionsInARow) {
  // One trial per run, so 1000 runs take little time.
  McRun c;
  RunResult r = c.run({{"MAX MC CHI2", "1e-9"}, {"ERR ITERS AT TEMP", "1"}, {"ERR MIN TEMP", "1.5"}});
  EXPECT_EQ(r.status, 1);
  const std::string msg = "Monte Carlo stopped: 1000 runs in a row exceeded MAX MC CHI2";
  EXPECT_NE(r.out.find(msg + "\n"), std::string::npos);
  Walk w = walk(mc_lines(c.out(".log")), 3, 1e-9);
  EXPECT_EQ(w.rejected, 1000);
  EXPECT_EQ(w.rest, with_rejection_warning({msg}, w, 0, "1e-09"));
  // No block finished: the table is still written, its estimates zero.
  for (int col = 5; col <= 8; col++) EXPECT_EQ(col_max(c.out(".me"), col), 0.0);
  // MAX MC CHI2 23 allows for the noise of the five points; told SCALING 0.3 the fit itself lies far above it.
  r = c.run({{"MAX MC CHI2", "23"}, {"SCALING", "0.3"}, {"ERR ITERS AT TEMP", "1"}, {"ERR MIN TEMP", "1.5"}});
  EXPECT_TRUE(r.status == 1 && r.out.find("warning: the fit does not explain the data, so 100 % of the Monte Carlo runs (1000 of "
                                            "1000) were") != std::string::npos) << r.status << r.out;
  EXPECT_NE(c.out(".log").find(", above MAX MC CHI2 23 and above the 23 that the noise of 5 points allows (2N + 4 "
                               "sqrt(2N)); check SCALING"), std::string::npos);
}

// chi2(s) = 2 s^2 - 2.4 s + 0.74: least 0.02 at 0.6, within 4 of it for 0.6 +- sqrt(2). A curve the
// distribution does not dephase: every SCALING fits it alike, so it keeps 1.
TEST(Scaling, CurveScalingIsTheLeastSquaresOptimumWithItsChi2Plus4Range) {
  CurveScaling q = curve_scaling({1.0, 1.0}, {-0.5, -0.7}, -10.0, 10.0), r = curve_scaling({0.0, 0.0}, {0.1, -0.2}, 0.05, 1.2);
  EXPECT_TRUE(std::fabs(q.best - 0.6) + std::fabs(q.chi2 - 0.02) + std::fabs(q.hi4 - 0.6 - std::sqrt(2.0)) < 1e-12) << q.hi4;
  EXPECT_TRUE(r.best == 1.0 && r.lo4 == 0.05 && r.hi4 == 1.2) << r.best;
}

// An accepted run starts the count afresh: 999 rejections after it are one short of the 1000 that stop.
TEST(MonteCarlo, NineHundredNinetyNineRejectionsAfterAnAcceptedRunGoOn) {
  ts::Model m(ts::Over{{"MODE", "err"}, {"PER MC BLOCK", "2"}, {"MAX MC BLOCKS", "2"}});
  int k = 0;
  EstimateSource src;
  src.next = [&](EstimateRun& r) {
    r = EstimateRun(), r.usable = k == 0 || k >= 1000, k++;
    r.distribution.assign(m->setup->n_grid, 1.0 / m->setup->n_grid), r.distribution[0] = k == 1001 ? 0.2 : k == 1003 ? 0.4 : 0.0;
  };
  testing::internal::CaptureStdout();
  McStatus s = run_block_estimate(*m, src, [](Paar&) {});
  // Fewer than five blocks, no test: the sd of the blocks' sds (0.2 / sqrt(2), 0.4 / sqrt(2)) at distance 0.
  EXPECT_NE(testing::internal::GetCapturedStdout().find(kMaxSteps + "0.1\n"), std::string::npos);
  EXPECT_TRUE(s == McStatus::kDone && k == 1003) << k;  // two blocks of two runs
}

TEST(MonteCarlo, ConvergesAfterFiveBlocksToTheSameFilesWhateverTheThreadCount) {
  // MIN STDEV2 1 is generous: every density lies in [0, 1], so the first
  // test (block 5) passes. Rejections exercise the in-order use of attempts
  // annealed ahead of time.
  McRun c;
  Over o = {{"MAX MC BLOCKS", "8"}, {"MAX MC CHI2", "11"}, {"FAR", "4.5"}}, slow = o, plain = o;
  auto one = c.collect(c.run(o, {"GSL_RNG_SEED=7", "OMP_NUM_THREADS=1"}));
  Row ls = mc_lines(one["run.log"]), logged, shown;
  // Standard output has the log's lines but the runs', and a line per block.
  for (auto const& l : ls) if (l.find("Err CHI2") == std::string::npos) logged.push_back(l);
  for (auto const& l : mc_lines(one["<stdout>"])) if (l.rfind("Monte Carlo block ", 0) != 0) shown.push_back(l);
  EXPECT_EQ(shown, logged);
  EXPECT_NE(one["<stdout>"].find("Monte Carlo block 5 of at most 8\n"), std::string::npos);
  Walk w = walk(ls, 3, 11);
  EXPECT_GT(w.rejected, 0);
  EXPECT_EQ(w.sigmas.size(), 1u);
  Row want = {"Distributions at each discrete distance converged in 5 x 3 mc points ",
              "number rejected: " + std::to_string(w.rejected) + " of total 15",
              "Monte Carlo converged after 5 blocks; the spreads are from 15 Monte Carlo runs"};
  EXPECT_EQ(w.rest, with_rejection_warning(want, w, 15));
  auto two = c.collect(c.run(o, {"GSL_RNG_SEED=7", "OMP_NUM_THREADS=2"}));
  ASSERT_GE(one.size(), 10u);
  ASSERT_EQ(one.size(), two.size());
  for (auto const& kv : one) EXPECT_EQ(kv.second, two[kv.first]) << kv.first;
  // Longer attempts on four threads: every thread takes attempts, each
  // annealed from the seed whichever thread it falls to.
  slow["ERR ITERS AT TEMP"] = "150";
  auto single = c.collect(c.run(slow, {"GSL_RNG_SEED=7", "OMP_NUM_THREADS=1"}));
  EXPECT_EQ(single["run.me"], c.collect(c.run(slow, {"GSL_RNG_SEED=7", "OMP_NUM_THREADS=4"}))["run.me"]);
  // The estimate leaves the fitted state alone: the table's densities and
  // multipliers are those of a plain fit.
  plain["MODE"] = "fit";
  auto fit = c.collect(c.run(plain, {"GSL_RNG_SEED=7"}));
  std::vector<Row> e = table_rows(one["run.me"]), f = table_rows(fit["run.me"]);
  ASSERT_EQ(e.size(), f.size());
  for (size_t i = 0; i < e.size(); i++) EXPECT_EQ(Row({e[i][2], e[i][16]}), Row({f[i][2], f[i][16]})) << i;
  auto other = c.collect(c.run(o, {"GSL_RNG_SEED=8"}));
  EXPECT_NE(mc_lines(one["run.log"])[0], mc_lines(other["run.log"])[0]);
  for (int col = 5; col <= 8; col++) EXPECT_NE(col_max(one["run.me"], col), col_max(other["run.me"], col)) << col;
}
