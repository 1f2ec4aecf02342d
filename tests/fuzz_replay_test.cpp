// Replays the fuzzers' regression cases (tests/fuzz_regressions/<target>/)
// and seed corpora (fuzz/corpus/<target>/) through the same reader calls as
// the fuzz targets, in this process: a refusal must be one clean line, an
// accepted input must leave the model in the state the later stages rely on,
// and nothing may crash (the sanitizer build of the suite reports memory
// errors and leaks).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iostream>

#include "fuzz/fuzz_readers.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {

// Files per directory replayed at most, and their largest size: keeps the
// suite quick should a corpus grow.
const size_t kMaxFiles = 300;
const std::uintmax_t kMaxBytes = 256 * 1024;

class FuzzReplayChecks : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_handler_ = fatal_handler;
    fatal_handler = fuzzsupport::throw_refusal;
    saved_buf_ = std::cout.rdbuf(&null_buf_);
  }
  void TearDown() override {
    std::cout.rdbuf(saved_buf_);
    fatal_handler = saved_handler_;
  }

  // Replays the files of dir; returns how many were replayed.
  size_t replay_dir(std::string const& dir,
                    std::function<std::string(std::string const&)> const& run) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return 0;
    std::vector<std::string> files;
    for (auto const& e : fs::directory_iterator(dir, ec))
      if (e.is_regular_file() && e.file_size() <= kMaxBytes) files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    if (files.size() > kMaxFiles) files.resize(kMaxFiles);
    for (auto const& f : files) {
      std::string problem = run(testsupport::read_file(f));
      EXPECT_EQ(problem, "") << f;
    }
    return files.size();
  }

 private:
  FatalHandler saved_handler_ = nullptr;
  std::streambuf* saved_buf_ = nullptr;
  fuzzsupport::NullBuf null_buf_;
};

class FuzzReplay : public FuzzReplayChecks, public ::testing::WithParamInterface<std::string> {};

std::function<std::string(std::string const&)> runner(std::string const& target) {
  if (target == "params") return fuzzsupport::run_params;
  if (target == "data") return fuzzsupport::run_data;
  if (target == "prescribed") return fuzzsupport::run_prescribed;
  return fuzzsupport::run_curve;
}

}  // namespace

TEST_P(FuzzReplay, RegressionCasesAndSeeds) {
  std::string const target = GetParam();
  auto run = runner(target);
  std::string src = REDORDIST_SOURCE_DIR;
  size_t n = replay_dir(src + "/tests/fuzz_regressions/" + target, run);
  n += replay_dir(src + "/fuzz/corpus/" + target, run);
  // The seeds at least must be there, or this test checks nothing.
  EXPECT_GE(n, 3u) << "too few inputs replayed for " << target;
}

INSTANTIATE_TEST_SUITE_P(Readers, FuzzReplay,
                         ::testing::Values("params", "data", "prescribed", "curve"),
                         [](auto const& info) { return info.param; });

// The properties themselves: a clean refusal passes; a refusal of two lines,
// without its newline or with another status is a finding; good inputs and
// a cleanly refused one (N_c 42 beyond LAST POINT 40) pass.
TEST_F(FuzzReplayChecks, PropertiesCatchFaults) {
  EXPECT_EQ(fuzzsupport::check_refusal({"x line 2: bad\n", 1}), "");
  EXPECT_NE(fuzzsupport::check_refusal({"x line 2:\nbad\n", 1}), "");
  EXPECT_NE(fuzzsupport::check_refusal({"x line 2: bad", 1}), "");
  EXPECT_NE(fuzzsupport::check_refusal({"x\n", 134}), "");
  EXPECT_EQ(fuzzsupport::run_data("0 1 1 1 0.02\n42 1 0.5 0.5 0.02\n"), "");
  EXPECT_EQ(fuzzsupport::run_curve("0 1\n0.5 0.8\n1.0 0.4\n"), "");
  EXPECT_EQ(fuzzsupport::run_prescribed("3.0 0.2\n4.5 0.1\n"), "");
}
