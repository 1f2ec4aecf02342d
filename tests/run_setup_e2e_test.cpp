// End-to-end runs of redordist: the command line, the run directory with
// the copies of the inputs, the head of the run log, and the refusals that
// end a run before anything is written to disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/test_support.h"

using namespace testsupport;

namespace {

std::set<std::string> entries(std::string const& dir) {
  std::set<std::string> s;
  for (auto const& e : std::filesystem::directory_iterator(dir))
    s.insert(e.path().filename().string());
  return s;
}

// A run set-up in a fresh directory: data file, stub gnuplot, parameter file.
struct RunDir {
  TempDir dir;
  std::string bin = install_stub_gnuplot(dir.path());
  RunDir() { write_file(dir.file("data.dat"), small_data()); }
  RunResult run(std::string const& params, std::vector<std::string> args = {"p.par"}) {
    write_file(dir.file("p.par"), params);
    return run_redordist(dir.path(), args, bin);
  }
};

const std::string kLogHead =
    "MAXIMUM ENTROPY REDOR VERSION 1\n"
    "Started: <time>\n"
    "\n"
    " * * * * * * * * INPUT PARAMETERS * * * * * * * * \n"
    "MODE: fit\n"
    "LAMBDA_D: none\n"
    "XYDATA: data.dat\n"
    "DISTDIST: none\n"
    "PATH: runs/test1/\n"
    "OUTPUT (basename): test1\n"
    "XN: C13 (gamma = 6.7283)\n"
    "XY: N15 (gamma = 2.712)\n"
    "Calculated Dipolar Constant: 3062.61\n"
    "Distances: 2.5 to 6 every 0.5 Angstroms\n"
    "PER 2PI: 24\n"
    "MID PULSE: 0\n"
    "MAS: 5000\n"
    "LAST POINT: 0\n"
    "SCALING: 1 0.8\n"
    "NTRIES: 2\n"
    "ITERS AT TEMP: 20 20 \n"
    "MAX STEP SIZE: 0.5 0.5 \n"
    "BOLTZMANN: 1 1 \n"
    "INIT TEMP: 300 0 \n"
    "ATTEN TEMP: 2 2 \n"
    "MIN TEMP: 0.5 0.5 \n"
    "ERR ITERS AT TEMP: 10\n"
    "ERR MAX STEP SIZE: 0.123457\n"
    "ERR BOLTZMANN: 1\n"
    "ERR INIT TEMP: 2\n"
    "ERR ATTEN TEMP: 2\n"
    "ERR MIN TEMP: 0.5\n"
    "MIN STDEV2: 1e-05\n"
    "PER MC BLOCK: 3\n"
    "MAX MC BLOCKS: 5\n"
    "MAX MC CHI2: 1e+06\n";

}  // namespace

TEST(RunSetupE2E, RunDirectoryCopiesAndLogHead) {
  RunDir s;
  std::filesystem::create_directory(s.dir.file("runs"));
  std::string params = param_text({{"PATH", "runs/"},
                                   {"OUTPUT", "test1"},
                                   {"NTRIES", "2"},
                                   {"INIT TEMP", "300"},
                                   {"SCALING", "1.0 0.8"},
                                   {"ERR MAX STEP SIZE", "0.1234567"},
                                   {"MIN STDEV2", "1e-5"}});
  RunResult r = s.run(params);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.err, "");
  std::string run = s.dir.file("runs/test1/");
  EXPECT_EQ(read_file(run + "data.dat"), small_data());
  EXPECT_EQ(read_file(run + "p.par"), params);
  std::string log = mask_times(read_file(run + "test1.log"));
  EXPECT_EQ(log.substr(0, kLogHead.size()), kLogHead);
  const std::string tail = "time: <time>\n\n";
  ASSERT_GT(log.size(), tail.size());
  EXPECT_EQ(log.substr(log.size() - tail.size()), tail);

  // A second run with the same OUTPUT reuses the directory and replaces the
  // log; a further argument is ignored.
  write_file(run + "keep.txt", "earlier run");
  r = s.run(params, {"p.par", "extra"});
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(read_file(run + "keep.txt"), "earlier run");
  log = mask_times(read_file(run + "test1.log"));
  EXPECT_EQ(log.rfind(kLogHead, 0), 0u);
  EXPECT_EQ(log.find("MAXIMUM ENTROPY", 1), std::string::npos);
}

TEST(RunSetupE2E, RefusalsLeaveNothingOnDisk) {
  struct Case {
    std::map<std::string, std::string> over;
    std::string message;
  };
  const std::string long_path = "./" + std::string(175, 'b') + "/";
  const std::vector<Case> cases = {
      {{{"XN", "c13"}}, "detect nucleus (X) not recognized\n"},
      {{{"XN", "C13x"}, {"YN", "n15"}}, "detect nucleus (X) not recognized\n"},
      {{{"YN", "N-15"}}, "dephasing nucleus (Y) not recognized\n"},
      {{{"NEAR", "0"}}, "parameter error: NEAR is 0; it must be above 0\n"},
      {{{"NEAR", "inf"}}, "parameter error: NEAR is inf; it must be a finite number\n"},
      {{{"GRAIN", "0"}}, "parameter error: GRAIN is 0; it must be above 0\n"},
      {{{"FAR", "2"}}, "parameter error: FAR is 2; it must not be below NEAR\n"},
      {{{"MAS", "0"}}, "parameter error: MAS is 0; it must be above 0\n"},
      {{{"NTRIES", "-1"}}, "parameter error: NTRIES is -1; it must not be below 0\n"},
      {{{"LAST POINT", "-1"}}, "parameter error: LAST POINT is -1; it must not be below 0\n"},
      {{{"MODE", "fits"}}, "parameter error: MODE is 4 characters long; at most 3 are allowed\n"},
      {{{"OUTPUT", std::string(158, 'a')}},
       "parameter error: OUTPUT is 158 characters long; at most 157 are allowed\n"},
      {{{"PATH", long_path}},
       "parameter error: PATH + OUTPUT + \"/\" is 182 characters long; at most 179 are "
       "allowed\n"},
      {{{"PATH", "./nonexist/"}}, "Can't create run directory ./nonexist/run\n"},
  };
  RunDir s;
  for (auto const& c : cases) {
    RunResult r = s.run(param_text(c.over));
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_EQ(r.out, c.message);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(entries(s.dir.path()), (std::set<std::string>{"bin", "data.dat", "p.par"}))
        << c.message;
  }
  RunResult r = run_redordist(s.dir.path(), {"missing.par"}, s.bin);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Can't open input params from missing.par\n");
  r = run_redordist(s.dir.path(), {"."}, s.bin);  // a directory is not a file
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Can't open input params from .\n");
  EXPECT_EQ(entries(s.dir.path()), (std::set<std::string>{"bin", "data.dat", "p.par"}));

  // The longest OUTPUT allowed makes a run.
  std::string longest(157, 'a');
  r = s.run(param_text({{"OUTPUT", longest}}));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(exists(s.dir.file(longest + "/" + longest + ".log")));
}

TEST(RunSetupE2E, CommandLine) {
  TempDir d;
  RunResult r = run_redordist(d.path(), {"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("usage: redordist PARAMETER_FILE\n", 0), 0u);
  for (char const* word : {"fit", "err", "sim", "33 lines", "MAX MC CHI2"})
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
  r = run_redordist(d.path(), {"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "redordist 1\n");
  r = run_redordist(d.path(), {});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "usage: redordist PARAMETER_FILE\n");
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(entries(d.path()).empty());
}
