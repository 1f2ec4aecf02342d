// Runs that are killed, that cannot write their results, and that ask for
// very large problems.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>

#include "tests/test_support.h"

using namespace testsupport;

// An err run killed with SIGKILL after its fifth block leaves a complete
// table and complete plot scripts (they are written aside and renamed).
TEST(Robustness, KilledErrRunLeavesCompleteResults) {
  TempDir d;
  write_file(d.file("data.dat"), small_data());
  write_file(d.file("err.par"), param_text({{"MODE", "err"},
                                            {"OUTPUT", "killed"},
                                            {"MAX MC BLOCKS", "1000000"},
                                            {"MIN STDEV2", "0"}}));
  // Started in the background, the run is killed 0.3 s after its first
  // table appears (within 120 s), so the kill may land mid-write; wait gives
  // 128 + 9 for a run killed by SIGKILL.
  int rc = std::system(("cd '" + d.path() + "' && PATH='" + install_stub_gnuplot(d.path()) +
                        "':\"$PATH\" exec '" REDORDIST_BIN "' err.par >/dev/null & "
                        "n=0; until [ -e '" +
                        d.file("killed/killed.me") +
                        "' ] || [ $n -ge 6000 ]; do sleep 0.02; n=$((n+1)); done; "
                        "sleep 0.3; kill -9 $!; wait $!")
                           .c_str());
  ASSERT_EQ(WEXITSTATUS(rc), 128 + 9) << "the run ended by itself before it was killed";
  // A table of 9 rows of 24 fields (grid 2.5..6 every 0.5: 9 distances;
  // cycles 0..16: 9 points) after its header, and both scripts, each to its
  // last line and newline.
  std::string me = read_file(d.file("killed/killed.me"));
  auto l = lines_of(me);
  ASSERT_EQ(l.size(), 10u);
  for (size_t i = 1; i < l.size(); i++) EXPECT_EQ(words(l[i]).size(), 24u) << l[i];
  std::string gp = read_file(d.file("killed/killed.gp")),
              ps = read_file(d.file("killed/killed-ps.gp"));
  for (std::string const* t : {&me, &gp, &ps}) EXPECT_EQ(t->back(), '\n');
  EXPECT_EQ(lines_of(gp).back(), "'' u 1:5:7 w yerrorbars axes x1y2 t 'Monte Carlo error'");
  EXPECT_EQ(lines_of(ps).back(), "     u ($9*0.2):(100*$16) w boxes ls 2 not");
}

// A disk that fills up while the results are written: the earlier complete
// files stay, the run says which output failed, and it ends with status 1.
TEST(Robustness, FailedWritesKeepEarlierFilesAndFailTheRun) {
  Workspace w;
  ASSERT_EQ(w.run().status, 0);
  std::string me = w.out(".me"), gp = w.out(".gp");
  // The second run would write other numbers (a different grid).
  RunResult r =
      w.run({{"GRAIN", "0.25"}}, {"LD_PRELOAD='" REDORDIST_WRITE_FAIL_SHIM "'",
                                  "ASAN_OPTIONS=verify_asan_link_order=0",
                                  "REDORDIST_FAIL_WRITES=.tmp"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("write_out failed\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("gnuplot_out failed\n"), std::string::npos);
  EXPECT_EQ(w.out(".me"), me);
  EXPECT_EQ(w.out(".gp"), gp);
  for (auto const& e : std::filesystem::directory_iterator(w.dir.file("run")))
    EXPECT_EQ(e.path().string().find(".tmp"), std::string::npos) << e.path();
}

// Very large inputs run, or are refused with a message before any long
// computation. (A grid of too many distances is refused with the other
// parameters in the run set-up tests.)
TEST(Robustness, LargeProblemsRunOrAreRefusedEarly) {
  Workspace w;
  std::string big;
  for (int i = 0; i < 100000; i++)
    big += (i % 2 ? "2 1000 990 0.99 0.02\n" : "0 1000 1000 1 0.02\n");
  write_file(w.dir.file("big.dat"), big);
  struct {
    std::map<std::string, std::string> over;
    std::string refusal;  // empty when the run goes through
  } cases[] = {
      {{{"PER 2PI", "100000"}}, "the powder average would need"},
      // 100000 data points: a simulation runs (the table shows the first rows).
      {{{"MODE", "sim"}, {"XYDATA", "big.dat"}}, ""},
      // 100000 distances run (the evaluation is linear in the grid size); ten
      // times as many are refused.
      {{{"FAR", "10002.5"}, {"GRAIN", "0.1"}}, ""},
  };
  for (auto const& c : cases) {
    RunResult r = w.run(c.over);
    EXPECT_EQ(r.status, c.refusal.empty() ? 0 : 1) << r.out;
    EXPECT_NE(r.out.find(c.refusal), std::string::npos) << r.out;
    // A refusal comes before the kernel is filled.
    EXPECT_FALSE(!c.refusal.empty() && r.out.find("Filling transform") != std::string::npos);
  }
  EXPECT_EQ(lines_of(w.out(".me")).size(), 100001u + 1u);  // the last case
}
