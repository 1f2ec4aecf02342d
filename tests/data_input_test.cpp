// The REDOR data reader, the simulation grid extent and the prescribed
// distance distribution reader, run on blank models with small files. (Their
// log sections are checked byte for byte in the construction tests.)
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "model/paar.h"
#include "test_support.h"

using testsupport::TempDir;
using testsupport::values;
using testsupport::write_file;

namespace {

using V = std::vector<double>;

class DataInput : public ::testing::Test {
 protected:
  TempDir td;
  std::vector<std::unique_ptr<Paar>> models;
  // A fresh blank model that reads the data (and a prescribed distribution,
  // when given) as construction does.
  Paar& load(std::string const& data, int last_point = 0, std::string const& dd = "") {
    models.push_back(std::make_unique<Paar>(Paar::Blank{}));
    Paar& p = *models.back();
    p.owner = true;  // frees what the readers allocate
    p.xydata_file = td.file("data.dat");
    p.distdist_file = td.file("dd.dat");
    write_file(p.xydata_file, data);
    if (dd.empty()) std::filesystem::remove(p.distdist_file);
    else write_file(p.distdist_file, dd);
    p.last_point = last_point;
    p.read_data();
    p.set_sim_grid();
    p.read_prescribed();
    return p;
  }
};
using DataInputDeathTest = DataInput;

TEST_F(DataInput, ColumnsCommentsBlankLinesAndErrorRule) {
  // The last data line has no newline.
  Paar& p = load("# N_c S0 S ratio err\n0 1.0 1.0 1.0 0.02\n\n# between\n   \t \n"
                 "2 1.0 0.9 0.5 0.02\n# after\n\n4 2.0 1.6 0.8 0.03");
  ASSERT_EQ(p.n_data, 3);
  // N_c, S0, S, S/S0, error and the zeroed multipliers. S/S0 is recomputed
  // (the 0.5 of the second line is ignored); 1.6/2 = 0.8 exactly.
  EXPECT_EQ((std::vector<V>{values(p.cycles), values(p.data_s0), values(p.data_s), values(p.data),
                            values(p.data_error), values(p.lagrange)}),
            (std::vector<V>{{0, 2, 4}, {1, 1, 2}, {1, 0.9, 1.6}, {1, 0.9, 0.8},
                            {0.02, 0.02, 0.03}, {0, 0, 0}}));
  EXPECT_EQ(p.n_adj, -1);  // no prescribed distribution file
  EXPECT_EQ(p.total_adjust_density, 0.0);

  // err 0, 1e-13, 1.0, 5.0, -0.1, missing (with and without the ratio) all
  // mean "no usable error"; 0.5 and 1e-12 are kept.
  Paar& e = load("0 1 1 1 0\n0 1 1 1 1e-13\n0 1 1 1 1.0\n0 1 1 1 5.0\n0 1 1 1 -0.1\n"
                 "0 1 1 1\n0 1 1\n0 1 1 1 0.5\n0 1 1 1 1e-12\n");
  EXPECT_EQ(values(e.data_error), (V{1, 1, 1, 1, 1, 1, 1, 0.5, 1e-12}));
}

TEST_F(DataInput, SimulationGridExtent) {
  const std::string two = "0 1 1 1 0.1\n4 1 0.9 1 0.1\n";
  struct { std::string data; int last_point, n_cycles; } cases[] = {
      // LAST POINT 0 takes the largest N_c of the data, here not on the last line.
      {"0 1 1 1 0.1\n32 1 0.6 1 0.1\n16 1 0.8 1 0.1\n", 0, 17},
      {two, 16, 9},
      {two, 17, 9}};  // an odd LAST POINT loses its last cycle
  for (auto const& c : cases) {
    Paar& p = load(c.data, c.last_point);
    EXPECT_EQ(p.n_cycles, c.n_cycles) << "LAST POINT " << c.last_point;
    EXPECT_EQ(values(p.smooth_adjust), V(c.n_cycles, 0.0));
    EXPECT_EQ(values(p.smooth_fit), V(c.n_cycles, 0.0));
  }
}

// (Prescribed distributions with entries are read in the construction tests.)
TEST_F(DataInput, PrescribedDistributionOfCommentsOnly) {
  Paar& p = load("0 1 1 1 0.1\n", 0, "# nothing here\n\n");
  EXPECT_EQ(p.n_adj, 0);
  EXPECT_EQ(p.total_adjust_density, 0.0);
  EXPECT_EQ(p.transform_adjust, nullptr);
}

// Each refusal names the file and the physical line (comments and blank
// lines counted) and says what is wrong; the messages are matched up to
// their distinctive part (a "." in them matches itself too). (Missing,
// unreadable, non-finite and negative values, and files without data, are
// refused in the end-to-end table of bad inputs.)
TEST_F(DataInputDeathTest, Refusals) {
  const std::string head = "# c\n\n0 1 1 1 0.1\n";  // a bad line after it is line 4
  struct { std::string data; int last_point; std::string message; } cases[] = {
      {head + "2.0 1 1 1 0.1\n", 0, "data.dat line 4: N_c \"2.0\" is not a whole number"},
      {head + "2 0 0.5 1 0.1\n", 0, "data.dat line 4: S0 is 0, so S/S0 cannot be formed"},
      {head + "3 1 0.9 1 0.1\n", 0, "data.dat line 4: N_c 3 is odd; REDOR points lie at"},
      {head + "6 1 0.9 1 0.1\n", 4, "data.dat line 4: N_c 6 lies beyond LAST POINT 4 "},
      {head + "2 1 0.9 1 x\n", 0, "data.dat line 4: error \"x\" is not a number\n"}};
  // The message goes to standard output; death tests match standard error.
  for (auto const& c : cases)
    EXPECT_EXIT({ dup2(2, 1); load(c.data, c.last_point); }, testing::ExitedWithCode(1),
                "/" + c.message);
}

}  // namespace
