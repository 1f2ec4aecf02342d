// Runs that are killed, that cannot write their results, and that ask for
// very large problems.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/test_support.h"

using namespace testsupport;

namespace {

std::vector<std::string> lines_of(std::string const& text) {
  std::vector<std::string> out;
  std::istringstream s(text);
  std::string l;
  while (std::getline(s, l)) out.push_back(l);
  return out;
}

// A complete result table: a header, then rows of 24 fields each, and a
// final newline.
void expect_complete_table(std::string const& text, size_t rows) {
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  auto l = lines_of(text);
  ASSERT_EQ(l.size(), rows + 1);
  EXPECT_EQ(l[0].substr(0, 13), "#    distance");
  for (size_t i = 1; i < l.size(); i++) {
    std::istringstream s(l[i]);
    std::string tok;
    int n = 0;
    while (s >> tok) n++;
    EXPECT_EQ(n, 24) << "row " << i;
  }
}

}  // namespace

// An err run killed with SIGKILL after its fifth block leaves a complete
// table and complete plot scripts (they are written aside and renamed).
TEST(Robustness, KilledErrRunLeavesCompleteResults) {
  TempDir d;
  std::string bin = install_stub_gnuplot(d.path());
  write_file(d.file("data.dat"), small_data());
  write_file(d.file("err.par"), param_text({{"MODE", "err"}, {"OUTPUT", "killed"},
                                             {"MAX MC BLOCKS", "1000000"},
                                             {"MIN STDEV2", "0"}}));
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (chdir(d.path().c_str()) != 0) _exit(99);
    std::string path = bin + ":" + std::getenv("PATH");
    setenv("PATH", path.c_str(), 1);
    if (!freopen("/dev/null", "w", stdout)) _exit(98);
    execl(REDORDIST_BIN, REDORDIST_BIN, "err.par", static_cast<char*>(nullptr));
    _exit(97);
  }
  std::string me = d.file("killed/killed.me");
  auto start = std::chrono::steady_clock::now();
  while (!exists(me) && std::chrono::steady_clock::now() - start < std::chrono::seconds(120))
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  // Let it go on rewriting for a while, so the kill may land mid-write.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  kill(pid, SIGKILL);
  int st = 0;
  waitpid(pid, &st, 0);
  ASSERT_TRUE(WIFSIGNALED(st)) << "the run ended by itself before it was killed";
  ASSERT_TRUE(exists(me));
  // Grid 2.5..6 every 0.5: 9 distances; cycles 0..16: 9 points.
  expect_complete_table(read_file(me), 9);
  std::string gp = read_file(d.file("killed/killed.gp"));
  EXPECT_NE(gp.find("'' u 1:5:7 w yerrorbars axes x1y2 t 'Monte Carlo error'\n"), std::string::npos);
  std::string ps = read_file(d.file("killed/killed-ps.gp"));
  EXPECT_GE(ps.size(), 10u);
  EXPECT_EQ(lines_of(ps).back(), "     u ($9*0.2):(100*$16) w boxes ls 2 not");
}

// A disk that fills up while the results are written: the earlier complete
// files stay, the run says which output failed, and it ends with status 1.
TEST(Robustness, FailedWritesKeepEarlierFilesAndFailTheRun) {
  TempDir d;
  std::string bin = install_stub_gnuplot(d.path());
  write_file(d.file("data.dat"), small_data());
  write_file(d.file("a.par"), param_text({{"OUTPUT", "full"}}));
  ASSERT_EQ(run_redordist(d.path(), {"a.par"}, bin).status, 0);
  std::string me_before = read_file(d.file("full/full.me"));
  std::string gp_before = read_file(d.file("full/full.gp"));

  // The second run would write other numbers (a different grid).
  write_file(d.file("b.par"), param_text({{"OUTPUT", "full"}, {"GRAIN", "0.25"}}));
  std::vector<std::string> env = {"LD_PRELOAD='" REDORDIST_WRITE_FAIL_SHIM "'",
                                  "ASAN_OPTIONS=verify_asan_link_order=0",
                                  "REDORDIST_FAIL_WRITES=.tmp"};
  RunResult r = run_redordist(d.path(), {"b.par"}, bin, env);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("write_out failed\n"), std::string::npos);
  EXPECT_NE(r.out.find("gnuplot_out failed\n"), std::string::npos);
  EXPECT_EQ(read_file(d.file("full/full.me")), me_before);
  EXPECT_EQ(read_file(d.file("full/full.gp")), gp_before);
  for (auto const& e : std::filesystem::directory_iterator(d.file("full")))
    EXPECT_EQ(e.path().string().find(".tmp"), std::string::npos) << e.path();
}

// Very large inputs run, or are refused with a message before any long
// computation.
TEST(Robustness, LargeProblemsRunOrAreRefusedEarly) {
  TempDir d;
  std::string bin = install_stub_gnuplot(d.path());
  std::string big = "# 100000 points, N_c 0 or 2\n";
  for (int i = 0; i < 100000; i++) big += (i % 2 ? "2 1000 990 0.99 0.02\n" : "0 1000 1000 1 0.02\n");
  write_file(d.file("big.dat"), big);
  write_file(d.file("small.dat"), small_data());

  // 100000 data points: a simulation runs (the table shows the first rows).
  write_file(d.file("p1.par"), param_text({{"MODE", "sim"}, {"XYDATA", "big.dat"},
                                            {"OUTPUT", "points"}}));
  RunResult r = run_redordist(d.path(), {"p1.par"}, bin);
  EXPECT_EQ(r.status, 0) << r.out;

  // 100000 distances run (the evaluation is linear in the grid size) ...
  write_file(d.file("p2.par"), param_text({{"XYDATA", "small.dat"}, {"OUTPUT", "grid"},
                                            {"FAR", "10002.5"}, {"GRAIN", "0.1"}}));
  r = run_redordist(d.path(), {"p2.par"}, bin);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(lines_of(read_file(d.file("grid/grid.me"))).size(), 100001u + 1u);
  // ... ten times more are refused before anything is made.
  write_file(d.file("p2b.par"), param_text({{"XYDATA", "small.dat"}, {"OUTPUT", "grid2"},
                                             {"FAR", "100002.5"}, {"GRAIN", "0.1"}}));
  r = run_redordist(d.path(), {"p2b.par"}, bin);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("makes more than 100000 distances"), std::string::npos) << r.out;
  EXPECT_FALSE(exists(d.file("grid2")));

  // PER 2PI 100000: refused before the powder average starts.
  write_file(d.file("p3.par"), param_text({{"XYDATA", "small.dat"}, {"OUTPUT", "powder"},
                                            {"PER 2PI", "100000"}}));
  r = run_redordist(d.path(), {"p3.par"}, bin);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("the powder average would need"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Filling transform matrix elements"), std::string::npos);
}
