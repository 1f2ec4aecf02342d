// The --help and --template texts: the template runs as it is once the data
// and the run directory are named, and the help names every option.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "tests/test_support.h"

using namespace ts;

TEST(UsageText, TemplateRunsWithOnlyDataPathAndOutputReplaced) {
  Workspace w;
  RunResult t = w.run_args({"--template"});
  ASSERT_EQ(t.status, 0);
  ASSERT_EQ(lines_of(t.out).size(), 33u);
  for (auto const& l : lines_of(t.out)) EXPECT_LE(l.size(), 80u) << l;
  std::string par = std::regex_replace(t.out, std::regex("XYDATA: my_redor.dat"), "XYDATA: data.dat");
  par = std::regex_replace(par, std::regex("PATH: runs/"), "PATH: ./");
  par = std::regex_replace(par, std::regex("OUTPUT: my_run"), "OUTPUT: run");
  write_file(w.dir.file("t.par"), par);
  RunResult r = w.run_args({"t.par"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.find("warning: parameter"), std::string::npos) << r.out;
  EXPECT_NE(w.out(".log").find("PER 2PI: 0 (exact)"), std::string::npos);
}

TEST(UsageText, HelpNamesEveryOptionAndFitsTheTerminal) {
  RunResult r = Workspace().run_args({"--help"});
  for (char const* word : {"--solver", "--template", "--help", "--version", "annealing",
                           "maxent", "gaussians", "N_c S0 S ratio error", "PER 2PI 0", "130",
                           "143", "redordist --template > my.par"})
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
  EXPECT_LE(lines_of(r.out).size(), 70u);
  for (auto const& l : lines_of(r.out)) EXPECT_LE(l.size(), 80u) << l;
}
