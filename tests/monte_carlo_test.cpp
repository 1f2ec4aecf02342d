// Monte Carlo error estimate (mode "err"): the block loop, rejections, the
// four per-distance estimates, the table refreshes, reproducibility and
// independence from the number of threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <regex>
#include <string>
#include <vector>

#include <gsl/gsl_rng.h>

#include "model/paar.h"
#include "solver/boltzmann_me.h"
#include "solver/numeric.h"
#include "tests/test_support.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

using Over = std::map<std::string, std::string>;

// A case directory: data, parameter file (run directory inside it) and a stub
// gnuplot that logs its calls and keeps a snapshot of the result table.
struct Case {
  TempDir dir;
  std::string bin;
  explicit Case(Over over) {
    write_file(dir.file("data.dat"), small_data());
    over["PATH"] = dir.path() + "/";
    over["XYDATA"] = dir.file("data.dat");
    write_file(dir.file("p.par"), param_text(over));
    bin = dir.file("bin");
    fs::create_directories(bin);
    std::string calls = dir.file("gnuplot-calls.txt");
    write_file(bin + "/gnuplot", "#!/bin/sh\necho \"$@\" >> '" + calls + "'\nn=$(wc -l < '" +
                                     calls + "')\ncp '" + dir.file("run/run.me") + "' '" +
                                     dir.file("snap") + "'$n.me\n");
    fs::permissions(bin + "/gnuplot", fs::perms::owner_all);
  }
  // Seed 0 is GSL's default; set it so a seed in the caller's environment
  // does not leak in (later settings in env override it).
  RunResult run(std::vector<std::string> env = {}) {
    env.insert(env.begin(), "GSL_RNG_SEED=0");
    return run_redordist(dir.path(), {"p.par"}, bin, env);
  }
  std::string out(std::string const& ext) const { return read_file(dir.file("run/run" + ext)); }
  // Every file of the run directory (log with its times masked), the standard
  // output and the gnuplot calls; the run directory is then removed.
  std::map<std::string, std::string> collect(RunResult const& r) {
    std::map<std::string, std::string> m;
    for (auto const& e : fs::directory_iterator(dir.file("run")))
      m[e.path().filename().string()] = read_file(e.path().string());
    m["run.log"] = mask_times(m["run.log"]);
    m["<stdout>"] = r.out;
    m["<calls>"] = read_file(dir.file("gnuplot-calls.txt"));
    fs::remove_all(dir.file("run"));
    fs::remove(dir.file("gnuplot-calls.txt"));
    return m;
  }
};

std::vector<std::string> lines_of(std::string const& text) {
  std::vector<std::string> v;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) v.push_back(l);
  return v;
}

// The Monte Carlo part of a log or of standard output: the lines after
// "Beginning Boltzmann MC:" up to the end-of-run time line.
std::vector<std::string> mc_lines(std::string const& text) {
  auto all = lines_of(text.substr(text.find("Beginning Boltzmann MC:")));
  std::vector<std::string> v;
  for (size_t i = 1; i < all.size() && all[i].rfind("time: ", 0) != 0; i++)
    if (!all[i].empty()) v.push_back(all[i]);
  return v;
}

// Numeric column `col` (1-based) of the result table, grid rows only.
std::vector<double> me_column(std::string const& table, int col) {
  std::vector<double> v;
  for (auto const& l : lines_of(table)) {
    std::istringstream in(l);
    std::vector<std::string> f;
    for (std::string w; in >> w;) f.push_back(w);
    if (l[0] != '#' && f.size() == 24 && f[0] != "?") v.push_back(std::stod(f[col - 1]));
  }
  return v;
}

double max_of(std::vector<double> const& v) {
  return v.empty() ? std::nan("") : *std::max_element(v.begin(), v.end());
}

// Numbers in run lines and messages are printed with six significant digits.
const double kSixDigits = 6e-6;

const std::regex kRunLine(R"(^(\d+)\.(\d+)Err CHI2 (\S+) AVGDEV (\S+)( REJECTED)?$)");
const std::regex kMaxLine(R"(^Maximum monte carlo steps reached\. Largest stdev is (\S+)$)");

// Value after `prefix` on the line that starts with it (NaN when none).
double value_after(std::vector<std::string> const& ls, std::string const& prefix) {
  for (auto const& l : ls)
    if (l.rfind(prefix, 0) == 0) return std::stod(l.substr(prefix.size()));
  return std::nan("");
}

// Puts a directory first on PATH for the lifetime of the object.
struct PathFirst {
  std::string old;
  explicit PathFirst(std::string const& dir) : old(std::getenv("PATH") ? std::getenv("PATH") : "") {
    setenv("PATH", (dir + ":" + old).c_str(), 1);
  }
  ~PathFirst() { setenv("PATH", old.c_str(), 1); }
};

}  // namespace

TEST(MonteCarloRun, BlockLoopExitsAndRunLines) {
  // MIN STDEV2 1 is generous: every density lies in [0, 1], so no scatter of
  // a standard deviation can exceed it and the first test (block 5) passes.
  Case conv({{"MODE", "err"}, {"MAX MC BLOCKS", "8"}});
  RunResult r = conv.run();
  ASSERT_EQ(r.status, 0) << r.out;
  auto ls = mc_lines(conv.out(".log"));
  EXPECT_EQ(ls, mc_lines(r.out));
  ASSERT_EQ(ls.size(), 15u + 4u);
  for (int t = 0; t < 15; t++) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(ls[t], m, kRunLine)) << ls[t];
    EXPECT_EQ(std::stoi(m[1]), t / 3 + 1);
    EXPECT_EQ(std::stoi(m[2]), t % 3);
    for (int g : {3, 4}) {  // default stream notation, like printf "%g"
      std::ostringstream o;
      o << std::stod(m[g]);
      EXPECT_EQ(o.str(), m[g].str());
    }
  }
  EXPECT_EQ(ls[15].rfind("BLOCK 5 max sigma err ", 0), 0u);
  EXPECT_EQ(ls[16], "rejection rate: 0");
  EXPECT_EQ(ls[17], "Distributions at each discrete distance converged in 5 x 3 mc points ");
  EXPECT_EQ(ls[18], "number rejected: 0 of total 15");

  Case last({{"MODE", "err"}, {"MAX MC BLOCKS", "5"}});
  ASSERT_EQ(last.run().status, 0);
  ls = mc_lines(last.out(".log"));
  ASSERT_EQ(ls.size(), 19u);
  EXPECT_EQ(ls[17], "Maximum monte carlo steps reached. Largest stdev is " + ls[15].substr(22));

  // Below five blocks no test runs; the value printed is the largest scatter
  // of the final sums, the largest entry of column 8 ("MCstdev err").
  Case few({{"MODE", "err"}, {"MAX MC BLOCKS", "3"}});
  ASSERT_EQ(few.run().status, 0);
  ls = mc_lines(few.out(".log"));
  ASSERT_EQ(ls.size(), 9u + 2u);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(ls[9], m, kMaxLine)) << ls[9];
  double maxsig = std::stod(m[1]);
  EXPECT_TRUE(std::isfinite(maxsig) && maxsig > 0);
  // The table has 8 decimals (5e-9) and the line six significant digits.
  EXPECT_NEAR(maxsig, max_of(me_column(few.out(".me"), 8)), 5e-9 + kSixDigits * maxsig);
  EXPECT_EQ(ls[10], "number rejected: 0 of total 9");
  for (int c = 5; c <= 8; c++) EXPECT_GT(max_of(me_column(few.out(".me"), c)), 0) << c;
}

TEST(MonteCarloRun, RejectionBookkeeping) {
  // The accepted runs of this set-up have chi2 between about 1 and 30, so
  // 11 rejects a good share of them but never 1000 in a row.
  const double limit = 11;
  Case c({{"MODE", "err"}, {"MAX MC BLOCKS", "6"}, {"MIN STDEV2", "1e-12"}, {"MAX MC CHI2", "11"}});
  RunResult r = c.run();
  ASSERT_EQ(r.status, 0) << r.out;
  auto ls = mc_lines(c.out(".log"));
  EXPECT_EQ(ls, mc_lines(r.out));
  ASSERT_EQ(ls[0].rfind("1.0Err CHI2 ", 0), 0u);
  // Walk the lines with the expected block and run index: a rejected run is
  // done again under the same index.
  int block = 1, run = 0, rejected = 0;
  size_t i = 0;
  for (; i < ls.size() && block <= 6; i++) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(ls[i], m, kRunLine)) << ls[i];
    EXPECT_EQ(std::stoi(m[1]), block);
    EXPECT_EQ(std::stoi(m[2]), run);
    bool rej = m[5].matched;
    EXPECT_EQ(rej, std::stod(m[3]) > limit) << ls[i];
    if (rej) {
      rejected++;
      continue;
    }
    if (++run < 3) continue;
    if (block >= 5) {
      ASSERT_LT(i + 2, ls.size());
      EXPECT_EQ(ls[i + 1].rfind("BLOCK " + std::to_string(block) + " max sigma err ", 0), 0u);
      double rate = value_after({ls[i + 2]}, "rejection rate: ");
      double expect = static_cast<double>(rejected) / (block * 3 + rejected);
      EXPECT_NEAR(rate, expect, kSixDigits * expect) << ls[i + 2];
      i += 2;
    }
    block++;
    run = 0;
  }
  EXPECT_GT(rejected, 0);
  ASSERT_EQ(i + 2, ls.size());
  EXPECT_EQ(ls[i].rfind("Maximum monte carlo steps reached. Largest stdev is ", 0), 0u);
  EXPECT_EQ(ls[i + 1], "number rejected: " + std::to_string(rejected) + " of total 18");
}

TEST(MonteCarloRun, StopsAfterThousandRejectionsInARow) {
  // One annealing step of one trial per run, so 1000 runs take little time.
  Case c({{"MODE", "err"},
          {"MAX MC CHI2", "1e-9"},
          {"ERR ITERS AT TEMP", "1"},
          {"ERR INIT TEMP", "1"},
          {"ERR ATTEN TEMP", "2"},
          {"ERR MIN TEMP", "0.6"}});
  RunResult r = c.run();
  EXPECT_EQ(r.status, 1);
  const std::string msg = "Monte Carlo stopped: 1000 runs in a row exceeded MAX MC CHI2\n";
  std::string log = c.out(".log");
  EXPECT_NE(r.out.find(msg), std::string::npos);
  EXPECT_NE(log.find(msg), std::string::npos);
  auto ls = mc_lines(log);
  ASSERT_EQ(ls.size(), 1001u);
  for (int t = 0; t < 1000; t++) {
    ASSERT_EQ(ls[t].rfind("1.0Err CHI2 ", 0), 0u) << ls[t];
    ASSERT_EQ(ls[t].substr(ls[t].size() - 9), " REJECTED");
  }
  // No block finished: the estimates are zero, table and scripts written.
  for (int c5 = 5; c5 <= 8; c5++) EXPECT_EQ(max_of(me_column(c.out(".me"), c5)), 0.0);
  EXPECT_FALSE(c.out(".gp").empty());
  EXPECT_FALSE(c.out("-ps.gp").empty());
  EXPECT_NE(read_file(c.dir.file("gnuplot-calls.txt")).find("run-ps.gp"), std::string::npos);
}

TEST(MonteCarloNoise, GrandomSigmaStatistics) {
  gsl_rng* r = gsl_rng_alloc(gsl_rng_taus2);
  gsl_rng* twin = gsl_rng_alloc(gsl_rng_taus2);
  gsl_rng_set(r, 12345);
  gsl_rng_set(twin, 12345);
  EXPECT_EQ(_grandom_sigma(r, 0.0), 0.0);  // sigma 0 still takes twelve draws
  for (int k = 0; k < 12; k++) gsl_rng_uniform(twin);
  EXPECT_EQ(gsl_rng_get(r), gsl_rng_get(twin));
  const int n = 200000;
  const double sigma = 0.3;
  double sum = 0, sumsq = 0, extreme = 0;
  for (int k = 0; k < n; k++) {
    double x = _grandom_sigma(r, sigma);
    sum += x;
    sumsq += x * x;
    extreme = std::max(extreme, std::fabs(x));
  }
  double mean = sum / n, sd = std::sqrt((sumsq - n * mean * mean) / (n - 1));
  // Standard error of the mean sigma/sqrt(n) = 6.7e-4; allow 5 of them.
  EXPECT_NEAR(mean, 0.0, 5 * sigma / std::sqrt(n));
  // Relative standard error of a sample sd is about 1/sqrt(2n) = 1.6e-3
  // (the sum of twelve uniforms is nearly normal); allow 5 of them.
  EXPECT_NEAR(sd, sigma, 5 * sigma / std::sqrt(2.0 * n));
  // Bounded by 6 sigma; beyond 3 sigma about 500 times in 2e5 draws.
  EXPECT_LE(extreme, 6 * sigma);
  EXPECT_GT(extreme, 3 * sigma);
  gsl_rng_free(r);
  gsl_rng_free(twin);
}

// Replays an in-process estimate attempt by attempt on an own copy of the
// model, with fresh noise on the unperturbed data each time, and forms the
// four estimates with two-pass sums.
TEST(MonteCarloInProcess, EstimatesMatchIndependentReplay) {
  const int blocks = 5, per = 2;
  Case c({{"MODE", "err"}, {"MAX MC BLOCKS", "5"}, {"PER MC BLOCK", "2"}, {"MAX MC CHI2", "11"}});
  PathFirst stub(c.bin);
  testing::internal::CaptureStdout();
  Paar model(c.dir.file("p.par").c_str());
  BoltzmannME bme(model);
  bme.Lagrange_siman(model);
  auto vec = [](gsl_vector const* v) { return std::vector<double>(v->data, v->data + v->size); };
  auto lagrange = vec(model.lagrange), data = vec(model.data), dist = vec(model.distribution);
  testing::internal::GetCapturedStdout();
  testing::internal::CaptureStdout();
  EXPECT_EQ(bme.MC_error(model), kMcDone);
  std::string out = testing::internal::GetCapturedStdout();
  model.log.flush();
  auto ls = mc_lines(read_file(c.dir.file("run/run.log")));
  EXPECT_EQ(ls, mc_lines(out));
  EXPECT_EQ(vec(model.lagrange), lagrange);
  EXPECT_EQ(vec(model.data), data);
  for (size_t j = 0; j < dist.size(); j++) EXPECT_DOUBLE_EQ(gvg(model.distribution, j), dist[j]);

  gsl_rng_env_setup();
  gsl_rng* noise = gsl_rng_alloc(gsl_rng_default);
  Paar work(model);
  std::vector<std::vector<std::vector<double>>> acc(blocks);  // [block][run][distance]
  int rejected = 0;
  for (size_t t = 0; acc[blocks - 1].size() < per; t++) {
    ASSERT_LT(t, 200u);
    work.copy_min(model);
    for (int j = 0; j < model.n_data; j++) {
      double s = 0;
      for (int k = 0; k < 12; k++) s += gsl_rng_uniform(noise);
      gsl_vector_set(work.data, j, data[j] + (s - 6.0) * gvg(model.data_error, j));
    }
    McBang bang;
    ASSERT_TRUE(anneal_mc(work, bang));
    // Block lines come only after the fifth block: attempt t is line t.
    std::smatch m;
    ASSERT_LT(t, ls.size());
    ASSERT_TRUE(std::regex_match(ls[t], m, kRunLine)) << ls[t];
    EXPECT_NEAR(std::stod(m[3]), work.chi2, kSixDigits * work.chi2) << ls[t];
    if (work.chi2 > model.max_mc_chi2) {
      rejected++;
      continue;
    }
    for (auto& b : acc)
      if (b.size() < per) {
        b.push_back(vec(work.distribution));
        break;
      }
  }
  gsl_rng_free(noise);
  EXPECT_EQ(value_after(ls, "number rejected: "), rejected);

  // Mean and sample sd of a list of values, two-pass.
  auto stats = [](std::vector<double> const& x, double& mean, double& sd) {
    mean = 0;
    for (double v : x) mean += v / x.size();
    double q = 0;
    for (double v : x) q += (v - mean) * (v - mean);
    sd = std::sqrt(q / (x.size() - 1));
  };
  // The code works with one-pass sums (n*sumsq - sum^2); for a spread near 0
  // the cancellation leaves a variance error of a few eps times the squared
  // values (<= 1), i.e. up to sqrt(1e-15) ~ 3e-8 in a standard deviation.
  // The means differ only by the rounding of about ten additions and scalings
  // of values <= 1 (~1e-15); 1e-14 leaves a margin of ten.
  for (int j = 0; j < model.n_grid; j++) {
    std::vector<double> means, sds;
    for (auto const& b : acc) {
      double mu, sd;
      stats({b[0][j], b[1][j]}, mu, sd);
      means.push_back(mu);
      sds.push_back(sd);
    }
    double avg, avg_err, sd_avg, sd_err;
    stats(means, avg, avg_err);
    stats(sds, sd_avg, sd_err);
    EXPECT_NEAR(gvg(model.mc_average, j), avg, 1e-14) << j;
    EXPECT_NEAR(gvg(model.mc_average_err, j), avg_err, 1e-7) << j;
    EXPECT_NEAR(gvg(model.mc_stdev, j), sd_avg, 1e-7) << j;
    EXPECT_NEAR(gvg(model.mc_stdev_err, j), sd_err, 1e-7) << j;
  }
}

TEST(MonteCarloRun, TableRefreshedAfterEveryBlockFromTheFifth) {
  // MIN STDEV2 1e-12 is never reached, so all 7 blocks run.
  Case c({{"MODE", "err"}, {"MAX MC BLOCKS", "7"}, {"PER MC BLOCK", "2"}, {"MIN STDEV2", "1e-12"}});
  ASSERT_EQ(c.run().status, 0);
  auto calls = lines_of(read_file(c.dir.file("gnuplot-calls.txt")));
  ASSERT_EQ(calls.size(), 4u);  // blocks 5, 6, 7 and the final write-out
  for (auto const& l : calls) EXPECT_EQ(l, c.dir.path() + "/run/run-ps.gp");
  auto ls = mc_lines(c.out(".log"));
  std::vector<std::string> snaps;
  for (int k = 1; k <= 4; k++)
    snaps.push_back(read_file(c.dir.file("snap" + std::to_string(k) + ".me")));
  for (int k = 0; k < 3; k++) {
    for (int col = 5; col <= 8; col++) EXPECT_GT(max_of(me_column(snaps[k], col)), 0) << k << col;
    // The stored "MCstdev err" is the scatter whose maximum the block line shows.
    double shown = value_after(ls, "BLOCK " + std::to_string(k + 5) + " max sigma err ");
    EXPECT_NEAR(max_of(me_column(snaps[k], 8)), shown, 5e-9 + kSixDigits * shown) << k;
  }
  EXPECT_NE(me_column(snaps[0], 5), me_column(snaps[1], 5));
  EXPECT_NE(me_column(snaps[1], 5), me_column(snaps[2], 5));
  EXPECT_EQ(snaps[2], snaps[3]);  // the final table holds the last block's estimates
  EXPECT_EQ(snaps[3], c.out(".me"));
}

TEST(MonteCarloRun, SameSeedSameFilesOtherSeedOtherResults) {
  Case c({{"MODE", "err"}, {"MAX MC BLOCKS", "6"}, {"MIN STDEV2", "1e-12"}});
  auto a = c.collect(c.run({"GSL_RNG_SEED=7"}));
  auto b = c.collect(c.run({"GSL_RNG_SEED=7"}));
  EXPECT_EQ(a, b);
  auto o = c.collect(c.run({"GSL_RNG_SEED=8"}));
  EXPECT_NE(mc_lines(a["run.log"])[0], mc_lines(o["run.log"])[0]);
  for (int col = 5; col <= 8; col++)
    EXPECT_NE(me_column(a["run.me"], col), me_column(o["run.me"], col));
}

TEST(MonteCarloRun, ErrScheduleRefusedOnlyInErrMode) {
  const Over bad = {{"ERR INIT TEMP", "0"},     {"ERR ATTEN TEMP", "1"}, {"ERR MIN TEMP", "0"},
                    {"ERR ITERS AT TEMP", "0"}, {"PER MC BLOCK", "1"},   {"MAX MC BLOCKS", "1"}};
  for (auto const& kv : bad) {
    Case c({{"MODE", "err"}, kv});
    RunResult r = c.run();
    EXPECT_EQ(r.status, 1) << kv.first;
    EXPECT_EQ(r.out.rfind("parameter error: " + kv.first + " is " + kv.second + "; ", 0), 0u)
        << r.out;
    EXPECT_FALSE(exists(c.dir.file("run"))) << kv.first;  // refused before any output
  }
  Over fit = bad;
  fit["MODE"] = "fit";
  Case c(fit);
  RunResult r = c.run();
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(exists(c.dir.file("run/run.me")));
}

TEST(MonteCarloRun, ThreadCountDoesNotChangeAnyOutput) {
  // Rejections and refreshes exercise the in-order consumption of attempts
  // annealed ahead of time in batches.
  for (std::string mode : {"err", "fit"}) {
    Case c(
        {{"MODE", mode}, {"MAX MC BLOCKS", "6"}, {"MIN STDEV2", "1e-12"}, {"MAX MC CHI2", "11"}});
    auto one = c.collect(c.run({"OMP_NUM_THREADS=1"}));
    EXPECT_GE(one.size(), 10u);
    for (std::string n : {"2", "3"}) {
      auto more = c.collect(c.run({"OMP_NUM_THREADS=" + n}));
      ASSERT_EQ(one.size(), more.size()) << mode << n;
      for (auto const& kv : one)
        EXPECT_EQ(kv.second, more[kv.first]) << mode << " " << n << " " << kv.first;
    }
  }
}
