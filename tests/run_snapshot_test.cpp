// Whole runs against reference run directories read and checked when they
// were made (tests/golden/whole_runs/<case>/): the inputs, every text file a run
// writes and its standard output, so that any change to what a user reads must be deliberate.
// Text must match exactly; numbers to 1e-7 relative, since the last digits of
// an optimiser's result may differ between processors while nothing printed
// to a spectroscopist's precision does. Times, the temporary directory and the
// program's path are masked; the model's matrices are kept for one case only.
// REDORDIST_UPDATE_RUNS=1 rewrites the references (then read their diff).
#include <algorithm>

#include "tests/test_support.h"

using namespace ts;
namespace fs = std::filesystem;

namespace {

struct SnapshotCase { char const* name; std::vector<std::string> args; Over over; };

const SnapshotCase kCases[] = {{"maxent_fit", {"--solver", "maxent", "p.par"}, {}},
    {"gaussians_fit", {"--solver", "gaussians", "p.par"}, {}}, {"maxent_err", {"--solver", "maxent", "p.par"}, {{"MODE", "err"}}},
    {"gaussians_err", {"--solver", "gaussians", "p.par"}, {{"MODE", "err"}}},
    {"annealing_err", {"--solver", "annealing", "p.par"}, {{"MODE", "err"}, {"MAX MC BLOCKS", "5"}}},
    {"maxent_fit_scaling", {"--solver", "maxent", "--fit-scaling", "p.par"}, {{"SCALING", "0.9"}}},
    {"maxent_four_points", {"--solver", "maxent", "p.par"}, {{"XYDATA", "four.dat"}}},  // too few for 2 Gaussians
    {"sim", {"p.par"}, {{"MODE", "sim"}, {"DISTDIST", "dist.dat"}, {"SCALING", "0.8"}}},  // 3.0 Angstrom (70 %) and 4.2
    {"study", {"--solver", "maxent", "p.par", "--study", "s.csv"}, {}},  // the curve at 5, 10 and 20 kHz
    {"study_shared", {"--solver", "maxent", "p.par", "--study", "s.csv", "--shared"}, {}},
    {"study_shared_gaussians", {"--solver", "gaussians", "p.par", "--study", "s.csv", "--shared"}, {}}};

// The text with each number replaced by "#", and the numbers.
std::string without_numbers(std::string const& s, std::vector<double>& nums) {
  static const std::regex num(R"([-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?)");
  for (std::sregex_iterator it(s.begin(), s.end(), num), end; it != end; ++it) nums.push_back(std::strtod(it->str().c_str(), nullptr));
  return std::regex_replace(s, num, "#");
}

class RunSnapshot : public ::testing::TestWithParam<SnapshotCase> {};

TEST_P(RunSnapshot, EveryTextFileAndTheStandardOutputAsReviewed) {
  SnapshotCase const& c = GetParam();
  Workspace w;
  std::string study = "curve,mas,n_c,s0,s,s_s0,error\n";
  for (char const* curve : {"a,5000,", "b,10000,", "c,20000,"})  // three panels: two rows of the page
    for (Row const& p : table_rows(kCurveData)) study += curve + p[0] + "," + p[1] + "," + p[2] + "," + p[3] + "," + p[4] + "\n";
  Over over = c.over;
  over.emplace("GRAIN", "0.1"), over.emplace("PER 2PI", "0");
  write_file(w.dir.file("data.dat"), kCurveData), write_file(w.dir.file("dist.dat"), "3.0 0.7\n4.2 0.3\n");
  write_file(w.dir.file("s.csv"), study), write_file(w.dir.file("p.par"), param_text(over));
  write_file(w.dir.file("four.dat"), kCurveData.substr(0, kCurveData.find("32 ")));
  // One thread: a study's gnuplot calls in the curves' order; no screen, whatever the machine has.
  RunResult r = w.run_args(c.args, {"OMP_NUM_THREADS=1", "DISPLAY=", "WAYLAND_DISPLAY="});
  std::map<std::string, std::string> got = {{"stdout", r.out + r.err}};
  for (auto const& e : fs::recursive_directory_iterator(w.dir.path())) {
    std::string name = fs::relative(e.path(), w.dir.path()).string();
    bool matrices = std::regex_search(name, std::regex(R"(\.(mx|mxT|me)$)")) && c.name != std::string("maxent_fit");
    if (e.is_regular_file() && !matrices) got[name] = mask_times(read_file(e.path()));
  }
  std::string ref = REDORDIST_SOURCE_DIR "/tests/golden/whole_runs/" + std::string(c.name) + "/";
  if (std::getenv("REDORDIST_UPDATE_RUNS")) fs::remove_all(ref);
  for (auto& [name, text] : got) {
    for (auto const& [d, as] : {std::pair<std::string, char const*>{fs::canonical(w.dir.path()).string(), "<dir>"},
                                {w.dir.path(), "<dir>"}, {REDORDIST_BIN, "<redordist>"}})
      for (size_t p; (p = text.find(d)) != std::string::npos;) text.replace(p, d.size(), as);
    if (std::getenv("REDORDIST_UPDATE_RUNS")) fs::create_directories(fs::path(ref + name).parent_path()), write_file(ref + name, text);
  }
  // As many references as files the run writes, and each of those has its reference:
  EXPECT_EQ(got.size(), std::count_if(fs::recursive_directory_iterator(ref), {}, [](auto const& e) { return e.is_regular_file(); }));
  for (auto const& [name, text] : got) {
    std::vector<double> want, have;
    ASSERT_EQ(without_numbers(read_file(ref + name), want), without_numbers(text, have)) << name;
    for (size_t i = 0; i < want.size(); i++)
      ASSERT_NEAR(have[i], want[i], 1e-7 * std::fabs(want[i]) + 1e-12) << name << ", number " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, RunSnapshot, ::testing::ValuesIn(kCases),
                         [](auto const& info) { return std::string(info.param.name); });

}  // namespace
