// Whole runs of the deterministic solvers: the same files for any seed and
// thread count, their bootstrap the same on one thread as on two, and
// maximum entropy on data it cannot fit.

#include <array>
#include <nlohmann/json.hpp>

#include "model/exact_kernel.h"
#include "assessment/assess.h"
#include "tests/test_support.h"

using namespace ts;

const Over kRun = {{"PER 2PI", "0"},      {"GRAIN", "0.1"},     {"FAR", "4"},
                   {"PER MC BLOCK", "4"}, {"MAX MC BLOCKS", "5"}, {"MIN STDEV2", "0"}};

// The table, the log's last lines and the summary of a run (the log also
// into *log_out); the run directory is then removed.
static std::string outputs(Workspace& w, std::string const& solver, Over over, Row const& env, std::string* log_out = nullptr) {
  write_file(w.dir.file("p.par"), param_text(over));
  RunResult r = w.run_args({"--solver", solver, "p.par"}, env);
  EXPECT_EQ(r.status, 0) << r.out;
  std::string log = w.out(".log"), json = w.out(".json");
  if (log_out) *log_out = log;
  std::string all = w.out(".me") + log.substr(log.find("Beginning")) + json;
  std::filesystem::remove_all(w.dir.file("run"));
  return std::regex_replace(mask_times(all), std::regex("Beginning ([^:]*): .*"), "$1");
}

// Writes data.dat and p.par (param_text(over)) and runs the solver on them,
// with --fit-scaling when asked.
static RunResult run_on(Workspace const& w, std::string const& data, Over const& over, std::string const& solver,
                 bool fit_scaling = false) {
  write_file(w.dir.file("data.dat"), data), write_file(w.dir.file("p.par"), param_text(over));
  return w.run_args(fit_scaling ? Row{"--solver", solver, "p.par", "--fit-scaling"} : Row{"--solver", solver, "p.par"});
}

class SolverRuns : public testing::TestWithParam<std::string> {};  // a test per solver, CTest spreads them
TEST_P(SolverRuns, SameResultsForAnySeedAndThreadCountAndASummaryThatIsTheLogs) {
  std::string const& solver = GetParam();
  Workspace w("", kCurveData);
  std::string log;  // of the err run on one thread
  for (std::string mode : {"fit", "err"}) {
    if (mode == "fit" && solver == "gaussians") continue;  // its err run fits first: for the slow Gaussians, enough
    Over o = kRun;
    o["MODE"] = mode;
    std::string one = outputs(w, solver, o, {"OMP_NUM_THREADS=1", "GSL_RNG_SEED=0"}, &log);
    EXPECT_EQ(one, outputs(w, solver, o, {"OMP_NUM_THREADS=2", "GSL_RNG_SEED=0"})) << mode;
    // The bootstrap's noise follows the seed.
    if (mode == "fit") continue;
    std::string seeded = outputs(w, solver, o, {"OMP_NUM_THREADS=2", "GSL_RNG_SEED=5"});
    EXPECT_NE(seeded.substr(0, seeded.find("\"seed\"")), one.substr(0, one.find("\"seed\"")));
  }
  EXPECT_EQ(log.find(" REJECTED"), std::string::npos);  // every replicate fits, whatever the k it chooses
}
INSTANTIATE_TEST_SUITE_P(Solvers, SolverRuns, testing::Values("maxent", "gaussians"));

TEST(Solvers, MaxentOnDataItCannotFitEndsWithWarnings) {
  // Data, parameters, exit status and how one of the maximum-entropy warnings
  // in the summary begins (the refusal of too short a grid: input_test.cpp). Errors of 0.1 % (with the bootstrap:
  // multipliers in the thousands), a prescribed share of 0.999, a 0.2 A grid.
  std::tuple<std::string, Over, int, std::string> cases[] = {
      {std::regex_replace(kCurveData, std::regex("0\\.015\n"), "0.001\n"), {{"MODE", "err"}}, 0, "chi2"},
      {kCurveData, {{"DISTDIST", "dist.dat"}}, 0, "no weight alpha"},
      // Every N_c 0: nothing dephases, so the default model stays (S and G 0: the rule holds at the first alpha).
      {"0 1 1 1 0.015\n0 1 0.99 1 0.015\n", {}, 0, ""}};
  for (auto [data, over, status, text] : cases) {
    Workspace w;
    write_file(w.dir.file("dist.dat"), "3.0 0.999\n");
    over.insert(kRun.begin(), kRun.end());  // keeps the case's own values
    RunResult r = run_on(w, data, over, "maxent");
    ASSERT_EQ(r.status, status) << r.out;
    std::string all = r.out + w.out(".me") + w.out(".log") + w.out(".json");
    EXPECT_FALSE(std::regex_search(all, std::regex("\\bnan\\b", std::regex::icase))) << all;
    std::string warned = nlohmann::json::parse(w.out(".json"))["warnings"].dump();
    EXPECT_EQ(warned.find("warning: maximum entropy: " + text) != std::string::npos, !text.empty()) << warned;
  }
}

TEST(Solvers, FitScalingFindsTheDephasableFractionTheFileGetsWrong) {
  // 13C-15N at 3.5 Angstrom, 80 % dephasable, exact powder average (D r^3 =
  // mu0/4pi gamma_C gamma_N hbar / 2pi = 3062 Hz A^3), errors 0.01, no noise.
  // Solver, the dephasable share of the data, the last N_c, the file's
  // SCALING and MODE, status, the fitted SCALING (-1: --fit-scaling refused,
  // 0: not checked), its tolerance, a warning expected. Up to N_c 64 (S/S0
  // above 0.8) SCALING is not determined; a share of 1.3 (the curve ends at
  // -0.3) puts the best at the scan's end. The scan covers 0.05 to 1.2 from
  // any start; 0.83 lies between its points, where the search refines to
  // 1e-3 (noise-free data: the true share is the minimum).
  const std::tuple<char const*, double, int, char const*, char const*, int, double, double, char const*> cases[] = {
      {"maxent", 0.83, 400, "1.0", "fit", 0, 0.83, 0.002, ""},
      {"gaussians", 0.83, 400, "1.0", "fit", 0, 0.83, 0.002, ""}, {"gaussians", 0.8, 64, "1.0", "fit", 0, 0.0, 0.0, ""},
      {"maxent", 0.8, 400, "0.2", "fit", 0, 0.8, 0.01, ""}, {"maxent", 0.8, 400, "1.8", "fit", 0, 0.8, 0.01,
       "warning: SCALING 1.8 is above 1, but it is the dephasable share of the pairs (at most 1): the curve "
       "would level off at S/S0 = 1 - SCALING = -0.80, below zero; check SCALING\n"},
      {"maxent", 1.3, 400, "1.0", "fit", 0, 1.2, 0.001, "warning: Fitted SCALING 1.2000 lies at the end of the range "
       "scanned (0.05 to 1.20): the data do not determine it; measure longer dephasing or fix SCALING from a "
       "reference sample\n"},
      {"annealing", 0.8, 400, "1.0", "fit", 1, -1.0, 0.0, "--fit-scaling needs --solver maxent or --solver gaussians"},
      {"maxent", 0.8, 400, "1.0", "sim", 1, -1.0, 0.0,
       "p.par: MODE sim simulates and fits nothing; --fit-scaling needs MODE fit or err\n"}};
  for (auto const& [solver, share, last, start, mode, status, want, tol, warned] : cases) {
    SCOPED_TRACE(std::string(solver) + " " + std::to_string(share) + " " + std::to_string(last) + " " + start);
    std::string data;
    for (int nc = 0; nc <= last; nc += 16) {
      double f = 1.0 - share * (1.0 - redor_exact(nc / 2.0 * 3062.0 / std::pow(3.5, 3) / 5000.0));
      data += std::to_string(nc) + " 1 " + std::to_string(f) + " " + std::to_string(f) + " 0.01\n";
    }
    Workspace w;
    write_file(w.dir.file("dist.dat"), "3.5 1\n");
    RunResult r = run_on(w, data, {{"PER 2PI", "0"}, {"GRAIN", "0.1"}, {"NEAR", "2.5"}, {"FAR", "4.5"}, {"MODE", mode},
                         {"SCALING", start}, {"DISTDIST", mode[0] == 's' ? "dist.dat" : "none"}}, solver, true);
    ASSERT_EQ(r.status, status) << r.out;
    EXPECT_NE(r.out.find(warned), std::string::npos) << r.out;
    if (want < 0) {
      EXPECT_EQ(r.out.find(warned), 0u) << r.out;
      EXPECT_FALSE(std::filesystem::exists(w.dir.file("run")));
      continue;
    }
    nlohmann::json j = nlohmann::json::parse(w.out(".json"));
    std::string warnings = j["warnings"].dump();
    // Said once: by the range's own warning or by the one on mass beyond one dephasing cycle.
    bool wide = warnings.find("SCALING and mass beyond the longest measurable distance") != std::string::npos ||
                warnings.find("no full dephasing cycle there") != std::string::npos;
    EXPECT_EQ(wide, want == 0.0);
    EXPECT_EQ(warnings.find("lies at the end of the range scanned") != std::string::npos, share > 1.0);
    if (want > 0.0) { EXPECT_NEAR(j["scaling"].get<double>(), want, tol); }
    if (want > 0.0 && share < 1.0) { EXPECT_NEAR(j["distance"]["mean"].get<double>(), 3.5, 0.05); }
  }
}

TEST(Solvers, BootstrapSaysWhetherItConvergedAndWarnsOfTooManyRejections) {
  // kRun: 5 blocks of 4 replicates, MIN STDEV2 0 (never met) unless the case
  // sets it. A replicate's chi2 is about 9 - G here; 3 rejects most. 9 points
  // want MAX MC CHI2 2 * 9 + 4 sqrt(18) = 34.97, so 35.
  const std::pair<Over, std::vector<std::string>> cases[] = {
      {{}, {"Maximum bootstrap replicates reached. Largest stdev is ",
            "Bootstrap did not converge within the 5 blocks allowed (MAX MC BLOCKS); the spreads are from 20 "
            "bootstrap replicates\n"}},
      {{{"MIN STDEV2", "1"}, {"MAX MC BLOCKS", "8"}}, {"converged in 5 x 4 bootstrap replicates\n",
                               "Bootstrap converged after 5 blocks; the spreads are from 20 bootstrap replicates\n"}},
      {{{"MAX MC CHI2", "3"}}, {" of the bootstrap replicates (", ") were rejected and done again: MAX MC CHI2 3 is "
                                "too low for 9 points; set it to about 35 (2N + 4 sqrt(2N), N the number of points)\n"}}};
  for (auto [over, lines] : cases) {
    Workspace w;
    over.insert(kRun.begin(), kRun.end()), over["MODE"] = "err";
    RunResult r = run_on(w, kCurveData, over, "maxent"); ASSERT_EQ(r.status, 0) << r.out;
    std::string log = w.out(".log");
    for (std::string const& l : lines)
      for (std::string const& text : {r.out, log}) EXPECT_NE(text.find(l), std::string::npos) << l << "\n" << text;
    EXPECT_EQ(log.find("monte carlo"), std::string::npos);
  }
}

TEST(Solvers, AWideGridIsAssessedOnlyWhereTheDataSee) {
  // 3000 distances out to 300 Angstrom: the assessment stops at twice the
  // longest measurable distance (near 3.7 Angstrom for these data, N_c to 16), every 0.02.
  Workspace w;
  RunResult r = run_on(w, kSmallData, {{"PER 2PI", "0"}, {"NEAR", "0.5"}, {"FAR", "300"}, {"GRAIN", "0.1"}}, "maxent");
  ASSERT_EQ(r.status, 0) << r.out;
  std::smatch m;
  std::string log = w.out(".log");
  ASSERT_TRUE(std::regex_search(log, m, std::regex("Assessment: (\\d+) centres from 0.50 to (\\S+) Angstrom every "
                                                   "0.020 Angstrom\ntime: ")));
  double far = std::stod(m[2]), lmd = nlohmann::json::parse(w.out(".json"))["diagnostics"]["longest_measurable_distance"];
  EXPECT_NEAR(far, 2 * lmd, 0.006);
  EXPECT_LT(far, 10.0);
  EXPECT_EQ(std::stoi(m[1]), int(std::floor((far - 0.5) / 0.02 + 1e-6)) + 1);
}

// 13C-15N data of Gaussian populations {centre, share} of sd 0.1 Angstrom,
// exact powder average at 5 kHz, no noise, each point with the error err.
static std::string exact_curve(std::vector<std::array<double, 2>> const& truth, int last, int step, double err) {
  std::string data;
  for (int nc = 0; nc <= last; nc += step) {
    double f = 0.0, total = 0.0;
    for (double r = 2.5; r < 7.0; r += 0.01)
      for (auto const& [centre, share] : truth) {
        double g = share * std::exp(-0.5 * std::pow((r - centre) / 0.1, 2));
        f += g * redor_exact(nc / 2.0 * 3062.0 / std::pow(r, 3) / 5000.0), total += g;
      }
    data += strf("%d 1 %f %f %f\n", nc, f / total, f / total, err);  // std::to_string's %f
  }
  return data;
}

// The assessment's own kernel on a powder average of 24 angles (a spline
// in lambda_D) sees a Gaussian at 3.3 Angstrom where it is: the best single
// Gaussian's centre within a profile step or two.
TEST(Solvers, TheAssessmentsKernelPutsAGaussianWhereTheDataHaveIt) {
  Model m({{"GRAIN", "0.05"}}, exact_curve({{3.3, 1.0}}, 64, 4, 0.01));
  EXPECT_NEAR(assess(*m).width.best_centre, 3.3, 0.04);
}

TEST(Solvers, TwoPopulationsAreTwoSupportedPeaksAndOneIsOne) {
  // Errors 0.005, N_c to 400: the short distance dephases by N_c 100, the
  // long one only after. Peaks within 0.1 Angstrom (two grid cells) and
  // shares within 5 %.
  const struct { char const* solver; std::vector<std::array<double, 2>> truth; } cases[] = {
      {"gaussians", {{3.0, 0.6}, {4.5, 0.4}}}, {"maxent", {{3.0, 0.6}, {4.5, 0.4}}}, {"gaussians", {{3.5, 1.0}}}};
  for (auto const& c : cases) {
    SCOPED_TRACE(std::string(c.solver) + " " + std::to_string(c.truth.size()));
    Workspace w;
    RunResult r = run_on(w, exact_curve(c.truth, 400, 16, 0.005),
                         {{"PER 2PI", "0"}, {"GRAIN", "0.05"}, {"NEAR", "2.5"}, {"FAR", "5.5"}}, c.solver);
    ASSERT_EQ(r.status, 0) << r.out;
    nlohmann::json d = nlohmann::json::parse(w.out(".json"))["distance"];
    EXPECT_EQ(d["supported_peaks"], c.truth.size()) << d.dump();
    ASSERT_EQ(d["peaks"].size(), c.truth.size()) << d.dump();
    for (size_t k = 0; k < c.truth.size(); k++) {
      EXPECT_NEAR(d["peaks"][k]["position"].get<double>(), c.truth[k][0], 0.1) << d.dump();
      EXPECT_NEAR(d["peaks"][k]["share"].get<double>(), c.truth[k][1], 0.05) << d.dump();
    }
  }
}

TEST(Solvers, ACurveThatBarelyDephasesAllowsEverySCALINGScanned) {
  // 6 Angstrom seen to N_c 64 only (S/S0 0.965 at the end): a few % of the
  // pairs at a short distance (SCALING 0.05) explain it as well as all of them far.
  Workspace w;
  RunResult r = run_on(w, exact_curve({{6.0, 1.0}}, 64, 4, 0.005),
                       {{"PER 2PI", "0"}, {"GRAIN", "0.1"}, {"NEAR", "2.5"}, {"FAR", "7"}}, "gaussians", true);
  ASSERT_EQ(r.status, 0) << r.out;
  nlohmann::json j = nlohmann::json::parse(w.out(".json"));
  EXPECT_EQ(j["scaling_allowed"], nlohmann::json::array({0.05, 1.2})) << j.dump();
  EXPECT_EQ(j["scaling_determined"], false);
}
