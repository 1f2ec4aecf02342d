// Whole runs of the built redordist: the command line, the run directory
// with the copies of the inputs and the whole run log, refused runs that
// leave nothing on disk, a parameter file through a pipe and a run whose
// result files cannot be written.

#include "tests/test_support.h"

using namespace ts;

// A run's status and everything it printed, as one string.
static std::string said(RunResult const& r) { return std::to_string(r.status) + " " + r.out + r.err; }

TEST(CommandLine, VersionUsageHelpAndAMissingFile) {
  Workspace w;
  const std::string usage = "usage: redordist [--solver annealing|maxent|gaussians] PARAMETER_FILE\n";
  // Options anywhere on the line; an unknown option or a second file is refused.
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--version"}, "0 redordist 1\n"}, {{}, "1 " + usage}, {{"missing.par"}, "1 Can't open input params from missing.par\n"},
      {{"missing.par", "--solver", "maxent", "--version"}, "0 redordist 1\n"}, {{"--", "--solver"}, "1 Can't open input params from --solver\n"},
      {{"p.par", "--solver=gaussians"}, "1 parameter error: FAR - NEAR is 0.05 Angstrom; it must be above 0.1 for --solver gaussians\n"},
      {{"p.par", "--solver", "fast"}, "1 unknown solver \"fast\"; choose annealing, maxent or gaussians\n"},
      {{"p.par", "--solvr", "maxent"}, "1 unknown option \"--solvr\"\n" + usage},
      {{"-v", "p.par"}, "1 unknown option \"-v\"\n" + usage},  // one dash is an option too
      {{"p.par", "b.par"}, "1 a second parameter file \"b.par\": one run reads one file\n" + usage},
      {{"--template", "p.par"}, "1 --template prints a parameter file and reads none\n" + usage},
      {{"p.par", "--compare", "--solver=maxent"}, "1 --compare runs all three solvers on a parameter file: leave out --solver\n" + usage}};
  write_file(w.dir.file("p.par"), param_text({{"FAR", "2.55"}}));
  auto before = entries(w.dir.path());
  for (auto const& [args, want] : cases) EXPECT_EQ(said(w.run_args(args)), want);
  EXPECT_EQ(entries(w.dir.path()), before);
}

TEST(Run, DirectoryCopiesOfTheInputsAndTheWholeLog) {
  Workspace w;
  // An existing run directory is reused: its files stay, the log is replaced.
  std::string run = w.dir.file("runs/sim_run_one/");
  std::filesystem::create_directories(run);
  write_file(run + "keep.txt", "earlier run"), write_file(run + "sim_run_one.log", "earlier log\n");
  write_file(w.dir.file("dist.dat"), "# r p\n3.0 0.6\n\n4.5 0.4");  // the last line without a newline
  std::string params = param_text({{"MODE", "sim"}, {"DISTDIST", "dist.dat"}, {"PATH", "runs/"}, {"OUTPUT", "sim_run_one"},
                                   {"NTRIES", "2"}, {"INIT TEMP", "300"}, {"SCALING", "1.0 0.8"},
                                   {"ERR MAX STEP SIZE", "0.1234567"}, {"MIN STDEV2", "1e-5"}});
  write_file(w.dir.file("p.par"), params);
  RunResult r = w.run_args({"p.par"});
  ASSERT_TRUE(r.status == 0 && r.err.empty()) << r.out << r.err;
  // The file list fills each line up to 100 columns: the next line's first name would not have fitted.
  std::istringstream list(r.out.substr(r.out.find("Files in")));
  std::string a, b;
  for (std::getline(list, a), std::getline(list, a); std::getline(list, b) && b.size() > 2; a = b)
    EXPECT_TRUE(a.size() <= 100 && a.size() + 1 + b.find(' ', 2) - 2 > 100) << a << "\n" << b;
  EXPECT_EQ(read_file(run + "data.dat") + read_file(run + "p.par") + read_file(run + "keep.txt"),
            kSmallData + params + "earlier run");
  EXPECT_EQ(mask_times(read_file(run + "sim_run_one.log")), read_file(REDORDIST_SOURCE_DIR "/tests/golden/sim_run.log"));
  write_file(w.dir.file("dist.dat"), "# none\n"), write_file(w.dir.file("p.par"), std::regex_replace(params, std::regex("MODE: sim"), "MODE: fit"));
  EXPECT_TRUE(w.run_args({"p.par"}).status == 0 && read_file(run + "dist.dat") == "# none\n");  // read, if empty: kept with the run
}

TEST(Run, RefusedRunsLeaveNothingOnDisk) {
  // Every input is read and checked, and the set-up sized, before the run
  // directory is made. (Each refusal's message is checked in the input tests.)
  Workspace w;
  for (auto [name, text] : {std::pair{"bad.dat", "0 1000 1000 1 0.02\n3 1000 900 1 0.02\n"}, {"curve.dat", "0.1 1.0\n"},
                            {"short.dat", "0 1.0\n0.2 0.9\n"}})
    write_file(w.dir.file(name), text);
  std::string big;  // 4000 prescribed distances of 0.0001 each: the powder average (5.8e10 cosines) beyond its limit too
  for (int i = 0; i < 4000; i++) big += std::to_string(2.5 + 0.001 * i) + " 0.0001\n";
  write_file(w.dir.file("big.dat"), big);
  const std::pair<Over, std::string> cases[] = {
      {{{"GRAIN", "0"}}, "parameter error: p.par line 11: GRAIN is 0; it must be above 0\n"},
      {{{"XYDATA", "bad.dat"}}, "bad.dat line 2: N_c 3 is odd; REDOR points lie at even rotor-cycle counts\n"},
      {{{"LAMBDA_D", "curve.dat"}}, "curve.dat line 1: the curve must start at lambda_D 0\n"},
      // 8 cycle indices at 2.5 Angstrom and 5 kHz: 8 x 3063 Hz A^3 / 2.5^3 / 5000 Hz.
      {{{"LAMBDA_D", "short.dat"}}, "LAMBDA_D short.dat: the curve reaches lambda_D 0.2, but the grid and the data need it "
       "up to lambda_D 0.313611 (the shortest distance at the largest N_c); extend the curve, or raise NEAR or lower LAST POINT\n"},
      {{{"FAR", "10000"}, {"GRAIN", "0.1"}, {"LAST POINT", "1002"}, {"DISTDIST", "big.dat"}},  // the prescribed 502 x 4000 smaller
       "the transform matrix would have 502 x 99976 elements, more than the limit of 5e+07; use a "
       "coarser GRAIN, a smaller LAST POINT or fewer data points\n"},
      {{{"DISTDIST", "big.dat"}, {"LAST POINT", "100000"}}, "the transform matrix would have 50001 x "
       "4000 elements, more than the limit of 5e+07; use a coarser GRAIN, a smaller LAST POINT or fewer data points\n"},
      {{{"PER 2PI", "100000"}}, "the powder average would need 4.05e+11 cosine evaluations, more than the limit "
       "of 5e+10; lower PER 2PI or use a universal dephasing curve (LAMBDA_D)\n"},
      // A simulation averages the prescribed distances too: 9 cycle counts (N_c 0 to 16) x (9 + 4000) distances x 5000 x 10000 angles.
      {{{"MODE", "sim"}, {"DISTDIST", "big.dat"}, {"PER 2PI", "10000"}}, "the powder average would need 1.80405e+12 cosine evaluations, "
       "more than the limit of 5e+10; lower PER 2PI or use a universal dephasing curve (LAMBDA_D)\n"},
      {{{"PATH", "./nonexist/"}}, "parameter error: PATH \"./nonexist/\" does not exist; create it with: mkdir -p ./nonexist/\n"},
      {{{"DISTDIST", "dist.dta"}}, "parameter error: DISTDIST \"dist.dta\" cannot be opened; write none for no prescribed distribution\n"}};
  for (auto const& [over, message] : cases) {
    write_file(w.dir.file("p.par"), param_text(over));
    auto before = entries(w.dir.path());
    EXPECT_EQ(said(w.run_args({"p.par"}, {"timeout 20"})), "1 " + message);  // a refusal is at once; a run not refused may take hours
    EXPECT_EQ(entries(w.dir.path()), before) << message;
  }
}

// A disk that fills up while the results are written: the earlier complete
// files stay, the run says which output failed and ends with status 1.
TEST(Run, FailedWritesKeepEarlierFilesAndFailTheRun) {
  Workspace w;
  ASSERT_EQ(w.run().status, 0);
  std::string me = w.out(".me"), gp = w.out(".gp");
  std::vector<std::string> env = {"LD_PRELOAD='" REDORDIST_WRITE_FAIL_SHIM "'", "ASAN_OPTIONS=verify_asan_link_order=0",
                                  "REDORDIST_FAIL_WRITES=.tmp"};
  RunResult r = w.run({{"GRAIN", "0.25"}}, env);  // other numbers, were they written
  EXPECT_EQ(r.status, 1);
  for (std::string f : {"write_out", "gnuplot_out"}) EXPECT_NE(r.out.find(f + " failed\n"), std::string::npos) << r.out;
  EXPECT_EQ((Row{w.out(".me"), w.out(".gp")}), (Row{me, gp}));
  for (auto const& e : std::filesystem::directory_iterator(w.dir.file("run")))
    EXPECT_EQ(e.path().string().find(".tmp"), std::string::npos) << e.path();
  // Writes cut short (7 bytes at a time) are carried on: the same files.
  env.push_back("REDORDIST_SHORT_WRITES=1"), r = w.run({}, env);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ((Row{w.out(".me"), w.out(".gp")}), (Row{me, gp}));
  r = w.run({{"GRAIN", "0.25"}}, {env[0], env[1], "REDORDIST_FAIL_CLOSES=.tmp"});  // written, then lost at close
  EXPECT_TRUE(r.status == 1 && r.out.find("write_out failed\n") != std::string::npos && w.out(".me") == me) << r.out;
  // The annealing's trace and a matrix dump that cannot be opened: said, and the run fails at its end.
  for (char const* f : {"run/run.sa", "run/run.mx"}) std::filesystem::remove(w.dir.file(f)), std::filesystem::create_directory(w.dir.file(f));
  r = w.run();
  EXPECT_TRUE(r.status == 1 && r.out.find("could not write the annealing trace ./run/run.sa\n") != std::string::npos &&
              r.out.find("could not write the matrix dump ./run/run.mx\n") != std::string::npos) << r.out;
  for (char const* f : {"run/run.sa", "run/run.mx", "run/run.json"}) std::filesystem::remove(w.dir.file(f));
  std::filesystem::create_directories(w.dir.file("run/run.json/x")), r = w.run();  // the summary alone fails
  EXPECT_TRUE(r.status == 1 && r.out.find("could not write the summary ./run/run.json\n") != std::string::npos) << r.out;
}
