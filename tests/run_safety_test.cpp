// What protects a run and its directory: the lock, planted links, stale
// outputs, the random-number environment, gnuplot failing or hanging, signals.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <csignal>

#include <array>
#include <chrono>
#include <thread>
#include <tuple>
#include <utility>

#include <gsl/gsl_linalg.h>

#include "driver/solve.h"
#include "numeric/gsl_errors.h"
#include "output/gnuplot_run.h"
#include "tests/test_support.h"

using namespace ts;
namespace fs = std::filesystem;

int sh(Workspace const& w, std::string const& cmd) { return std::system(("cd '" + w.dir.path() + "' && " + cmd).c_str()); }

TEST(RunSafety, LockLinksAndStaleOutputs) {
  Workspace w;
  // A fit with standard input closed (the first file opened gets descriptor
  // 0, which is a file like any other): its trace run.sa is written.
  ASSERT_EQ(w.run({}, {"sh -c 'exec \"$0\" \"$@\" <&-'"}).status, 0);
  // Another run holding the directory: refused at once, nothing changed.
  int fd = open(w.dir.file("run").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  std::string log = w.out(".log");
  RunResult busy = w.run();
  EXPECT_EQ(std::to_string(busy.status) + " " + busy.out, "1 Run directory ./run is in use by another run of "
            "redordist; wait for it to end or choose another OUTPUT\n");
  EXPECT_EQ(w.out(".log"), log);
  close(fd);
  // Links planted where outputs go are replaced, their targets untouched; a
  // simulation removes the fit's trace and a killed run's temporary file.
  ASSERT_EQ(sh(w, "echo keep > victim; echo half > run/run.me.tmpAbC123; printf '3 0.5\\n4 0.5\\n' > two.dat; for f in "
                  "run/run.me run/run.log run/run.mx run/data.dat; do ln -sf \"$PWD/victim\" $f; done"), 0);
  ASSERT_EQ(w.run({{"MODE", "sim"}, {"DISTDIST", "two.dat"}}).status, 0);
  EXPECT_EQ(w.file("victim"), "keep\n");
  for (char const* f : {"run/run.me", "run/run.log", "run/run.mx", "run/data.dat"})
    EXPECT_FALSE(fs::is_symlink(w.dir.file(f))) << f;
  for (char const* f : {"run/run.sa", "run/run.me.tmpAbC123"}) EXPECT_FALSE(fs::exists(w.dir.file(f))) << f;
}

TEST(RunSafety, RandomNumberEnvironmentAndWarnings) {
  Workspace w;
  EXPECT_EQ(w.run({}, {"GSL_RNG_TYPE=bogus"}).out, "environment error: GSL_RNG_TYPE is \"bogus\"; it must name one of "
            "GSL's generators, such as mt19937, taus2 or ranlxd2\n");
  for (std::string s : {"12x", "99999999999999999999"})  // the second past the largest unsigned long
    EXPECT_EQ(w.run({}, {"GSL_RNG_SEED=" + s}).out, "environment error: GSL_RNG_SEED is \"" + s + "\"; it must be a whole decimal number\n");
  EXPECT_EQ(w.run({}, {"REDORDIST_GNUPLOT_TIMEOUT=abc"}).out, "environment error: REDORDIST_GNUPLOT_TIMEOUT is \"abc\"; "
            "it must be a whole number of seconds from 1 to 99999\n");
  EXPECT_FALSE(fs::exists(w.dir.file("run")));  // refused before anything is written
  for (auto [text, limit] : {std::pair{"10", 10}, {"99999", 99999}, {"100000", 30}, {"0", 30}}) {
    setenv("REDORDIST_GNUPLOT_TIMEOUT", text, 1);  // seconds, in decimal
    EXPECT_EQ(gnuplot_time_limit(), limit) << text;
  }
  unsetenv("REDORDIST_GNUPLOT_TIMEOUT");
  // Four columns: no error.
  write_file(w.dir.file("data.dat"), "0 1000 1000 1\n8 1000 870 0.87\n16 1000 650 0.65\n");
  RunResult r = w.run({{"YN", "C13"}}, {"GSL_RNG_SEED=7", "GSL_RNG_TYPE=taus2"}); ASSERT_EQ(r.status, 0) << r.out;
  for (std::string want : {"warning: XN and YN are both C13; REDOR dephases one nucleus by another\n",
        "warning: XYDATA data.dat: 3 of 3 points have no usable error (the fifth column: N_c S0 S ratio error; "
        "missing, 0, negative or 1 and above); they count with error 1.0, so chi2 means little\n",
        "GSL_RNG_TYPE: taus2 (Monte Carlo noise; the annealing uses taus2)\nGSL_RNG_SEED: 7\n"})
    EXPECT_NE((r.out + w.out(".log")).find(want), std::string::npos) << want;
  EXPECT_EQ(r.err.find("GSL_RNG_SEED=7"), r.err.rfind("GSL_RNG_SEED=7"));  // noted once
}

TEST(RunSafety, GnuplotThatFailsOrHangsEndsTheRunWithStatusOne) {
  // The stub fails on the printed figure or on the screen's graph (with a
  // display), or never exits by itself: it must be killed at the 1 s limit
  // (a run still there after 30 s is killed by timeout).
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"case \"$1\" in *-ps.gp) exit 3;; esac", "gnuplot on ./run/run-ps.gp failed with exit status 3", "DISPLAY="},
      {"case \"$1\" in -persist) exit 4;; esac", "gnuplot on ./run/run.gp failed with exit status 4", "DISPLAY=:0"},
      {"exec sleep 1000", "gnuplot on ./run/run-ps.gp ran longer than 1 s and was stopped", "DISPLAY="}};
  for (auto const& [stub, message, display] : cases) {
    Workspace w(stub);
    auto t0 = std::chrono::steady_clock::now();
    RunResult r = w.run({}, {"REDORDIST_GNUPLOT_TIMEOUT=1", display, "timeout -s KILL 30"});
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
    EXPECT_TRUE(r.status == 1 && r.out.find(message + "\n") != std::string::npos) << r.status << r.out;
    EXPECT_TRUE(fs::exists(w.dir.file("run/run.me")));  // results written all the same
  }
}

TEST(RunSafety, InputsAmongTheRunsOwnFilesAreRefusedBeforeAnythingChanges) {
  // {key, input, how it is made, the run's file it is ("": none, the run goes on)}
  const std::array<std::string, 4> cases[] = {{"XYDATA", "run/run.sa", "cp data.dat run/run.sa", "./run/run.sa"},
      {"XYDATA", "run/run.me.tmpAbC123", "cp data.dat run/run.me.tmpAbC123", "./run/run.me.tmpAbC123"},
      {"LAMBDA_D", "l.dat", "printf '0 1\\n1 0.5\\n' > run/run.png; ln -s run/run.png l.dat", "./run/run.png"},
      {"parameter file", "run/run.json", "cp p.par run/run.json", "./run/run.json"},
      {"parameter file", "run/data.dat", "cp p.par run/data.dat", "./run/data.dat"},  // XYDATA's copy
      {"DISTDIST", "d.dat", "echo 3 0.2 > d.dat; ln d.dat run/run.log", "./run/run.log"},
      {"XYDATA", "run/run.mx", "ln -s ../data.dat run/run.mx", "./run/run.mx"},
      {"XYDATA", "run/data.dat", "cp data.dat run/data.dat", ""}};  // read, not copied onto itself
  for (auto const& [key, input, setup, as] : cases) {
    Workspace w;
    bool par = key == "parameter file";
    write_file(w.dir.file("p.par"), param_text(par ? Over{} : Over{{key, input}}));
    ASSERT_EQ(sh(w, "mkdir run && " + setup), 0);
    auto entries = [&w] { return std::distance(fs::directory_iterator(w.dir.file("run")), {}); };
    auto before = entries();
    std::string text = w.file(input);
    RunResult r = w.run_args({par ? input : "p.par"});
    EXPECT_EQ(r.status, as.empty() ? 0 : 1) << r.out;
    EXPECT_EQ(w.file(input), text);
    if (as.empty()) continue;
    EXPECT_EQ(r.out, "input error: " + key + " " + input + " would be overwritten or removed by this run as " +
                         as + "; move it out of the run directory or choose another OUTPUT\n");
    EXPECT_EQ(entries(), before);
  }
}

// The signal comes once the run is known to be at the point of the case. Blocked on
// a FIFO, before the run directory, the process ends by the signal; in the kernel
// fill no result is computed from the incomplete kernel and an earlier run's results
// stay whole; in the Monte Carlo the finished blocks are written.
TEST(RunSafety, SignalsEndTheRunWithStatus128PlusSignal) {
  // {parameters, signal, the file and text that show the run is ready ("": the FIFO), log line}
  const std::tuple<Over, int, std::string, std::string, std::string> cases[] = {{{}, SIGINT, "", "", ""},
      {{{"PER 2PI", "1000"}, {"LAST POINT", "8000"}}, SIGTERM, "out.txt", "Filling transform matrix elements",
       "Run interrupted by SIGTERM before any result: none is written\ntime: "},
      {{{"MODE", "err"}, {"MAX MC BLOCKS", "100000"}, {"MIN STDEV2", "0"}, {"ERR ITERS AT TEMP", "2000"}},
       SIGHUP, "run/run.log", "BLOCK 5 ", "Run interrupted by SIGHUP: the results so far are written\n"}};
  auto eventually = [](std::function<bool()> const& f) {  // polled for at most a minute
    for (int i = 0; i < 1200 && !f(); i++) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return f();
  };
  for (auto const& [over, sig, ready_file, ready_text, log_line] : cases) {
    Workspace w;
    bool fifo = ready_file.empty();
    // Else an earlier run's results are in the directory.
    ASSERT_EQ(fifo ? mkfifo(w.dir.file("p.par").c_str(), 0600) : w.run().status, 0);
    std::string me = fifo ? "" : w.out(".me");
    if (!fifo) write_file(w.dir.file("p.par"), param_text(over));
    // Killed after a minute at the latest; the shell's pid becomes redordist's.
    std::string cmd = "PATH='" + w.bin + "':\"$PATH\" timeout -s KILL 60 sh -c 'echo $$ > pid.txt; exec \"$0\" p.par' '";
    std::thread run([&] { sh(w, cmd + REDORDIST_BIN "' > out.txt 2>&1; echo $? > rc.txt"); });
    EXPECT_TRUE(eventually([&] { return w.file("pid.txt").find('\n') != std::string::npos; }));
    pid_t pid = std::atoi(w.file("pid.txt").c_str());
    // Ready: asleep on the FIFO with both handlers installed (SigCgt bits 1 and 14), or the text written.
    std::string ready = fifo ? "/proc/" + std::to_string(pid) + "/status" : w.dir.file(ready_file);
    std::regex want(fifo ? "State:\tS[\\s\\S]*SigCgt:\t[0-9a-f]*[4-7c-f][0-9a-f]{2}[2367abef]\n" : ready_text);
    EXPECT_TRUE(eventually([&] { return std::regex_search(read_file(ready), want); }));
    if (pid > 0) kill(pid, sig);  // never 0: that would be this process group
    run.join();
    EXPECT_EQ(w.file("rc.txt"), std::to_string(128 + sig) + "\n") << w.file("out.txt");
    EXPECT_EQ(fs::exists(w.dir.file("run")), !fifo);
    if (fifo) continue;
    EXPECT_NE(w.out(".log").find(log_line), std::string::npos) << w.out(".log");
    std::string said = w.file("out.txt");  // the last block said finished holds all its PER MC BLOCK (3) runs
    if (size_t at = said.rfind("Monte Carlo block "); at != std::string::npos) {
      EXPECT_NE(w.out(".log").find("\n" + std::to_string(std::stoi(said.substr(at + 18))) + ".2Err"), std::string::npos) << said;
    }
    EXPECT_NE(w.out(".json").find("\"status\": " + std::to_string(128 + sig)), std::string::npos);
    EXPECT_EQ(w.out(".me") == me, over.count("MODE") == 0);  // rewritten in mode err only
  }
}

// An element past the end of a GSL vector is the program's own fault: the
// run stops with the place named, status 70; an error the caller checks
// (a singular matrix to invert) comes back as a status.
TEST(RunSafety, AnIndexPastTheEndStopsTheRunOtherGslErrorsAreStatuses) {
  gsl_errors_as_statuses();
  GslVec v(3);
  EXPECT_EXIT(gsl_vector_set(v, 3, 1.0), testing::ExitedWithCode(70), "internal error: GSL index out of range at ");
  gsl_matrix *m = gsl_matrix_calloc(2, 2), *inv = gsl_matrix_alloc(2, 2);
  gsl_permutation* p = gsl_permutation_calloc(2);
  EXPECT_EQ(gsl_linalg_LU_invert(m, p, inv), GSL_EDOM);
  gsl_matrix_free(inv), gsl_permutation_free(p), gsl_matrix_free(m);
}

TEST(RunSafety, AFitWhoseMomentsAreNotFiniteIsNoResult) {
  ts::Model m;
  m->chi2 = 1.0;
  for (auto* v : {&m->results.distance_moments, &m->results.coupling_moments}) *v = {3.0, 0.2, 0.1, 3.0};
  EXPECT_TRUE(results_finite(*m));
  for (auto* v : {&m->results.distance_moments, &m->results.coupling_moments})
    for (int k = 0; k < 4; k++) {
      double kept = std::exchange((*v)[k], NAN);
      EXPECT_EQ(results_finite(*m), k >= 2) << k;  // no skewness or kurtosis of a single distance
      (*v)[k] = INFINITY;
      EXPECT_FALSE(results_finite(*m)) << k;
      (*v)[k] = kept;
    }
}
