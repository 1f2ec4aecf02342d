// The result table (".me") and the gnuplot scripts (".gp", "-ps.gp"): layout,
// "?" blocks, column rules, the scripts of every mode against stored files,
// the gnuplot calls and the rendered figure.
#include <gtest/gtest.h>

#include "model/paar.h"
#include "test_support.h"

namespace {

using namespace testsupport;
using Row = std::vector<std::string>;
using Params = std::map<std::string, std::string>;

gsl_vector* filled(size_t n, double first, double step = 0) {
  gsl_vector* v = gsl_vector_alloc(n);
  for (size_t i = 0; i < n; i++) gsl_vector_set(v, i, first + step * i);
  return v;
}

TEST(ResultTable, HeaderQuestionMarksAndColumnRules) {
  // Titles right-aligned in 13 (11 for the first after "# ", 4 for N_c and 2_c).
  const std::string header =
      "#    distance dipolcoupling       density      integral     MCaverage MCaverage err"
      "       MCstdev   MCstdev err  N_c       data_S0        data_S     data_S/S0"
      "    data_error   fit_to_data    fit_adjust      residual Lagrange_mult data_if_La_H-"
      " data_if_La_H+  2_c    Smooth_fit Smooth_adjust adj distances   adj density";
  struct {
    int grid, data, cycles, adj;
  } shapes[] = {
      {6, 3, 4, 0},  // grid longer than the simulation grid, no prescribed distribution
      {4, 7, 6, 2},  // simulation grid longer; the seventh data point has no row
  };
  for (auto s : shapes) {
    SCOPED_TRACE(s.grid * 1000 + s.data * 100 + s.cycles * 10 + s.adj);
    // A hand-built fit state of these lengths: grid 3.0, 3.5, ... Angstrom,
    // data at 4, 8, ... cycles with multipliers alternating -0.5, +0.7, 0,
    // the second error replaced (1.0) and the third within 1e-6 of that.
    TempDir dir;
    Paar p{Paar::Blank{}};
    p.owner = true;
    p.mode = "fit", p.path = dir.path() + "/", p.output_base = "t";
    p.n_grid = s.grid, p.n_data = s.data, p.n_cycles = s.cycles, p.n_adj = s.adj;
    p.scaling = 1.0, p.mas = 10000, p.dipolar_constant = 3063.0;
    p.distances = filled(s.grid, 3.0, 0.5);
    for (gsl_vector** v :
         {&p.distribution, &p.mc_average, &p.mc_average_err, &p.mc_stdev, &p.mc_stdev_err})
      *v = filled(s.grid, 0);
    for (gsl_vector** v : {&p.fit_to_data, &p.fit_adjust, &p.residual, &p.lagrange})
      *v = filled(s.data, 0);
    p.smooth_fit = filled(s.cycles, 0), p.smooth_adjust = filled(s.cycles, 0);
    p.transform_data = gsl_matrix_alloc(s.data, s.grid);
    p.transform_cycles = gsl_matrix_alloc(s.cycles, s.grid);
    // Signals (row i, distance j) that fall with cycles, less for longer distances.
    for (gsl_matrix* k : {p.transform_data, p.transform_cycles})
      for (size_t i = 0; i < k->size1 * k->size2; i++)
        k->data[i] = 1.0 / (1 + 0.1 * (i / k->size2 + 1) / (i % k->size2 + 1));
    p.cycles = filled(s.data, 4, 4), p.data_s0 = filled(s.data, 1000);
    p.data_s = filled(s.data, 900, -50), p.data = filled(s.data, 0.9, -0.05);
    p.data_error = filled(s.data, 0.02);
    gsl_vector_set(p.data_error, 1, 1.0);
    gsl_vector_set(p.data_error, 2, 1.0000005);
    for (int i = 0; i < s.data; i++)
      gsl_vector_set(p.lagrange, i, (i % 3 == 0) * -0.5 + (i % 3 == 1) * 0.7);
    if (s.adj > 0) p.adj_distances = filled(s.adj, 3.2, 1.0), p.adj_density = filled(s.adj, 0.5);
    p.alloc_scratch();
    ASSERT_EQ(p.write_out(), 1);
    std::vector<std::string> l = lines_of(read_file(dir.file("t.me")));
    ASSERT_EQ(l.size(), 1u + std::max(s.grid, s.cycles));
    EXPECT_EQ(l[0], header);
    std::vector<Row> r;
    for (size_t i = 1; i < l.size(); i++) {
      // 22 columns of 13, two of 4, one blank between: 317 characters.
      EXPECT_EQ(l[i].size(), 317u) << l[i];
      r.push_back(words(l[i]));
      ASSERT_EQ(r.back().size(), 24u);
      for (int c = 0; c < 24; c++) {
        if (c == 17 || c == 18) continue;  // by the sign of the multiplier, below
        int length = c < 8 ? s.grid : c < 19 ? s.data : c < 22 ? s.cycles : s.adj;
        EXPECT_EQ(r.back()[c] == "?", static_cast<int>(i) > length)
            << "row " << i << " col " << c + 1;
      }
    }
    // Column 13; columns 18 and 19 for multipliers -0.5, +0.7 and 0.
    EXPECT_EQ(Row({r[0][12], r[1][12], r[2][12]}), Row({"0.02000000", "0.00000000", "0.00000000"}));
    EXPECT_EQ(Row({r[0][17], r[0][18], r[1][17], r[1][18], r[2][17], r[2][18]}),
              Row({"0.90000000", "?", "?", "0.85000000", "?", "?"}));
    // Column 2 is dipolar_constant / r^3; column 20 the cycle count 2i.
    EXPECT_EQ(r[1][1], "71.44023324");  // 3063 / 3.5^3
    EXPECT_EQ(r[3][19], "6");
    // Column 4 runs over column 3 and ends at 1. Each printed density is off
    // by at most 5e-9, so the running sum of the printed values may drift by
    // 5e-9 per row; the printed integral itself is off by another 5e-9.
    double sum = 0;
    for (int i = 0; i < s.grid; i++) {
      sum += std::stod(r[i][2]);
      EXPECT_NEAR(std::stod(r[i][3]), sum, 5e-9 * (i + 2));
    }
    EXPECT_NEAR(std::stod(r[s.grid - 1][3]), 1.0, 5e-9);
  }
}

// An end-to-end run with the data of the stored scripts: one error is
// missing (taken as 1.0) and one so large that S/S0 minus it is -0.2, which
// fixes the right-hand axis at V = 0.2002 whatever the annealing finds.
struct ScriptRun : Workspace {
  RunResult r;
  ScriptRun(Params const& over, bool stub = true, std::vector<std::string> const& env = {}) {
    write_file(dir.file("data.dat"),
               "0 1000 1000 0 0.02\n4 1000 930 0 0.02\n8 1000 800 0 0\n"
               "12 1000 400 0 0.6\n16 1000 50 0 0\n");
    write_file(dir.file("sim.dat"),
               "0 1000 1000 0 0.01\n8 1000 900 0 0.01\n16 1000 700 0 0.01\n"
               "24 1000 500 0 0.01\n");
    write_file(dir.file("share.dat"), "3.0 0.2\n");
    write_file(dir.file("two.dat"), "3.5 0.5\n5.0 0.5\n");
    write_file(dir.file("p.par"), param_text(over));
    r = run_redordist(dir.path(), {"p.par"}, stub ? bin : "", env);
  }
};

std::string golden(std::string const& name) {
  return read_file(REDORDIST_SOURCE_DIR "/tests/golden/" + name);
}

const Params kFit = {
    {"MODE", "fit"}, {"DISTDIST", "share.dat"}, {"SCALING", "0.9"}, {"MAS", "10000"}};

TEST(PlotScripts, BothScriptsOfEveryModeAndTheGnuplotCalls) {
  Params unknown = kFit;
  unknown["MODE"] = "foo";
  const std::map<std::string, Params> modes = {
      {"fit", kFit},
      {"err", {{"MODE", "err"}, {"SCALING", "0.8"}, {"MAS", "8000"}}},
      {"sim", {{"MODE", "sim"}, {"DISTDIST", "two.dat"}, {"XYDATA", "sim.dat"}, {"MAS", "5000"}}},
      {"foo", unknown}};
  for (auto const& mode : modes) {
    SCOPED_TRACE(mode.first);
    ScriptRun run(mode.second);
    ASSERT_EQ(run.r.status, 0) << run.r.out;
    // An unknown mode is reported and gets the fit scripts without the plot
    // command.
    bool known = mode.first != "foo";
    std::string name = known ? mode.first : "fit", gp = golden("plot_" + name + ".gp");
    EXPECT_EQ(run.r.out.find("mode not recognized on output\n") == std::string::npos, known);
    EXPECT_EQ(run.file("run/run.gp"), known ? gp : gp.substr(0, gp.find("\nplot ") + 1));
    EXPECT_EQ(run.file("run/run-ps.gp"), golden("plot_" + name + "-ps.gp"));
    // "err" never opens the screen window; its Monte Carlo (five blocks)
    // renders the figure once after block 5, the run's end once more.
    EXPECT_EQ(run.file("gnuplot-calls.txt"), name == "err"
                                                 ? "./run/run-ps.gp\n./run/run-ps.gp\n"
                                                 : "-persist ./run/run.gp\n./run/run-ps.gp\n");
  }
}

TEST(PlotScripts, RealGnuplotRendersTheFigure) {
  if (std::system("command -v gnuplot >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "gnuplot is not installed";
  // The screen window goes to the text terminal, so no window opens.
  ScriptRun run(kFit, false, {"GNUTERM=dumb"});
  ASSERT_EQ(run.r.status, 0) << run.r.out << run.r.err;
  std::string eps = run.file("run/run-ps.eps");
  EXPECT_EQ(eps.rfind("%!PS-Adobe", 0), 0u) << eps.substr(0, 100);
  EXPECT_NE(eps.find("\n%%BoundingBox: "), std::string::npos);
}

}  // namespace
