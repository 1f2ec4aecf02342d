// Monte Carlo error estimate (mode "err"): the block loop, rejections, the
// four per-distance estimates, the table refreshes, reproducibility and
// independence from the number of threads.
#include <gsl/gsl_rng.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <regex>

#include "model/paar.h"
#include "solver/boltzmann_me.h"
#include "solver/numeric.h"
#include "tests/test_support.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;
using Over = std::map<std::string, std::string>;

// A case directory: data, parameter file (mode "err" unless given, run
// directory inside it) and a stub gnuplot that logs its calls and keeps a
// snapshot of the result table at each, snap<call number>.me.
struct Case : Workspace {
  Over over;
  explicit Case(Over o) : over(std::move(o)) {
    over.insert({"MODE", "err"});
    over["PATH"] = dir.path() + "/";
    over["XYDATA"] = dir.file("data.dat");
    write_file(dir.file("p.par"), param_text(over));
    install_stub_gnuplot(dir.path(), "n=$(wc -l < '" + dir.file("gnuplot-calls.txt") + "')\ncp '" +
                                         dir.file("run/run.me") + "' '" + dir.file("snap") +
                                         "'$n.me\n");
  }
  // Seed 0 is GSL's default; set it so a seed in the caller's environment
  // does not leak in (later settings in env override it).
  RunResult run(std::vector<std::string> env = {}) {
    env.insert(env.begin(), "GSL_RNG_SEED=0");
    return Workspace::run(over, env);
  }
  // Every file of the run directory (log with its times masked) and the
  // standard output; the run directory is then removed.
  std::map<std::string, std::string> collect(RunResult const& r) {
    std::map<std::string, std::string> m = {{"<stdout>", r.out}};
    for (auto const& e : fs::directory_iterator(dir.file("run")))
      m[e.path().filename().string()] = mask_times(read_file(e.path().string()));
    fs::remove_all(dir.file("run"));
    return m;
  }
};

// The Monte Carlo part of a log or of standard output: the non-empty lines
// after "Beginning Boltzmann MC:" up to the end-of-run time line.
Lines mc_lines(std::string const& text) {
  Lines all = lines_of(text.substr(text.find("Beginning Boltzmann MC:"))), v;
  for (size_t i = 1; i < all.size() && all[i].rfind("time: ", 0) != 0; i++)
    if (!all[i].empty()) v.push_back(all[i]);
  return v;
}

// Largest entry of column `col` (1-based) over the grid rows of a result table.
double col_max(std::string const& table, int col) {
  double m = -INFINITY;
  for (Lines const& f : table_rows(table))
    if (f.size() == 24 && f[0] != "?") m = std::max(m, std::stod(f[col - 1]));
  return m;
}

// The number after `prefix` on a line that starts with it (else NaN).
double value_after(std::string const& line, std::string const& prefix) {
  return line.rfind(prefix, 0) == 0 ? std::stod(line.substr(prefix.size())) : std::nan("");
}

// Numbers in run lines and messages are printed with six significant digits.
const double kSixDigits = 6e-6;
const std::regex kRunLine(R"(^(\d+)\.(\d+)Err CHI2 (\S+) AVGDEV (\S+)( REJECTED)?$)");
const std::string kMaxSteps = "Maximum monte carlo steps reached. Largest stdev is ";

// The run lines at the start of the Monte Carlo part, checked as they go:
// block and run index (a rejected run is done again under the same index),
// REJECTED exactly above MAX MC CHI2, numbers like printf "%g" (the stream's
// default), and from block 5 on a block line and the rejection rate after
// each block. Stops at the first other line.
struct Walk {
  int rejected = 0;
  std::vector<double> chi2;  // of every run line
  Lines sigmas;              // values shown by the block lines
  Lines rest;                // the lines after the walk
};
Walk walk(Lines const& ls, int per, double limit) {
  Walk w;
  int block = 1, run = 0;
  size_t i = 0;
  for (std::smatch m; i < ls.size() && std::regex_match(ls[i], m, kRunLine); i++) {
    EXPECT_EQ(m[1].str() + "." + m[2].str(), std::to_string(block) + "." + std::to_string(run));
    for (int g : {3, 4}) {
      std::ostringstream o;
      o << std::stod(m[g]);
      EXPECT_EQ(o.str(), m[g].str());
    }
    bool rejected = m[5].matched;
    w.chi2.push_back(std::stod(m[3]));
    EXPECT_EQ(rejected, w.chi2.back() > limit) << ls[i];
    w.rejected += rejected;
    if (rejected || ++run < per) continue;
    if (block >= 5 && i + 2 < ls.size()) {
      std::string head = "BLOCK " + std::to_string(block) + " max sigma err ";
      EXPECT_EQ(ls[i + 1].rfind(head, 0), 0u) << ls[i + 1];
      w.sigmas.push_back(ls[i + 1].substr(head.size()));
      double rate = static_cast<double>(w.rejected) / (block * per + w.rejected);
      EXPECT_NEAR(value_after(ls[i + 2], "rejection rate: "), rate, kSixDigits * rate) << ls[i + 2];
      i += 2;
    }
    block++, run = 0;
  }
  w.rest.assign(ls.begin() + i, ls.end());
  return w;
}

}  // namespace

TEST(MonteCarloRun, BelowFiveBlocksTheFinalScatterIsReported) {
  // No test runs; the value printed is the largest scatter of the final
  // sums, the largest entry of column 8 ("MCstdev err").
  Case few(Over{{"MAX MC BLOCKS", "3"}});
  ASSERT_EQ(few.run().status, 0);
  Walk w = walk(mc_lines(few.out(".log")), 3, 1e6);
  ASSERT_EQ(w.rest.size(), 2u);
  double maxsig = value_after(w.rest[0], kMaxSteps);
  // The table has 8 decimals (5e-9) and the line six significant digits.
  EXPECT_NEAR(maxsig, col_max(few.out(".me"), 8), 5e-9 + kSixDigits * maxsig);
  EXPECT_EQ(w.rest[1], "number rejected: 0 of total 9");
  for (int col = 5; col <= 8; col++) EXPECT_GT(col_max(few.out(".me"), col), 0) << col;
}

TEST(MonteCarloRun, RejectionsAndTableRefreshesUpToTheLastBlock) {
  // The accepted runs of this set-up have chi2 between about 1 and 30, so
  // 11 rejects a good share of them but never 1000 in a row. MIN STDEV2
  // 1e-12 is never reached, so all 7 blocks run.
  Case c({{"MAX MC BLOCKS", "7"}, {"MIN STDEV2", "1e-12"}, {"MAX MC CHI2", "11"}});
  ASSERT_EQ(c.run().status, 0);
  Walk w = walk(mc_lines(c.out(".log")), 3, 11);
  EXPECT_GT(w.rejected, 0);
  ASSERT_EQ(w.sigmas.size(), 3u);
  EXPECT_EQ(w.rest, Lines({kMaxSteps + w.sigmas[2],
                           "number rejected: " + std::to_string(w.rejected) + " of total 21"}));
  // The table is rendered after blocks 5, 6, 7 and once more at the end.
  std::string call = c.dir.path() + "/run/run-ps.gp\n", snap;
  EXPECT_EQ(c.file("gnuplot-calls.txt"), call + call + call + call);
  for (int k = 0; k < 3; k++) {
    // Fresh estimates after each block; the stored "MCstdev err" is the
    // scatter whose maximum the block line shows (8 decimals against six
    // significant digits).
    std::string now = c.file("snap" + std::to_string(k + 1) + ".me");
    EXPECT_NE(now, snap);
    snap = now;
    double sigma = std::stod(w.sigmas[k]);
    EXPECT_NEAR(col_max(snap, 8), sigma, 5e-9 + kSixDigits * sigma) << k;
  }
  EXPECT_EQ(c.file("snap4.me"), snap);  // the final table holds the last block's estimates
  EXPECT_EQ(c.out(".me"), snap);
}

TEST(MonteCarloRun, StopsAfterThousandRejectionsInARow) {
  // One annealing step of one trial per run, so 1000 runs take little time.
  Case c({{"MAX MC CHI2", "1e-9"}, {"ERR ITERS AT TEMP", "1"}, {"ERR MIN TEMP", "1.5"}});
  RunResult r = c.run();
  EXPECT_EQ(r.status, 1);
  const std::string msg = "Monte Carlo stopped: 1000 runs in a row exceeded MAX MC CHI2";
  EXPECT_NE(r.out.find(msg + "\n"), std::string::npos);
  Walk w = walk(mc_lines(c.out(".log")), 3, 1e-9);
  EXPECT_EQ(w.rejected, 1000);
  EXPECT_EQ(w.rest, Lines({msg}));
  // No block finished: the table is still written, its estimates zero.
  for (int col = 5; col <= 8; col++) EXPECT_EQ(col_max(c.out(".me"), col), 0.0);
}

// Replays an in-process estimate attempt by attempt on an own copy of the
// model, with fresh noise on the unperturbed data each time, and forms the
// four estimates with two-pass sums. The replay draws the Gaussian noise
// itself (twelve uniforms), so each attempt's chi2 also checks the noise
// source draw for draw.
TEST(MonteCarloInProcess, EstimatesMatchIndependentReplayAndModelIsKept) {
  Case c({{"MAX MC BLOCKS", "5"}, {"PER MC BLOCK", "2"}, {"MAX MC CHI2", "11"}});
  std::string path = std::getenv("PATH");  // the stub gnuplot first, for this test only
  setenv("PATH", (c.bin + ":" + path).c_str(), 1);
  testing::internal::CaptureStdout();
  Paar model(c.dir.file("p.par").c_str());
  BoltzmannME bme(model);
  bme.Lagrange_siman(model);
  auto lagrange = values(model.lagrange), data = values(model.data),
       dist = values(model.distribution);
  EXPECT_EQ(bme.MC_error(model), kMcDone);
  testing::internal::GetCapturedStdout();
  setenv("PATH", path.c_str(), 1);
  model.log.flush();
  Walk w = walk(mc_lines(c.out(".log")), 2, 11);
  // The model keeps the annealed state.
  EXPECT_EQ(values(model.lagrange), lagrange);
  EXPECT_EQ(values(model.data), data);
  for (size_t j = 0; j < dist.size(); j++) EXPECT_DOUBLE_EQ(gvg(model.distribution, j), dist[j]);

  gsl_rng_env_setup();
  std::unique_ptr<gsl_rng, void (*)(gsl_rng*)> noise(gsl_rng_alloc(gsl_rng_default), gsl_rng_free);
  Paar work(model);
  std::vector<std::vector<double>> acc;  // accepted distributions: 5 blocks of 2
  int rejected = 0;
  for (size_t t = 0; acc.size() < 10; t++) {
    ASSERT_LT(t, w.chi2.size());
    work.copy_min(model);
    for (int j = 0; j < model.n_data; j++) {
      double s = 0;
      for (int k = 0; k < 12; k++) s += gsl_rng_uniform(noise.get());
      gsl_vector_set(work.data, j, data[j] + (s - 6.0) * gvg(model.data_error, j));
    }
    McBang bang;
    ASSERT_TRUE(anneal_mc(work, bang));
    EXPECT_NEAR(w.chi2[t], work.chi2, kSixDigits * work.chi2) << t;
    if (work.chi2 > model.max_mc_chi2)
      rejected++;
    else
      acc.push_back(values(work.distribution));
  }
  EXPECT_EQ(w.rejected, rejected);

  // Mean and sample sd of a list of values, two-pass.
  auto stats = [](std::vector<double> const& x) {
    double mean = 0, q = 0;
    for (double v : x) mean += v / x.size();
    for (double v : x) q += (v - mean) * (v - mean);
    return std::make_pair(mean, std::sqrt(q / (x.size() - 1)));
  };
  // The code works with one-pass sums (n*sumsq - sum^2); for a spread near 0
  // the cancellation leaves a variance error of a few eps times the squared
  // values (<= 1), i.e. up to sqrt(1e-15) ~ 3e-8 in a standard deviation.
  // The means differ only by the rounding of about ten additions and scalings
  // of values <= 1 (~1e-15); 1e-14 leaves a margin of ten.
  for (int j = 0; j < model.n_grid; j++) {
    std::vector<double> means, sds;
    for (size_t b = 0; b < 10; b += 2) {
      auto [mean, sd] = stats({acc[b][j], acc[b + 1][j]});
      means.push_back(mean), sds.push_back(sd);
    }
    auto [avg, avg_err] = stats(means);
    auto [sd_avg, sd_err] = stats(sds);
    EXPECT_NEAR(gvg(model.mc_average, j), avg, 1e-14) << j;
    EXPECT_NEAR(gvg(model.mc_average_err, j), avg_err, 1e-7) << j;
    EXPECT_NEAR(gvg(model.mc_stdev, j), sd_avg, 1e-7) << j;
    EXPECT_NEAR(gvg(model.mc_stdev_err, j), sd_err, 1e-7) << j;
  }
}

TEST(MonteCarloRun, ConvergenceAfterFiveBlocksSameFilesWhateverTheThreadCount) {
  // MIN STDEV2 1 is generous: every density lies in [0, 1], so no scatter of
  // a standard deviation can exceed it and the first test (block 5) passes.
  // Rejections exercise the in-order consumption of attempts annealed ahead
  // of time in batches.
  Case c({{"MAX MC BLOCKS", "8"}, {"MAX MC CHI2", "11"}});
  auto one = c.collect(c.run({"GSL_RNG_SEED=7", "OMP_NUM_THREADS=1"}));
  Lines ls = mc_lines(one["run.log"]);
  EXPECT_EQ(ls, mc_lines(one["<stdout>"]));
  Walk w = walk(ls, 3, 11);
  EXPECT_GT(w.rejected, 0);
  EXPECT_EQ(w.sigmas.size(), 1u);
  EXPECT_EQ(w.rest, Lines({"Distributions at each discrete distance converged in 5 x 3 mc points ",
                           "number rejected: " + std::to_string(w.rejected) + " of total 15"}));

  auto two = c.collect(c.run({"GSL_RNG_SEED=7", "OMP_NUM_THREADS=2"}));
  ASSERT_GE(one.size(), 10u);
  ASSERT_EQ(one.size(), two.size());
  for (auto const& kv : one) EXPECT_EQ(kv.second, two[kv.first]) << kv.first;
  auto other = c.collect(c.run({"GSL_RNG_SEED=8"}));
  EXPECT_NE(mc_lines(one["run.log"])[0], mc_lines(other["run.log"])[0]);
  for (int col = 5; col <= 8; col++)
    EXPECT_NE(col_max(one["run.me"], col), col_max(other["run.me"], col)) << col;
}
