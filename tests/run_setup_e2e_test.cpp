// End-to-end runs of redordist: the command line, the run directory with
// the copies of the inputs, the head of the run log, and the refusals of
// parameters (annealing schedules included) that end a run before anything
// is written to disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tests/test_support.h"

using namespace testsupport;

namespace {

size_t entry_count(std::string const& dir) {
  return std::distance(std::filesystem::directory_iterator(dir), {});
}

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
  Workspace w;
  std::string run = w.dir.file("runs/test1/");
  // An existing run directory is reused: its files stay, the log is replaced.
  std::filesystem::create_directories(run);
  write_file(run + "keep.txt", "earlier run");
  write_file(run + "test1.log", "earlier log\n");
  std::string params = param_text({{"PATH", "runs/"}, {"OUTPUT", "test1"}, {"NTRIES", "2"},
                                   {"INIT TEMP", "300"}, {"SCALING", "1.0 0.8"},
                                   {"ERR MAX STEP SIZE", "0.1234567"}, {"MIN STDEV2", "1e-5"}});
  write_file(w.dir.file("p.par"), params);
  // A further argument is ignored.
  RunResult r = run_redordist(w.dir.path(), {"p.par", "extra"}, w.bin);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read_file(run + "data.dat") + read_file(run + "p.par") + read_file(run + "keep.txt"),
            small_data() + params + "earlier run");
  std::string log = mask_times(read_file(run + "test1.log"));
  EXPECT_EQ(log.substr(0, kLogHead.size()), kLogHead);
  EXPECT_EQ(log.substr(log.size() - 14), "time: <time>\n\n");
}

TEST(RunSetupE2E, RefusalsLeaveNothingOnDisk) {
  // One case per rule; the run directory is made only after all checks.
  // (Zero, negative and non-finite values of other keys, and unreadable
  // parameter files, are refused in the table of bad inputs.)
  const std::string e = "parameter error: ";
  const std::pair<std::map<std::string, std::string>, std::string> cases[] = {
      {{{"XN", "c13"}}, "detect nucleus (X) not recognized\n"},
      {{{"XN", "C13x"}, {"YN", "n15"}}, "detect nucleus (X) not recognized\n"},
      {{{"YN", "N-15"}}, "dephasing nucleus (Y) not recognized\n"},
      {{{"NEAR", "inf"}}, e + "NEAR is inf; it must be a finite number\n"},
      {{{"GRAIN", "0"}}, e + "GRAIN is 0; it must be above 0\n"},
      {{{"FAR", "2"}}, e + "FAR is 2; it must not be below NEAR\n"},
      {{{"FAR", "100002.5"}, {"GRAIN", "0.1"}},
       e + "NEAR 2.5 to FAR 100002 every GRAIN 0.1 makes more than 100000 distances\n"},
      {{{"OUTPUT", std::string(158, 'a')}},
       e + "OUTPUT is 158 characters long; at most 157 are allowed\n"},
      {{{"PATH", "./" + std::string(175, 'b') + "/"}},
       e + "PATH + OUTPUT + \"/\" is 182 characters long; at most 179 are allowed\n"},
      {{{"PATH", "./nonexist/"}}, "Can't create run directory ./nonexist/run\n"},
      // The annealing schedule, a 0 in a later try taken from the first.
      {{{"INIT TEMP", "0"}}, e + "INIT TEMP of try 1 is 0; it must be above 0\n"},
      {{{"ATTEN TEMP", "1"}}, e + "ATTEN TEMP of try 1 is 1; it must be above 1\n"},
      {{{"NTRIES", "2"}, {"ATTEN TEMP", "2 0.5"}},
       e + "ATTEN TEMP of try 2 is 0.5; it must be above 1\n"},
      {{{"MIN TEMP", "0"}}, e + "MIN TEMP of try 1 is 0; it must be above 0\n"},
      {{{"ITERS AT TEMP", "0"}}, e + "ITERS AT TEMP of try 1 is 0; it must be at least 1\n"},
      // The schedule of the Monte Carlo annealings and its blocks, in "err".
      {{{"MODE", "err"}, {"ERR INIT TEMP", "0"}}, e + "ERR INIT TEMP is 0; it must be above 0\n"},
      {{{"MODE", "err"}, {"ERR ATTEN TEMP", "1"}}, e + "ERR ATTEN TEMP is 1; it must be above 1\n"},
      {{{"MODE", "err"}, {"ERR MIN TEMP", "0"}}, e + "ERR MIN TEMP is 0; it must be above 0\n"},
      {{{"MODE", "err"}, {"ERR ITERS AT TEMP", "0"}},
       e + "ERR ITERS AT TEMP is 0; it must be at least 1\n"},
      {{{"MODE", "err"}, {"PER MC BLOCK", "1"}}, e + "PER MC BLOCK is 1; it must be at least 2\n"},
      {{{"MODE", "err"}, {"MAX MC BLOCKS", "1"}},
       e + "MAX MC BLOCKS is 1; it must be at least 2\n"}};
  Workspace w;
  for (auto const& c : cases) {
    RunResult r = w.run(c.first);
    EXPECT_EQ(std::to_string(r.status) + " " + r.out + r.err, "1 " + c.second);
    EXPECT_EQ(entry_count(w.dir.path()), 3u) << c.second;  // bin, data.dat, p.par
  }
  // The longest OUTPUT allowed makes a run; "fit" does not look at the Monte
  // Carlo settings.
  std::string longest(157, 'a');
  EXPECT_EQ(w.run({{"OUTPUT", longest}, {"ERR INIT TEMP", "0"}, {"ERR ATTEN TEMP", "1"},
                   {"ERR MIN TEMP", "0"}, {"ERR ITERS AT TEMP", "0"}, {"PER MC BLOCK", "1"},
                   {"MAX MC BLOCKS", "1"}}).status, 0);
  EXPECT_TRUE(exists(w.dir.file(longest + "/" + longest + ".log")));
}

TEST(RunSetupE2E, CommandLine) {
  TempDir d;
  const std::string usage = "usage: redordist PARAMETER_FILE\n";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--version"}, "0 redordist 1\n"},
      {{}, "1 " + usage},
      {{"missing.par"}, "1 Can't open input params from missing.par\n"}};
  for (auto const& c : cases) {
    RunResult r = run_redordist(d.path(), c.first);
    EXPECT_EQ(std::to_string(r.status) + " " + r.out + r.err, c.second);
  }
  EXPECT_TRUE(std::filesystem::is_empty(d.path()));
  RunResult r = run_redordist(d.path(), {"--help"});
  EXPECT_EQ(std::to_string(r.status) + " " + r.out.substr(0, usage.size()), "0 " + usage);
  EXPECT_NE(r.out.find("MAX MC CHI2"), std::string::npos);  // the file layout is described
}

// The parameter file may come through a pipe (`redordist <(...)`); only its
// first 33 lines are read.
TEST(RunSetupE2E, ParameterFileThroughAPipe) {
  Workspace w;
  write_file(w.dir.file("p.par"), param_text({{"MODE", "sim"}}) + "extra line\n");
  std::string cmd = "cd '" + w.dir.path() + "' && PATH='" + w.bin + "':\"$PATH\" bash -c " +
                    "\"'" REDORDIST_BIN "' <(cat p.par)\" > out.txt 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << w.file("out.txt");
  EXPECT_NE(w.out(".log").find("MODE: sim\n"), std::string::npos);
}
