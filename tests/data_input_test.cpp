// The REDOR data reader, the simulation grid extent and the prescribed
// distance distribution reader, run on a blank model with small files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "model/paar.h"
#include "test_support.h"

using testsupport::read_file;
using testsupport::TempDir;
using testsupport::write_file;

namespace {

// fatal_exit writes its message on standard output; a death test matches
// standard error, so the child sends one into the other first.
#define EXPECT_REFUSED(stmt, re) EXPECT_EXIT({ dup2(2, 1); stmt; }, ::testing::ExitedWithCode(1), re)

std::vector<double> vec(gsl_vector const* v) { return std::vector<double>(v->data, v->data + v->size); }

class DataInput : public ::testing::Test {
 protected:
  TempDir td;
  Paar p{Paar::Blank{}};
  void SetUp() override {
    p.owner = true;  // frees what the readers allocate
    p.log.open(td.file("log"));
    p.xydata_file = td.file("data.dat");
    p.distdist_file = td.file("dd.dat");
  }
  // Reads the data (and a prescribed distribution, when given) as construction does.
  void load(std::string const& data, int last_point = 0, std::string const& dd = "") {
    write_file(p.xydata_file, data);
    if (!dd.empty()) write_file(p.distdist_file, dd);
    p.last_point = last_point;
    p.read_data();
    p.set_sim_grid();
    p.read_prescribed();
  }
  std::string log_text() {
    p.log.flush();
    return read_file(td.file("log"));
  }
};

const char* const kThreeLinesLog =
    "cycles:   0 So: 1.0000e+00 S: 1.0000e+00 S/So 1.0000e+00 err 2.0000e-02\n"
    "cycles:   2 So: 1.0000e+00 S: 9.0000e-01 S/So 9.0000e-01 err 2.0000e-02\n"
    "cycles:   4 So: 2.0000e+00 S: 1.6000e+00 S/So 8.0000e-01 err 3.0000e-02\n";

TEST_F(DataInput, CommentsAndBlankLinesAnywhereChangeNothing) {
  load("# N_c S0 S ratio err\n0 1.0 1.0 1.0 0.02\n\n# between\n   \t \n"
       "2 1.0 0.9 0.5 0.02\n4 2.0 1.6 0.8 0.03\n# after\n\n");
  ASSERT_EQ(p.n_data, 3);
  EXPECT_EQ(vec(p.cycles), (std::vector<double>{0, 2, 4}));
  EXPECT_EQ(vec(p.data_s0), (std::vector<double>{1.0, 1.0, 2.0}));
  EXPECT_EQ(vec(p.data_s), (std::vector<double>{1.0, 0.9, 1.6}));
  // S/S0 is recomputed (the 0.5 of the second line is ignored); 1.6/2 = 0.8 exactly.
  EXPECT_EQ(vec(p.data), (std::vector<double>{1.0, 0.9, 0.8}));
  EXPECT_EQ(vec(p.data_error), (std::vector<double>{0.02, 0.02, 0.03}));
  EXPECT_EQ(vec(p.lagrange), std::vector<double>(3, 0.0));
  EXPECT_EQ(p.n_cycles, 3);  // LAST POINT 0: 4 / 2 + 1
  EXPECT_EQ(log_text(), "Data from " + p.xydata_file + "\n" + kThreeLinesLog);
  EXPECT_EQ(p.n_adj, -1);  // no prescribed distribution file
  EXPECT_EQ(p.total_adjust_density, 0.0);
}

TEST_F(DataInput, LastLineWithoutNewlineIsRead) {
  load("0 1.0 1.0 1.0 0.02\n2 1.0 0.9 0.5 0.02\n4 2.0 1.6 0.8 0.03");
  ASSERT_EQ(p.n_data, 3);
  EXPECT_EQ(log_text(), "Data from " + p.xydata_file + "\n" + kThreeLinesLog);
}

TEST_F(DataInput, ErrorRuleAndOptionalColumns) {
  // err 0, 1e-13, 1.0, 5.0, -0.1, missing (with and without the ratio) all
  // mean "no usable error"; 0.5 and 1e-12 are kept.
  load("0 1 1 1 0\n0 1 1 1 1e-13\n0 1 1 1 1.0\n0 1 1 1 5.0\n0 1 1 1 -0.1\n"
       "0 1 1 1\n0 1 1\n0 1 1 1 0.5\n0 1 1 1 1e-12\n");
  EXPECT_EQ(vec(p.data_error), (std::vector<double>{1, 1, 1, 1, 1, 1, 1, 0.5, 1e-12}));
  std::string log = log_text();
  const std::string unit = "cycles:   0 So: 1.0000e+00 S: 1.0000e+00 S/So 1.0000e+00 ";
  EXPECT_NE(log.find(unit + "err 1.0000e+00\n" + unit + "err 5.0000e-01\n" + unit + "err 1.0000e-12\n"),
            std::string::npos);
}

TEST_F(DataInput, SimulationGridExtent) {
  // LAST POINT 0 takes the largest N_c of the data, here not on the last line.
  load("0 1 1 1 0.1\n32 1 0.6 1 0.1\n16 1 0.8 1 0.1\n");
  EXPECT_EQ(p.n_cycles, 17);
  EXPECT_EQ(vec(p.smooth_adjust), std::vector<double>(17, 0.0));
  EXPECT_EQ(vec(p.smooth_fit), std::vector<double>(17, 0.0));
  for (int lp : {16, 17}) {  // an odd LAST POINT loses its last cycle
    Paar q{Paar::Blank{}};
    q.owner = true;
    q.log.open(td.file("log2"));
    q.xydata_file = p.xydata_file;
    q.last_point = lp;
    write_file(q.xydata_file, "0 1 1 1 0.1\n4 1 0.9 1 0.1\n");
    q.read_data();
    q.set_sim_grid();
    EXPECT_EQ(q.n_cycles, 9) << "LAST POINT " << lp;
  }
}

TEST_F(DataInput, PrescribedDistribution) {
  load("0 1 1 1 0.1\n4 1 0.9 1 0.1\n", 0, "# r p\n3.0 0.2\n\n  \n# between\n4.5 0.1");  // no final newline
  ASSERT_EQ(p.n_adj, 2);
  EXPECT_EQ(vec(p.adj_distances), (std::vector<double>{3.0, 4.5}));
  EXPECT_EQ(vec(p.adj_density), (std::vector<double>{0.2, 0.1}));
  EXPECT_DOUBLE_EQ(p.total_adjust_density, 0.3);  // 0.2 + 0.1 is 0.30000000000000004
  ASSERT_NE(p.transform_adjust, nullptr);
  EXPECT_EQ(p.transform_adjust->size1, 3u);  // n_cycles x n_adj
  EXPECT_EQ(p.transform_adjust->size2, 2u);
  std::string log = log_text(), section =
      "\nPrescribed distance distribution (for simulation or forced into BME reconstruction\n"
      "3.0000e+00 2.0000e-01\n4.5000e+00 1.0000e-01\n";
  ASSERT_GE(log.size(), section.size());
  EXPECT_EQ(log.substr(log.size() - section.size()), section);
}

TEST_F(DataInput, PrescribedDistributionOfCommentsOnly) {
  load("0 1 1 1 0.1\n", 0, "# nothing here\n\n");
  EXPECT_EQ(p.n_adj, 0);
  EXPECT_EQ(p.total_adjust_density, 0.0);
  EXPECT_EQ(p.transform_adjust, nullptr);
  EXPECT_EQ(log_text().find("Prescribed"), std::string::npos);
}

// Each refusal names the file and the physical line (comments and blank
// lines counted) and says what is wrong.
TEST_F(DataInput, DataRefusals) {
  const std::string head = "# c\n\n0 1 1 1 0.1\n";  // the bad line is line 4
  struct Case { std::string line; int last_point; std::string re; } cases[] = {
      {"2 1.0\n", 0, "data\\.dat line 4: a data line needs at least N_c, S0 and S"},
      {"2.0 1 1 1 0.1\n", 0, "data\\.dat line 4: N_c \"2\\.0\" is not a whole number"},
      {"2 0 0.5 1 0.1\n", 0, "data\\.dat line 4: S0 is 0"},
      {"3 1 0.9 1 0.1\n", 0, "data\\.dat line 4: N_c 3 is odd"},
      {"-2 1 0.9 1 0.1\n", 0, "data\\.dat line 4: N_c -2 is negative"},
      {"6 1 0.9 1 0.1\n", 4, "data\\.dat line 4: N_c 6 lies beyond LAST POINT 4 \\(LAST POINT is "
                             "smaller than the data's largest cycle count\\)"},
      {"2 abc 0.9 1 0.1\n", 0, "data\\.dat line 4: S0 \"abc\" is not a number"},
      {"2 1 0.9 1 x\n", 0, "data\\.dat line 4: error \"x\" is not a number"},
  };
  for (auto const& c : cases) {
    write_file(p.xydata_file, head + c.line);
    p.last_point = c.last_point;
    EXPECT_REFUSED(p.read_data(), c.re) << c.line;
  }
  write_file(p.xydata_file, "# only comments\n   \n");
  EXPECT_REFUSED(p.read_data(), "data\\.dat: no data lines");
  p.xydata_file = td.file("missing.dat");
  EXPECT_REFUSED(p.read_data(), "^Can't open datafile\n$");
}

TEST_F(DataInput, PrescribedRefusals) {
  load("0 1 1 1 0.1\n");
  write_file(p.distdist_file, "3.0 0.5\n4.0\n");
  EXPECT_REFUSED(p.read_prescribed(), "dd\\.dat line 2: a prescribed-distribution line needs");
  write_file(p.distdist_file, "# c\n3.0 half\n");
  EXPECT_REFUSED(p.read_prescribed(), "dd\\.dat line 2: density \"half\" is not a finite number");
}

}  // namespace
