// What protects a run and its directory: the lock, planted links, stale
// outputs, the random-number environment, gnuplot failing or hanging, signals.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/test_support.h"

using namespace ts;
namespace fs = std::filesystem;

TEST(RunSafety, LockLinksAndStaleOutputs) {
  Workspace w;
  ASSERT_EQ(w.run().status, 0);
  ASSERT_TRUE(fs::exists(w.dir.file("run/run.sa")));
  // Another run holding the directory: refused at once, nothing changed.
  int fd = open(w.dir.file("run").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  std::string log = w.out(".log");
  RunResult busy = w.run();
  EXPECT_EQ(busy.status, 1);
  EXPECT_EQ(busy.out, "Run directory ./run is in use by another run of redordist; wait for it to end "
                      "or choose another OUTPUT\n");
  EXPECT_EQ(w.out(".log"), log);
  close(fd);
  // Links planted where outputs go are replaced, their targets untouched; a
  // simulation removes the fit's trace and a killed run's temporary file.
  write_file(w.dir.file("victim"), "keep");
  for (char const* f : {"run/run.me", "run/run.log", "run/run.mx", "run/data.dat"}) {
    fs::remove(w.dir.file(f));
    fs::create_symlink(w.dir.file("victim"), w.dir.file(f));
  }
  write_file(w.dir.file("run/run.me.tmpAbC123"), "half");
  write_file(w.dir.file("two.dat"), "3.0 0.5\n4.0 0.5\n");
  ASSERT_EQ(w.run({{"MODE", "sim"}, {"DISTDIST", "two.dat"}}).status, 0);
  EXPECT_EQ(w.file("victim"), "keep");
  for (char const* f : {"run/run.me", "run/run.log", "run/run.mx", "run/data.dat"})
    EXPECT_FALSE(fs::is_symlink(w.dir.file(f))) << f;
  EXPECT_FALSE(fs::exists(w.dir.file("run/run.sa")));
  EXPECT_FALSE(fs::exists(w.dir.file("run/run.me.tmpAbC123")));
}

TEST(RunSafety, RandomNumberEnvironmentAndWarnings) {
  Workspace w;
  RunResult bogus = w.run({}, {"GSL_RNG_TYPE=bogus"});
  EXPECT_EQ(bogus.out, "environment error: GSL_RNG_TYPE is \"bogus\"; it must name one of GSL's "
                       "generators, such as mt19937, taus2 or ranlxd2\n");
  EXPECT_FALSE(fs::exists(w.dir.file("run")));  // refused before anything is written
  // Four columns: no error.
  write_file(w.dir.file("data.dat"), "0 1000 1000 1\n8 1000 870 0.87\n16 1000 650 0.65\n");
  RunResult r = w.run({{"YN", "C13"}}, {"GSL_RNG_SEED=7", "GSL_RNG_TYPE=taus2"});
  ASSERT_EQ(r.status, 0) << r.out;
  for (std::string want :
       {"warning: XN and YN are both C13; REDOR dephases one nucleus by another\n",
        "warning: XYDATA data.dat: 3 of 3 points have no usable error (the fifth column: N_c S0 S "
        "ratio error; missing, 0, negative or 1 and above); they count with error 1.0, so chi2 "
        "means little\n",
        "GSL_RNG_TYPE: taus2 (Monte Carlo noise; the annealing uses taus2)\nGSL_RNG_SEED: 7\n"}) {
    EXPECT_NE((r.out + w.out(".log")).find(want), std::string::npos) << want;
  }
  EXPECT_EQ(r.err.find("GSL_RNG_SEED=7"), r.err.rfind("GSL_RNG_SEED=7"));  // noted once
}

TEST(RunSafety, GnuplotThatFailsOrHangsEndsTheRunWithStatusOne) {
  // The stub fails on the printed figure, or sleeps past a 1 s limit.
  const std::pair<std::string, std::string> cases[] = {
      {"case \"$1\" in *-ps.gp) exit 3;; esac", "gnuplot on ./run/run-ps.gp failed with exit status 3"},
      {"sleep 5", "gnuplot on ./run/run-ps.gp ran longer than 1 s and was stopped"}};
  for (auto const& [stub, message] : cases) {
    Workspace w(stub);
    RunResult r = w.run({}, {"REDORDIST_GNUPLOT_TIMEOUT=1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(message + "\n"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::exists(w.dir.file("run/run.me")));  // results written all the same
  }
}

TEST(RunSafety, SignalStopsAtASafePointWithTheResultsSoFar) {
  Workspace w;
  // A Monte Carlo estimate of many blocks that would run for minutes.
  write_file(w.dir.file("p.par"), param_text({{"MODE", "err"}, {"MAX MC BLOCKS", "100000"},
                                               {"MIN STDEV2", "0"}, {"ERR ITERS AT TEMP", "2000"}}));
  std::string cmd = "cd '" + w.dir.path() + "' || exit; PATH='" + w.bin + "':\"$PATH\" '" REDORDIST_BIN
                    "' p.par > out.txt 2>&1 & echo $! > pid.txt; wait $!; echo $? > rc.txt";
  std::thread run([&] { std::system(cmd.c_str()); });
  // Wait (at most a minute) until the fifth block has been written out.
  for (int i = 0; i < 600 && w.file("run/run.log").find("BLOCK 5 ") == std::string::npos; i++)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::system(("kill -TERM $(cat '" + w.dir.file("pid.txt") + "')").c_str());
  run.join();
  EXPECT_EQ(w.file("rc.txt"), "143\n");
  EXPECT_NE(w.out(".log").find("Run interrupted by SIGTERM: the results so far are written\n"),
            std::string::npos);
  EXPECT_NE(w.out(".json").find("\"status\": 143"), std::string::npos);
}
