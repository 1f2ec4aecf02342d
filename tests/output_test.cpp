// The result table (".me") and the gnuplot scripts (".gp", "-ps.gp"): layout,
// "?" blocks, column rules, the scripts of every mode against stored files,
// the gnuplot calls, the rendered figure, and outputs that cannot be written.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <map>
#include <sstream>
#include <vector>

#include "model/paar.h"
#include "output/plot_scripts.h"
#include "test_support.h"

namespace {

using namespace testsupport;
using Row = std::vector<std::string>;

gsl_vector* filled(size_t n, double first, double step) {
  gsl_vector* v = gsl_vector_alloc(n);
  for (size_t i = 0; i < n; i++) gsl_vector_set(v, i, first + step * i);
  return v;
}

// A hand-built fit state of the given lengths: grid 3.0, 3.5, ... Angstrom,
// data at 4, 8, ... cycles with multipliers alternating -0.5, +0.7, 0.
struct Table {
  Paar p{Paar::Blank{}};
  TempDir dir;
  Table(int grid, int data, int cycles, int adj) {
    p.owner = true;
    p.mode = "fit";
    p.n_grid = grid, p.n_data = data, p.n_cycles = cycles, p.n_adj = adj;
    p.scaling = 1.0;
    p.mas = 10000;
    p.dipolar_constant = 3063.0;
    p.path = dir.path() + "/";
    p.output_base = "t";
    p.distances = filled(grid, 3.0, 0.5);
    p.distribution = filled(grid, 0, 0);
    for (gsl_vector** v : {&p.mc_average, &p.mc_average_err, &p.mc_stdev, &p.mc_stdev_err})
      *v = filled(grid, 0, 0);
    p.transform_data = gsl_matrix_alloc(data, grid);
    p.transform_cycles = gsl_matrix_alloc(cycles, grid);
    for (int j = 0; j < grid; j++) {  // a signal that falls with cycles, less for longer distances
      for (int i = 0; i < data; i++)
        gsl_matrix_set(p.transform_data, i, j, 1.0 / (1 + 0.1 * (i + 1) / (j + 1)));
      for (int k = 0; k < cycles; k++)
        gsl_matrix_set(p.transform_cycles, k, j, 1.0 / (1 + 0.05 * k / (j + 1)));
    }
    p.cycles = filled(data, 4, 4);
    p.data_s0 = filled(data, 1000, 0);
    p.data_s = filled(data, 900, -50);
    p.data = filled(data, 0.9, -0.05);
    p.data_error = filled(data, 0.02, 0);
    p.fit_to_data = filled(data, 0, 0);
    p.fit_adjust = filled(data, 0, 0);
    p.residual = filled(data, 0, 0);
    p.lagrange = filled(data, 0, 0);
    for (int i = 0; i < data; i++)
      gsl_vector_set(p.lagrange, i, i % 3 == 0 ? -0.5 : i % 3 == 1 ? 0.7 : 0.0);
    p.smooth_fit = filled(cycles, 0, 0);
    p.smooth_adjust = filled(cycles, 0, 0);
    if (adj > 0) p.adj_distances = filled(adj, 3.2, 1.0), p.adj_density = filled(adj, 0.5, 0);
    p.alloc_scratch();
  }
  // The lines of the written table, header first.
  std::vector<std::string> lines() {
    EXPECT_EQ(p.write_out(), 1);
    std::istringstream in(read_file(dir.file("t.me")));
    std::vector<std::string> l;
    for (std::string s; std::getline(in, s);) l.push_back(s);
    return l;
  }
};

Row fields(std::string const& line) {
  std::istringstream f(line);
  return Row(std::istream_iterator<std::string>(f), std::istream_iterator<std::string>());
}

TEST(ResultTable, HeaderAndQuestionMarksForEveryLengthRelation) {
  // Titles right-aligned in 13 (11 for the first after "# ", 4 for N_c and 2_c).
  const std::string header =
      "#    distance dipolcoupling       density      integral     MCaverage MCaverage err"
      "       MCstdev   MCstdev err  N_c       data_S0        data_S     data_S/S0"
      "    data_error   fit_to_data    fit_adjust      residual Lagrange_mult data_if_La_H-"
      " data_if_La_H+  2_c    Smooth_fit Smooth_adjust adj distances   adj density";
  struct Shape {
    int grid, data, cycles, adj;
  } shapes[] = {
      {5, 2, 3, 0},  // grid longer than the simulation grid, no prescribed distribution
      {4, 7, 6, 2},  // simulation grid longer; the seventh data point has no row
  };
  for (Shape s : shapes) {
    SCOPED_TRACE(s.grid * 1000 + s.data * 100 + s.cycles * 10 + s.adj);
    Table t(s.grid, s.data, s.cycles, s.adj);
    std::vector<std::string> l = t.lines();
    ASSERT_EQ(l.size(), 1u + std::max(s.grid, s.cycles));
    EXPECT_EQ(l[0], header);
    for (size_t i = 0; i + 1 < l.size(); i++) {
      // 22 columns of 13, two of 4, one blank between: 317 characters.
      EXPECT_EQ(l[i + 1].size(), 317u) << l[i + 1];
      Row f = fields(l[i + 1]);
      ASSERT_EQ(f.size(), 24u);
      int lengths[24];
      for (int c = 0; c < 24; c++)
        lengths[c] = c < 8 ? s.grid : c < 19 ? s.data : c < 22 ? s.cycles : s.adj;
      for (int c = 0; c < 24; c++) {
        if (c == 17 || c == 18) continue;  // by the sign of the multiplier, below
        EXPECT_EQ(f[c] == "?", static_cast<int>(i) >= lengths[c])
            << "row " << i << " column " << c + 1;
      }
    }
  }
}

TEST(ResultTable, ErrorSignAndIntegralColumns) {
  Table t(6, 3, 4, 0);
  gsl_vector_set(t.p.data_error, 1, 1.0);        // replaced error
  gsl_vector_set(t.p.data_error, 2, 1.0000005);  // within 1e-6 of 1.0
  std::vector<std::string> l = t.lines();
  std::vector<Row> r;
  for (size_t i = 1; i < l.size(); i++) r.push_back(fields(l[i]));
  // Column 13; columns 18 and 19 for multipliers -0.5, +0.7 and 0.
  EXPECT_EQ(Row({r[0][12], r[1][12], r[2][12]}), Row({"0.02000000", "0.00000000", "0.00000000"}));
  EXPECT_EQ(Row({r[0][17], r[0][18]}), Row({"0.90000000", "?"}));
  EXPECT_EQ(Row({r[1][17], r[1][18]}), Row({"?", "0.85000000"}));
  EXPECT_EQ(Row({r[2][17], r[2][18]}), Row({"?", "?"}));
  // Column 2 is dipolar_constant / r^3; column 20 the cycle count 2i.
  EXPECT_EQ(r[1][1], "71.44023324");  // 3063 / 3.5^3
  EXPECT_EQ(r[3][19], "6");
  // Column 4 runs over column 3 and ends at 1. Each printed density is off
  // by at most 5e-9, so the running sum of the printed values may drift by
  // 5e-9 per row; the printed integral itself is off by another 5e-9.
  double sum = 0;
  for (size_t i = 0; i < r.size(); i++) {
    sum += std::stod(r[i][2]);
    EXPECT_NEAR(std::stod(r[i][3]), sum, 5e-9 * (i + 2));
  }
  EXPECT_NEAR(std::stod(r.back()[3]), 1.0, 5e-9);
}

TEST(PlotScripts, RightAxisReachesBelowZeroWhenEverythingIsPositive) {
  Table t(4, 2, 3, 0);
  for (int i = 0; i < 2; i++) gsl_vector_set(t.p.residual, i, 0.01);
  gsl_vector_set(t.p.distribution, 1, 0.5);
  bool recognized = false;
  std::string s = plot_script_text(t.p, recognized);
  // m = 0.01 - 0.0002 is below (0.5 + 0.002) / 10, which therefore sets V.
  EXPECT_NE(s.find("\nset y2range [-0.0502:0.502]\n"), std::string::npos) << s;
  EXPECT_TRUE(recognized);
}

// An end-to-end run with the data of the stored scripts: one error is
// missing (taken as 1.0) and one so large that S/S0 minus it is -0.2, which
// fixes the right-hand axis at V = 0.2002 whatever the annealing finds.
struct ScriptRun {
  TempDir dir;
  RunResult r;
  ScriptRun(std::map<std::string, std::string> const& over, bool stub = true,
            std::vector<std::string> const& env = {}, std::string const& blocked = "") {
    write_file(dir.file("data.dat"),
               "0 1000 1000 0 0.02\n4 1000 930 0 0.02\n8 1000 800 0 0\n"
               "12 1000 400 0 0.6\n16 1000 50 0 0\n");
    write_file(dir.file("sim.dat"),
               "0 1000 1000 0 0.01\n8 1000 900 0 0.01\n16 1000 700 0 0.01\n"
               "24 1000 500 0 0.01\n");
    write_file(dir.file("share.dat"), "3.0 0.2\n");
    write_file(dir.file("two.dat"), "3.5 0.5\n5.0 0.5\n");
    write_file(dir.file("p.par"), param_text(over));
    if (!blocked.empty()) std::filesystem::create_directories(dir.file("run/" + blocked));
    r = run_redordist(dir.path(), {"p.par"}, stub ? install_stub_gnuplot(dir.path()) : "", env);
  }
  std::string file(std::string const& name) const { return read_file(dir.file(name)); }
};

std::string golden(std::string const& name) {
  return read_file(REDORDIST_SOURCE_DIR "/tests/golden/" + name);
}

const std::map<std::string, std::map<std::string, std::string>> kModes = {
    {"fit", {{"MODE", "fit"}, {"DISTDIST", "share.dat"}, {"SCALING", "0.9"}, {"MAS", "10000"}}},
    {"err", {{"MODE", "err"}, {"SCALING", "0.8"}, {"MAS", "8000"}}},
    {"sim", {{"MODE", "sim"}, {"DISTDIST", "two.dat"}, {"XYDATA", "sim.dat"}, {"MAS", "5000"}}},
};

TEST(PlotScripts, BothScriptsOfEveryModeAndTheGnuplotCalls) {
  for (auto const& mode : kModes) {
    SCOPED_TRACE(mode.first);
    ScriptRun run(mode.second);
    ASSERT_EQ(run.r.status, 0) << run.r.out;
    EXPECT_EQ(run.file("run/run.gp"), golden("plot_" + mode.first + ".gp"));
    EXPECT_EQ(run.file("run/run-ps.gp"), golden("plot_" + mode.first + "-ps.gp"));
    // "err" never opens the screen window; its Monte Carlo (five blocks)
    // renders the figure once after block 5, the run's end once more.
    EXPECT_EQ(run.file("gnuplot-calls.txt"), mode.first == "err"
                                                 ? "./run/run-ps.gp\n./run/run-ps.gp\n"
                                                 : "-persist ./run/run.gp\n./run/run-ps.gp\n");
  }
}

TEST(PlotScripts, UnknownModeStillWritesBothScripts) {
  auto over = kModes.at("fit");
  over["MODE"] = "foo";
  ScriptRun run(over);
  EXPECT_EQ(run.r.status, 0);
  EXPECT_NE(run.r.out.find("mode not recognized on output\n"), std::string::npos) << run.r.out;
  std::string fit = golden("plot_fit.gp");
  size_t line20 = 0;
  for (int n = 0; n < 20; n++) line20 = fit.find('\n', line20) + 1;
  EXPECT_EQ(run.file("run/run.gp"), fit.substr(0, line20));  // no plot command
  EXPECT_EQ(run.file("run/run-ps.gp"), golden("plot_fit-ps.gp"));
  EXPECT_EQ(run.file("gnuplot-calls.txt"), "-persist ./run/run.gp\n./run/run-ps.gp\n");
}

TEST(PlotScripts, RealGnuplotRendersTheFigure) {
  if (std::system("command -v gnuplot >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "gnuplot is not installed";
  // The screen window goes to the text terminal, so no window opens.
  ScriptRun run(kModes.at("fit"), false, {"GNUTERM=dumb"});
  ASSERT_EQ(run.r.status, 0) << run.r.out << run.r.err;
  std::string eps = run.file("run/run-ps.eps");
  EXPECT_EQ(eps.rfind("%!PS-Adobe", 0), 0u) << eps.substr(0, 100);
  EXPECT_NE(eps.find("\n%%BoundingBox: "), std::string::npos);
}

TEST(PlotScripts, UnwritableOutputsFailTheRun) {
  // A directory where a result file must go cannot be replaced by it.
  for (auto const& c : std::map<std::string, std::string>{{"run.me", "write_out failed\n"},
                                                          {"run-ps.gp", "gnuplot_out failed\n"}}) {
    ScriptRun run({{"NTRIES", "0"}}, true, {}, c.first);
    EXPECT_EQ(run.r.status, 1) << c.first;
    EXPECT_NE(run.r.out.find(c.second), std::string::npos) << run.r.out;
    EXPECT_TRUE(exists(run.dir.file("run/run.gp")));  // the rest is still written
  }
}

}  // namespace
