// Whole runs of the deterministic solvers: the same files for any seed and
// thread count, their bootstrap the same on one thread as on two, a summary
// whose numbers are the log's, and maximum entropy on data it cannot fit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "model/exact_kernel.h"
#include "tests/test_support.h"

using namespace ts;

namespace {

const Over kRun = {{"PER 2PI", "0"},      {"GRAIN", "0.1"},     {"FAR", "4"},
                   {"PER MC BLOCK", "4"}, {"MAX MC BLOCKS", "5"}, {"MIN STDEV2", "0"}};

// The table, the log's last lines and the summary of a run (the log and
// the summary also into *log_out and *json_out); the run directory is then
// removed.
std::string outputs(Workspace& w, std::string const& solver, Over over, Row const& env,
                    std::string* log_out = nullptr, std::string* json_out = nullptr) {
  write_file(w.dir.file("p.par"), param_text(over));
  RunResult r = w.run_args({"--solver", solver, "p.par"}, env);
  EXPECT_EQ(r.status, 0) << r.out;
  std::string log = w.out(".log"), json = w.out(".json");
  if (log_out) *log_out = log;
  if (json_out) *json_out = json;
  std::string all = w.out(".me") + log.substr(log.find("Beginning")) + json;
  std::filesystem::remove_all(w.dir.file("run"));
  return std::regex_replace(mask_times(all), std::regex("Beginning ([^:]*): .*"), "$1");
}

}  // namespace

TEST(Solvers, SameResultsForAnySeedAndThreadCountAndASummaryThatIsTheLogs) {
  for (std::string solver : {"maxent", "gaussians"}) {
    SCOPED_TRACE(solver);
    Workspace w;
    write_file(w.dir.file("data.dat"), kCurveData);
    std::string log, summary;  // of the err run on one thread
    for (std::string mode : {"fit", "err"}) {
      Over o = kRun;
      o["MODE"] = mode;
      std::string one = outputs(w, solver, o, {"OMP_NUM_THREADS=1", "GSL_RNG_SEED=0"}, &log, &summary);
      std::string two = outputs(w, solver, o, {"OMP_NUM_THREADS=2", "GSL_RNG_SEED=0"});
      EXPECT_EQ(one, two) << mode;
      // The bootstrap's noise follows the seed.
      if (mode == "fit") continue;
      std::string seeded = outputs(w, solver, o, {"OMP_NUM_THREADS=2", "GSL_RNG_SEED=5"});
      EXPECT_NE(seeded.substr(0, seeded.find("\"seed\"")), one.substr(0, one.find("\"seed\"")));
    }
    // The summary parses, and its numbers are the ones the log prints.
    nlohmann::json j = nlohmann::json::parse(summary);
    char want[200];
    auto const& d = j["distance"];
    std::snprintf(want, sizeof want, "Mean distance: %.4f +- %.4f Angstrom\nDistance sd: %.4f +- %.4f Angstrom\n",
                  d["mean"].get<double>(), d["mean_mc_sd"].get<double>(), d["sd"].get<double>(),
                  d["sd_mc_sd"].get<double>());
    EXPECT_NE(log.find(want), std::string::npos) << want;
    std::snprintf(want, sizeof want, "MC mean distance: %.4f +- %.4f Angstrom\n",
                  d["mc_mean"].get<double>(), d["mean_mc_sd"].get<double>());
    EXPECT_NE(log.find(want), std::string::npos) << want;
    std::snprintf(want, sizeof want, "Effective distance: %.4f +- %.4f Angstrom\n",
                  d["effective"].get<double>(), d["effective_sd"].get<double>());
    EXPECT_NE(log.find(want), std::string::npos) << want;
    std::snprintf(want, sizeof want, "Result chi2: %.4f for 9 points", j["chi2"].get<double>());
    EXPECT_NE(log.find(want), std::string::npos) << want;
    EXPECT_EQ(j["solver"], solver);
    EXPECT_EQ(j["kernel"]["type"], "exact");
    EXPECT_EQ(j["status"], 0);
    EXPECT_EQ(j["distance"]["mc_runs"], 20);
  }
}

TEST(Solvers, MaxentOnDataItCannotFitEndsWithWarnings) {
  // Data, parameters, exit status and how one of the maximum-entropy warnings
  // in the summary begins (the refusal of too short a grid: input_test.cpp). Errors of 0.1 % (with the bootstrap:
  // multipliers in the thousands), a prescribed share of 0.999, a 0.2 A grid.
  std::tuple<std::string, Over, int, std::string> cases[] = {
      {std::regex_replace(kCurveData, std::regex("0\\.015\n"), "0.001\n"), {{"MODE", "err"}}, 0, "chi2"},
      {kCurveData, {{"DISTDIST", "dist.dat"}}, 0, "no weight alpha"}};
  for (auto const& [data, over, status, text] : cases) {
    Workspace w;
    write_file(w.dir.file("data.dat"), data);
    write_file(w.dir.file("dist.dat"), "3.0 0.999\n");
    Over o = over;
    o.insert(kRun.begin(), kRun.end());  // keeps the case's own values
    write_file(w.dir.file("p.par"), param_text(o));
    RunResult r = w.run_args({"--solver", "maxent", "p.par"});
    ASSERT_EQ(r.status, status) << r.out;
    std::string all = r.out + w.out(".me") + w.out(".log") + w.out(".json");
    EXPECT_FALSE(std::regex_search(all, std::regex("\\bnan\\b", std::regex::icase))) << all;
    std::string warned = nlohmann::json::parse(w.out(".json"))["warnings"].dump();
    EXPECT_NE(warned.find("warning: maximum entropy: " + text), std::string::npos) << warned;
  }
}

TEST(Solvers, FitScalingFindsTheDephasableFractionTheFileGetsWrong) {
  // 13C-15N at 3.5 Angstrom, 80 % dephasable, exact powder average (D r^3 =
  // mu0/4pi gamma_C gamma_N hbar / 2pi = 3062 Hz A^3), errors 0.01, no noise;
  // the file says SCALING 1.0. Solver, --fit-scaling, the last N_c, status,
  // the fitted SCALING (-1: the option refused, 0: not checked), its
  // tolerance. Up to N_c 64 (S/S0 above 0.8) SCALING is not determined.
  const std::tuple<char const*, bool, int, int, double, double> cases[] = {
      {"maxent", true, 400, 0, 0.8, 0.01}, {"gaussians", true, 400, 0, 0.8, 0.01}, {"gaussians", true, 64, 0, 0.0, 0.0},
      {"annealing", true, 400, 1, -1.0, 0.0}};
  for (auto const& [solver, fit, last, status, want, tol] : cases) {
    SCOPED_TRACE(std::string(solver) + (fit ? " --fit-scaling" : "") + " " + std::to_string(last));
    std::string data;
    for (int nc = 0; nc <= last; nc += 16) {
      double f = 1.0 - 0.8 * (1.0 - redor_exact(nc / 2.0 * 3062.0 / std::pow(3.5, 3) / 5000.0));
      data += std::to_string(nc) + " 1 " + std::to_string(f) + " " + std::to_string(f) + " 0.01\n";
    }
    Workspace w;
    write_file(w.dir.file("data.dat"), data);
    write_file(w.dir.file("p.par"), param_text({{"PER 2PI", "0"}, {"GRAIN", "0.1"}, {"NEAR", "2.5"}, {"FAR", "4.5"}}));
    std::vector<std::string> args = {"--solver", solver, "p.par"};
    if (fit) args.push_back("--fit-scaling");
    RunResult r = w.run_args(args);
    ASSERT_EQ(r.status, status) << r.out;
    if (want < 0) {
      EXPECT_EQ(r.out.find("--fit-scaling needs --solver maxent or --solver gaussians"), 0u) << r.out;
      EXPECT_FALSE(std::filesystem::exists(w.dir.file("run")));
      continue;
    }
    nlohmann::json j = nlohmann::json::parse(w.out(".json"));
    EXPECT_EQ(r.out.find("Fitted SCALING: ") != std::string::npos, fit);
    EXPECT_EQ(j.contains("scaling_allowed"), fit);
    bool wide = r.out.find("SCALING and mass beyond the longest measurable distance") != std::string::npos;
    EXPECT_EQ(wide, fit && want == 0.0);
    if (want > 0.0) {
      EXPECT_NEAR(j["scaling"].get<double>(), want, tol);
    }
    if (want > 0.0 && fit) {
      EXPECT_NEAR(j["distance"]["mean"].get<double>(), 3.5, 0.05);
    }
  }
}
