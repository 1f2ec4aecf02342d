// The written results: the result table (".me": layout, "?" blocks, column
// rules), the matrix dumps (".mx", ".mxT"), the gnuplot scripts of every mode
// against stored files and the gnuplot calls.

#include "output/result_table.h"
#include "output/tidy_tables.h"
#include "tests/test_support.h"

using namespace ts;

TEST(ResultTable, HeaderQuestionMarksAndColumnRules) {
  // A grid longer than the simulation grid without a prescribed distribution,
  // and a shorter one with two prescribed distances.
  std::pair<Over, std::string> shapes[] = {{{{"GRAIN", "0.25"}}, ""}, {{{"LAST POINT", "40"}}, "3.2 0.5\n4.2 0.4\n"}};
  for (auto const& [over, dist] : shapes) {
    Model m(over, "0 1000 1000 1 0.02\n4 1000 960 1 0\n8 1000 870 1 0.02\n12 1000 760 1 0.02\n16 1000 650 1 0.02\n", dist);
    Paar& p = *m;
    int rows_of[4] = {p.setup->n_grid, p.setup->n_data, p.setup->n_cycles, std::max(p.setup->n_adj, 0)};
    SCOPED_TRACE(std::to_string(p.setup->n_grid) + " distances, " + std::to_string(p.setup->n_cycles) + " cycles");
    // Multipliers -0.5, +0.7, 0, ...; the third error within 1e-6 of 1.0.
    for (int i = 0; i < p.setup->n_data; i++) gsl_vector_set(p.lagrange, i, (i % 3 == 0) * -0.5 + (i % 3 == 1) * 0.7);
    gsl_vector_set(p.setup->data_error, 2, 1.0000005), std::filesystem::create_directory(p.setup->path);
    ASSERT_EQ(refusal_of([&] { EXPECT_EQ(write_out(p), 1); }), "");
    std::vector<std::string> l = lines_of(read_file(p.stem() + ".me"));
    ASSERT_EQ(l.size(), 1u + std::max(p.setup->n_grid, p.setup->n_cycles));
    // (the header: tests/golden/whole_runs/maxent_fit/run/run.me)
    std::vector<Row> r;
    for (size_t i = 1; i < l.size(); i++) {
      EXPECT_EQ(l[i].size(), 317u) << l[i];  // 22 columns of 13, two of 4, one blank between
      r.push_back(table_rows(l[i])[0]);
      ASSERT_EQ(r.back().size(), 24u);
      for (int c = 0; c < 24; c++) {  // columns 18, 19 go by the multiplier's sign, below
        if (c == 17 || c == 18) continue;
        EXPECT_EQ(r.back()[c] == "?", int(i) > rows_of[c < 8 ? 0 : c < 19 ? 1 : c < 22 ? 2 : 3]) << i << " " << c + 1;
      }
    }
    // Column 13: a replaced error shows as 0. Columns 18 and 19: the data
    // where the multiplier is negative, positive, neither.
    EXPECT_EQ(Row({r[0][12], r[1][12], r[2][12]}), Row({"0.02000000", "0.00000000", "0.00000000"}));
    EXPECT_EQ(Row({r[0][17], r[0][18], r[1][17], r[1][18], r[2][17], r[2][18]}),
              Row({"1.00000000", "?", "?", "0.96000000", "?", "?"}));
    EXPECT_EQ(r[3][19], "6");  // column 20: the cycle count 2j
    // Column 2 is the coupling, column 4 the running sum of column 3 ending
    // at 1: each printed value is off by up to 5e-9, so the sum of printed
    // densities drifts by up to 5e-9 per row.
    double sum = 0;
    for (int i = 0; i < p.setup->n_grid; i++) {
      EXPECT_NEAR(std::stod(r[i][1]), gsl_vector_get(p.setup->dipolar_couplings, i), 5e-9);
      sum += std::stod(r[i][2]);
      EXPECT_NEAR(std::stod(r[i][3]), sum, 5e-9 * (i + 2));
    }
    EXPECT_NEAR(std::stod(r[p.setup->n_grid - 1][3]), 1.0, 5e-9);
  }
}

// The tidy tables from planted results, mode err with a prescribed share
// 0.2: densities and band per Angstrom (cells of 0.5 Angstrom), the 95 %
// band's ends as planted, the fit of the whole population 0.8 fit + SCALING
// times the prescribed curve, a point without an error written with 0.
TEST(Tables, RowsFromPlantedResults) {
  Model m({{"MODE", "err"}, {"SCALING", "0.9"}}, "0 1000 1000 1.0 0.02\n8 1000 870 0.87\n16 1000 700 0.7 1.5\n", "3.0 0.2\n");
  RunSetup const& s = *m->setup;
  McEstimate& e = m->results.mc;
  e.average = GslVec(s.n_grid), e.stdev = GslVec(s.n_grid);
  for (int j = 0; j < s.n_grid; j++) {
    gsl_vector_set(m->distribution, j, 0.01 * j), gsl_vector_set(e.average, j, 0.02 * j);
    gsl_vector_set(e.stdev, j, 0.001 * j), e.band_p025.push_back(0.015 * j), e.band_p975.push_back(0.025 * j);
  }
  gsl_vector_set(m->fit_to_data, 0, 0.99), gsl_vector_set(m->fit_to_data, 1, 0.8), gsl_vector_set(m->fit_to_data, 2, 0.6);
  m->chi2 = 1.0, m->scaling = 0.9;
  std::vector<TidyTable> t = tidy_tables(*m);
  ASSERT_EQ(t.size(), 3u);
  ASSERT_EQ(t[0].rows.size(), static_cast<size_t>(s.n_grid));
  for (int j = 0; j < s.n_grid; j++) {
    std::vector<double> want = {2.5 + 0.5 * j, 0.02 * j, 0.04 * j, 0.002 * j, 0.03 * j, 0.05 * j};
    for (size_t c = 0; c < want.size(); c++) EXPECT_NEAR(t[0].rows[j][c], want[c], 1e-12) << j << " " << c;
  }
  ASSERT_EQ(t[1].rows.size(), 3u);
  for (int i = 0; i < 3; i++) {
    double fit = 0.8 * gsl_vector_get(m->fit_to_data, i) + 0.9 * gsl_vector_get(s.fit_adjust, i);
    EXPECT_NEAR(t[1].rows[i][4], fit, 1e-9);
    EXPECT_NEAR(t[1].rows[i][5], (V{1.0, 0.87, 0.7}[i]) - fit, 1e-9);
    EXPECT_EQ(t[1].rows[i][3], i ? 0.0 : 0.02);  // none given, or 1 or more: no weight, written 0
  }
  Model two(Over{{"NEAR", "3"}, {"FAR", "3.375"}, {"GRAIN", "0.5"}});  // the Gaussians' two cells, cut at NEAR and FAR
  two->results.solver = "gaussians";
  EXPECT_EQ(cell_widths(*two), (std::vector<double>{0.25, 0.125}));
}

// The stored scripts come from runs on these data: one error missing (taken
// as 1.0) and one so large that S/S0 minus it is -0.2, which fixes the
// right-hand axis at V = 0.2002 whatever the annealing finds.
TEST(PlotScripts, BothScriptsOfEveryModeAndTheGnuplotCalls) {
  const std::map<std::string, Over> modes = {
      {"fit", {{"MODE", "fit"}, {"DISTDIST", "share.dat"}, {"SCALING", "0.9"}, {"MAS", "10000"}}},
      // A DISTDIST of comments only prescribes nothing: the same scripts, and no table in the log.
      {"err", {{"MODE", "err"}, {"SCALING", "0.8"}, {"MAS", "8000"}, {"DISTDIST", "empty.dat"}}}};  // sim: tests/golden/whole_runs/sim
  for (auto const& [mode, over] : modes) {
    SCOPED_TRACE(mode);
    Workspace w("", "0 1000 1000 0 0.02\n4 1000 930 0 0.02\n8 1000 800 0 0\n12 1000 400 0 0.6\n16 1000 50 0 0\n");
    write_file(w.dir.file("share.dat"), "3.0 0.2\n"), write_file(w.dir.file("empty.dat"), "# no distances\n");
    RunResult r = w.run(over); ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(w.out(".log").find("Prescribed distance") == std::string::npos, mode == "err");
    // The point whose error is missing (taken as 1.0) has no bar: its +-1 stretches no axis of the figure.
    std::string fig = w.out("-fig.gp"); std::smatch y;
    EXPECT_TRUE(std::regex_search(fig, y, std::regex(R"(set yrange \[\S+:(\S+)\])")) && std::stod(y[1]) < 1.5) << fig;
    std::string dir = REDORDIST_SOURCE_DIR "/tests/golden/plot_" + mode;
    for (std::string ext : {".gp", "-ps.gp"}) EXPECT_EQ(w.out(ext), read_file(dir + ext)) << ext;
    // The screen window opens only with a display, never in "err", whose
    // Monte Carlo (five blocks) renders the figures after block 5 and at the
    // run's end; the figure for papers is rendered in the run directory.
    std::string figures = "./run/run-ps.gp\nrun-fig.gp\n";
    EXPECT_EQ(w.file("gnuplot-calls.txt"), mode == "err" ? figures + figures : figures);
    w.run(over, {"DISPLAY=:0"});
    EXPECT_EQ(w.file("gnuplot-calls.txt").find("-persist ./run/run.gp") != std::string::npos, mode != "err");
  }
  // Residuals all alike (one point: the fit's 1 at N_c 0 less 0.98) get 1 % around theirs, 2 x 100; with no N_c
  // the time axis spans 8 rotor cycles (1.6 ms at 5 kHz), a curve to N_c 2 (LAST POINT) scales it.
  Workspace one("", "0 1000 980 0.98 0.02\n");
  EXPECT_TRUE(one.run({{"PER 2PI", "0"}}).status == 0 && one.out("-ps.gp").find("set yrange [1:3]\n") != std::string::npos) << one.out("-ps.gp");
  EXPECT_NE(one.out(".gp").find("set x2range [0:1.6]\n"), std::string::npos);
  EXPECT_TRUE(one.run({{"PER 2PI", "0"}, {"LAST POINT", "2"}}).status == 0 && one.out(".gp").find("set x2range [0:*]\n") != std::string::npos);
  // An error within 1e-6 of 1 is the placeholder of no error given: the same scripts as without an error column.
  std::string bare = (write_file(one.dir.file("data.dat"), "0 1000 980 0.98\n"), one.run({{"PER 2PI", "0"}}), one.out(".gp"));
  EXPECT_EQ((write_file(one.dir.file("data.dat"), "0 1000 980 0.98 0.9999995\n"), one.run({{"PER 2PI", "0"}}), one.out(".gp")), bare);
  // A simulation of a DISTDIST of comments only has no prescribed density to draw (its table has no such columns), and is warned.
  write_file(one.dir.file("empty.dat"), "# no distances\n");
  RunResult sim = one.run({{"MODE", "sim"}, {"DISTDIST", "empty.dat"}});
  EXPECT_TRUE(sim.status == 0 && one.out(".gp").find("u 23:24") == std::string::npos && sim.out.find("warning: MODE is sim but DISTDIST "
              "empty.dat prescribes no distance with a fraction above 0; give DISTDIST") != std::string::npos) << sim.out;
}
