// Replays the fuzzers' seed corpora (fuzz/corpus/<target>/) and any
// regression cases (tests/fuzz_regressions/<target>/) through the reader
// calls of the fuzz targets and through the whole run of fuzz_run, in this
// process: a refusal must be one clean line, an accepted input must satisfy
// what the later stages rely on (a run: status 0, no nan or inf printed),
// and nothing may crash (the sanitizer build reports memory errors and leaks).

#include <algorithm>

#include "fuzz/fuzz_run.h"
#include "tests/test_support.h"

namespace {

using Runner = std::string (*)(std::string const&);

// Refusals thrown, standard output swallowed, for the test's duration.
struct Quiet {
  FatalHandler handler = fatal_handler;
  fuzzsupport::NullBuf null;
  std::streambuf* buf = std::cout.rdbuf(&null);
  Quiet() { fatal_handler = fuzzsupport::throw_refusal; }
  ~Quiet() { std::cout.rdbuf(buf), fatal_handler = handler; }
};

class FuzzReplay : public ::testing::TestWithParam<std::pair<char const*, Runner>> {};

}  // namespace

TEST_P(FuzzReplay, RegressionCasesAndSeeds) {
  Quiet quiet;
  size_t n = 0;
  for (std::string dir : {"/tests/fuzz_regressions/", "/fuzz/corpus/"}) {
    std::error_code ec;
    std::vector<std::string> files;
    for (auto const& e : std::filesystem::directory_iterator(REDORDIST_SOURCE_DIR + dir + GetParam().first, ec))
      if (e.is_regular_file() && e.file_size() <= 256 * 1024) files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    for (auto const& f : files) EXPECT_EQ(GetParam().second(ts::read_file(f)), "") << f;
    n += files.size();
  }
  EXPECT_GE(n, 3u) << "too few inputs replayed: this test checks nothing";
}

INSTANTIATE_TEST_SUITE_P(Readers, FuzzReplay,
                         ::testing::Values(std::pair{"params", fuzzsupport::run_params}, std::pair{"data", fuzzsupport::run_data},
                                           std::pair{"prescribed", fuzzsupport::run_prescribed},
                                           std::pair{"curve", fuzzsupport::run_curve}, std::pair{"run", fuzzsupport::run_whole}),
                         [](auto const& info) { return std::string(info.param.first); });

// The properties catch faults: a refusal of two lines, without its newline
// or with another status is a finding; good inputs and a cleanly refused one
// (N_c 42 beyond LAST POINT 40) pass.
TEST(FuzzProperties, CatchFaultsAndPassGoodInputs) {
  Quiet quiet;
  EXPECT_EQ(fuzzsupport::check_refusal({"x line 2: bad\n", 1}), "");
  EXPECT_NE(fuzzsupport::check_refusal({"x line 2:\nbad\n", 1}), "");
  EXPECT_NE(fuzzsupport::check_refusal({"x line 2: bad", 1}), "");
  EXPECT_NE(fuzzsupport::check_refusal({"x\n", 134}), "");
  EXPECT_EQ(fuzzsupport::run_data("0 1 1 1 0.02\n42 1 0.5 0.5 0.02\n"), "");
  EXPECT_EQ(fuzzsupport::run_curve("0 1\n0.5 0.8\n1.0 0.4\n"), "");
  EXPECT_EQ(fuzzsupport::run_prescribed("3.0 0.2\n4.5 0.1\n"), "");
  EXPECT_EQ(fuzzsupport::run_params(ts::param_text()), "");
  EXPECT_TRUE(fuzzsupport::prints_non_number("skewness: -nan\n") && fuzzsupport::prints_non_number("sd inf"));
  EXPECT_FALSE(fuzzsupport::prints_non_number("infinite, nanometre, Infinity"));
}
