// The --help and --template texts: each solver's template runs as it is once
// the data file and its spinning rate are named and the run folder is made,
// and the help names every option.

#include "tests/test_support.h"

using namespace ts;

TEST(UsageText, TemplatesRunWithOnlyTheDataNamedAndTheirFolderMade) {
  // The annealing reads all 33 keys; maxent and the Gaussians a short form.
  const std::pair<char const*, size_t> solvers[] = {{"annealing", 33}, {"maxent", 21}, {"gaussians", 21}};
  for (auto const& [solver, lines] : solvers) {
    Workspace w;
    RunResult t = w.run_args({"--template", "--solver", solver});
    ASSERT_EQ(t.status, 0);
    ASSERT_EQ(lines_of(t.out).size(), lines) << solver;
    for (auto const& l : lines_of(t.out)) EXPECT_LE(l.size(), 80u) << l;
    write_file(w.dir.file("my_redor.dat"), read_file(REDORDIST_SOURCE_DIR "/examples/cn_redor.dat"));
    write_file(w.dir.file("t.par"), std::regex_replace(t.out, std::regex("MAS: 10000"), "MAS: 5000 "));
    std::filesystem::create_directory(w.dir.file("runs"));  // PATH runs/ must exist (input_test.cpp: PathMissing)
    RunResult r = w.run_args({"t.par", "--solver", solver});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(w.file("runs/my_run/my_run.log").find("PER 2PI: 0 (exact)\n"), std::string::npos) << solver;
  }
}

TEST(UsageText, HelpNamesEveryOptionAndFitsTheTerminal) {
  RunResult r = Workspace().run_args({"--help"});
  EXPECT_EQ(r.status, 0);  // asked for, so a success
  for (char const* word : {"--solver", "--fit-scaling", "--template", "--help", "--version", "annealing",
                           "maxent", "gaussians", "N_c S0 S S/S0 error", "PER 2PI 0", "lambda_D",
                           "29Si", "130", "143", "redordist --template > my.par"})
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
  EXPECT_LE(lines_of(r.out).size(), 70u);
  for (auto const& l : lines_of(r.out)) EXPECT_LE(l.size(), 80u) << l;
}
