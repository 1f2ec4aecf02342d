// Whole runs of the deterministic solvers: the same files for any seed and
// thread count, their bootstrap the same on one thread as on two, a summary
// whose numbers are the log's, and maximum entropy on data it cannot fit.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "tests/test_support.h"

using namespace ts;

namespace {

const Over kRun = {{"PER 2PI", "0"},      {"GRAIN", "0.1"},     {"FAR", "5.5"},
                   {"PER MC BLOCK", "4"}, {"MAX MC BLOCKS", "5"}, {"MIN STDEV2", "0"}};

// The table, the log's last lines and the summary of a run; the run
// directory is then removed.
std::string outputs(Workspace& w, std::string const& solver, Over over, Row const& env) {
  write_file(w.dir.file("p.par"), param_text(over));
  RunResult r = w.run_args({"--solver", solver, "p.par"}, env);
  EXPECT_EQ(r.status, 0) << r.out;
  std::string log = w.out(".log");
  std::string all = w.out(".me") + log.substr(log.find("Beginning")) + w.out(".json");
  std::filesystem::remove_all(w.dir.file("run"));
  return std::regex_replace(mask_times(all), std::regex("Beginning ([^:]*): .*"), "$1");
}

}  // namespace

TEST(Solvers, SameResultsForAnySeedAndThreadCountAndASummaryThatIsTheLogs) {
  for (std::string solver : {"maxent", "gaussians"}) {
    SCOPED_TRACE(solver);
    Workspace w;
    write_file(w.dir.file("data.dat"), kCurveData);
    for (std::string mode : {"fit", "err"}) {
      Over o = kRun;
      o["MODE"] = mode;
      std::string one = outputs(w, solver, o, {"OMP_NUM_THREADS=1", "GSL_RNG_SEED=0"});
      std::string two = outputs(w, solver, o, {"OMP_NUM_THREADS=2", "GSL_RNG_SEED=0"});
      EXPECT_EQ(one, two) << mode;
      // The fit draws no random number; the bootstrap's noise follows the seed.
      std::string seeded = outputs(w, solver, o, {"OMP_NUM_THREADS=2", "GSL_RNG_SEED=5"});
      EXPECT_EQ(seeded.substr(0, seeded.find("\"seed\"")) == one.substr(0, one.find("\"seed\"")),
                mode == "fit");
    }
    // The summary parses, and its numbers are the ones the log prints.
    write_file(w.dir.file("p.par"), param_text([] { Over o = kRun; o["MODE"] = "err"; return o; }()));
    ASSERT_EQ(w.run_args({"--solver", solver, "p.par"}).status, 0);
    nlohmann::json j = nlohmann::json::parse(w.out(".json"));
    std::string log = w.out(".log");
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

TEST(Solvers, MaxentOnDataItCannotFitEndsWithWarningsOrARefusal) {
  // Data, parameters, exit status and how one of the maximum-entropy warnings
  // in the summary begins, or the refusal. Errors of 0.1 % (with the bootstrap:
  // multipliers in the thousands), a prescribed share of 0.999, a 0.2 A grid.
  std::tuple<std::string, Over, int, std::string> cases[] = {
      {std::regex_replace(kCurveData, std::regex("0\\.015\n"), "0.001\n"), {{"MODE", "err"}}, 0, "chi2"},
      {kCurveData, {{"DISTDIST", "dist.dat"}}, 0, "no weight alpha"},
      {kCurveData, {{"NEAR", "3.0"}, {"FAR", "3.2"}}, 1,
       "parameter error: FAR - NEAR is 0.2 Angstrom; it must be at least 0.3 for --solver maxent\n"}};
  for (auto const& [data, over, status, text] : cases) {
    Workspace w;
    write_file(w.dir.file("data.dat"), data);
    write_file(w.dir.file("dist.dat"), "3.0 0.999\n");
    Over o = over;
    o.insert(kRun.begin(), kRun.end());  // keeps the case's own values
    write_file(w.dir.file("p.par"), param_text(o));
    RunResult r = w.run_args({"--solver", "maxent", "p.par"});
    ASSERT_EQ(r.status, status) << r.out;
    if (status != 0) {  // before anything is written
      EXPECT_EQ(r.out, text);
      EXPECT_FALSE(std::filesystem::exists(w.dir.file("run")));
      continue;
    }
    std::string all = r.out + w.out(".me") + w.out(".log") + w.out(".json");
    EXPECT_FALSE(std::regex_search(all, std::regex("\\bnan\\b", std::regex::icase))) << all;
    std::string warned = nlohmann::json::parse(w.out(".json"))["warnings"].dump();
    EXPECT_NE(warned.find("warning: maximum entropy: " + text), std::string::npos) << warned;
  }
}
