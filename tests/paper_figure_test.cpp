// The paper figure script, run by the real gnuplot beside a small result
// table in each mode: no message, and both figures written.

#include "output/figure_info.h"
#include "output/paper_figure.h"
#include "tests/test_support.h"

namespace {

// 24 columns: grid (1-8), data (9-19), smooth curves (20-22), prescribed
// distances (23-24); "?" where a column has no value, as the program writes.
const char* const kTable = "# distance dipolcoupling density integral MCaverage MCaverage_err MCstdev MCstdev_err "
    "N_c data_S0 data_S data_S/S0 data_error fit_to_data fit_adjust residual Lagrange_mult "
    "data_if_La_H- data_if_La_H+ 2_c Smooth_fit Smooth_adjust adj_distances adj_density\n"
    "2.5 196.0 0.1 0.1 0.12 0.01 0.03 0.01  0 1000 1000 1.000 0.02 0.99 0 -0.01 0.1 ? 1.000  0 1.00 0 2.8 0.3\n"
    "3.0 113.4 0.5 0.6 0.48 0.01 0.05 0.01  8 1000  800 0.800 0.02 0.81 0 0.01 -0.2 0.800 ?  2 0.97 0 3.6 0.2\n"
    "3.5  71.4 0.3 0.9 0.31 0.01 0.04 0.01 16 1000  500 0.500 0    0.52 0 0.02 0.3 ? 0.500  4 0.90 0 ? ?\n"
    "4.0  47.8 0.1 1.0 0.09 0.01 0.02 0.01  ?    ?    ?     ?    ?    ?    ? ?    ? ? ?  6 0.81 0 ? ?\n"
    "   ?     ?   ?   ?    ?    ?    ?    ?  ?    ?    ?     ?    ?    ?    ? ?    ? ? ?  8 0.70 0 ? ?\n";

struct Case {
  const char* mode;
  bool prescribed;
  std::vector<std::string> labels;  // with a quote, which the script must escape
  const char* solver = "annealing";
  // Angstrom: the shading past the longest measurable distance (0: none) and
  // maxent's default-model taper; the highest density drawn, 1/Angstrom; in
  // sim the spacing of evenly spaced prescribed distances.
  double longest_measurable = 0.0, taper = 0.0, density_top = 0.0, step = 0.0;
  const char* expect = "";          // a line the script must hold
};

// A figure file written and not empty.
bool written(std::string const& name) { return std::filesystem::exists(name) && std::filesystem::file_size(name) > 0; }

}  // namespace

TEST(PaperFigure, GnuplotRendersEachModeWithoutAMessage) {
  if (std::system("command -v gnuplot >/dev/null 2>&1") != 0) GTEST_SKIP() << "no gnuplot";
  const Case cases[] = {{"fit", false, {}}, {"err", false, {}},
                        // The right axis reaches the largest prescribed fraction, 0.3; the key holds the fit,
                        // the prescribed share and two labels: 0.03 + 4 x 0.08 of the panel.
                        {"fit", true, {"1: r0 3.0 \xc3\x85, sd 0.2 \xc3\x85", "it's w 1.0"}, "annealing", 0.0, 0.0,
                         0.0, 0.0, "  room = 0.35    # share of the panel kept free for the legend\n  set yrange [0:dtop/(1-room)]"
                         "\n  set ylabel 'P(r) (1/\xc3\x85)'\n  set y2range [0:0.3/(1-room)]\n"},
                        {"err", false, {}, "gaussians", 2.7, 0.0, 0.7, 0.0, "  dtop = 0.7    "},
                        // Data and curve from 0.2 to 1.0 padded by 5 % (0.04) below and above,
                        // and one key row (0.11 of the panel) on top: 0.16 + 0.88 / 0.89.
                        {"fit", false, {}, "maxent", 9.0, 0.8, 0.6, 0.0, "set yrange [0.16:1.148764045]"},
                        {"sim", true, {}, "annealing", 0.0, 0.0, 0.0, 0.0, "  set y2label 'fraction of pairs'"},
                        // Fractions 0.3 and 0.2, 0.8 Angstrom apart: densities 0.375 and 0.25 per Angstrom, on a density axis.
                        {"sim", true, {}, "annealing", 0.0, 0.0, 0.0, 0.8, "  dtop = 0.375    # highest density drawn, 1/\xc3\x85\n  room = 0.11 "
                         "   # share of the panel kept free for the legend\n  set yrange [0:dtop/(1-room)]\n  set ylabel 'P(r) (1/\xc3\x85)'"}};
  for (Case const& c : cases) {
    ts::TempDir d;
    FigureInfo f{d.path() + "/", "run_1", c.mode, c.solver, 1.25, 5000, 0.5,
                 c.prescribed, 3, c.labels, c.prescribed ? 0.5 : 0.0, 1.0};
    f.longest_measurable = c.longest_measurable, f.taper = c.taper, f.density_top = c.density_top;
    f.prescribed_step = c.step, f.fraction_max = 0.3, f.curve_min = 0.2, f.curve_max = 1.0, f.residual_min = f.residual_max = 0.0;
    ts::write_file(d.file("run_1.me"), kTable), ts::write_file(paper_figure_path(f), paper_figure_script(f));
    int rc = std::system(("cd '" + d.path() + "' && gnuplot run_1-fig.gp >out.txt 2>err.txt").c_str());
    SCOPED_TRACE(std::string(c.mode) + " " + c.solver + (c.prescribed ? " with prescribed share" : ""));
    EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0);
    for (char const* name : {"err.txt", "out.txt"}) EXPECT_EQ(ts::read_file(d.file(name)), "") << name;
    std::string script = ts::read_file(paper_figure_path(f));
    // Residuals all 0 with no error bar: gnuplot finds no range, so the panel spans 0.01 either side.
    EXPECT_TRUE(script.find(c.expect) != std::string::npos && script.find("  set yrange [-0.01:0.01]\n") != std::string::npos) << script;
    // The annealing's spread is of Monte Carlo runs, the other solvers' of bootstrap replicates.
    std::string spread = std::string(c.solver) == "annealing" ? "'Monte Carlo mean'" : "'bootstrap mean'";
    EXPECT_EQ(script.find(spread) != std::string::npos, std::string(c.mode) == "err") << spread;
    EXPECT_EQ(script.find("default model''s taper") != std::string::npos, c.taper > 0);
    EXPECT_EQ(script.find("  taper = 0.4    #") != std::string::npos, c.taper == 0.8);  // half the taper, Angstrom
    EXPECT_EQ(script.find("no prescribed distribution"), std::string::npos);  // sim cases here have one
    for (std::string ext : {".pdf", ".png"}) EXPECT_TRUE(written(d.file("run_1" + ext))) << ext;
  }
}

// Whole runs with the real gnuplot where a figure has little to draw: each
// ends with status 0, and neither the figures the run renders nor the screen
// graph (rendered here with a cairo terminal) make gnuplot say anything.
TEST(PaperFigure, RunsWithLittleToDrawRenderEveryFigureSilently) {
  if (std::system("command -v gnuplot >/dev/null 2>&1") != 0) GTEST_SKIP() << "no gnuplot";
  struct Run { const char* what; const char* solver; ts::Over over; std::string data; };
  const Run runs[] = {{"sim without a prescribed distribution", "annealing", {{"MODE", "sim"}}, ts::kSmallData},
      {"sim with one prescribed distance", "annealing", {{"MODE", "sim"}, {"DISTDIST", "one.dat"}}, ts::kSmallData},
      {"every N_c 0", "annealing", {}, "0 1000 1000 1 0.02\n0 1000 990 0.99 0.02\n"},
      {"one point at N_c 0 without an error", "annealing", {}, "0 1000 1000 1\n"},
      {"one point", "annealing", {}, "16 1000 650 0.65 0.02\n"},
      {"Gaussian solver (no multipliers)", "gaussians", {{"PER 2PI", "0"}, {"FAR", "4.5"}}, ts::kCurveData}};
  for (Run const& c : runs) {
    SCOPED_TRACE(c.what);
    ts::Workspace w;
    ts::write_file(w.dir.file("data.dat"), c.data), ts::write_file(w.dir.file("one.dat"), "3.0 1.0\n");
    ts::write_file(w.dir.file("p.par"), ts::param_text(c.over));
    ts::RunResult r = w.run_args({"--solver", c.solver, "p.par"}, {"DISPLAY=", "WAYLAND_DISPLAY="}, false);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.find("gnuplot on"), std::string::npos) << r.out;
    for (std::string ext : {"-ps.eps", ".pdf", ".png"}) EXPECT_TRUE(written(w.dir.file("run/run" + ext))) << ext;
    EXPECT_EQ(w.file("run/run-fig.gp").find("with linespoints pt 6") != std::string::npos, std::string(c.what).find("N_c 0") != std::string::npos);  // one point marked
    std::string screen = "' && gnuplot -e \"set term pngcairo; set output '/dev/null'\" run/run.gp >screen.txt 2>&1";
    EXPECT_EQ(std::system(("cd '" + w.dir.path() + screen).c_str()), 0);
    EXPECT_EQ(w.file("screen.txt"), "");
  }
}

// What a run tells its figure, from planted results: the panel's top is the
// best P(r)'s peak per Angstrom (mass 0.2 in a 0.5 Angstrom cell: 0.4) or the
// band's top, but at most 1.5 times the peak; prescribed distances make a
// density only when evenly spaced.
TEST(PaperFigure, TopOfTheDistributionPanelAndEvenPrescribedSpacing) {
  // (0: a band still all zero, as before the first Monte Carlo block: the peak alone)
  struct { double band_top_mass; double want; } cases[] = {{0.25, 0.5}, {0.9, 0.6}, {0.1, 0.4}, {0.0, 0.4}};
  for (auto const& c : cases) {
    ts::Model m(ts::Over{{"MODE", "err"}});
    McEstimate& e = m->results.mc;
    gsl_vector_set(m->distribution, 2, 0.2);
    if (c.band_top_mass > 0) e.average = GslVec(m->setup->n_grid), e.stdev = GslVec(m->setup->n_grid);
    if (c.band_top_mass > 0) gsl_vector_set(e.average, 3, c.band_top_mass - 0.05), gsl_vector_set(e.stdev, 3, 0.05);
    EXPECT_NEAR(figure_info(*m).density_top, c.want, 1e-12) << c.band_top_mass;
  }
  // The residual panel spans data - fit +- error: kSmallData's S/S0 (1, 0.96,
  // 0.87, 0.76, 0.65, errors 0.02) against a fit of 0.96 but 0.68 at the end,
  // whose error within 1e-6 of 1 is no error given: drawn without a bar. The curve panel spans the data
  // with their errors and the smooth curve, here 0.5 but 1.1 at its first point (N_c 0).
  ts::Model m;
  gsl_vector_set_all(m->fit_to_data, 0.96), gsl_vector_set(m->fit_to_data, 4, 0.68), gsl_vector_set_all(m->smooth_fit, 0.5);
  gsl_vector_set(m->setup->data_error, 4, 1.0000005), gsl_vector_set(m->smooth_fit, 0, 1.1);
  FigureInfo f = figure_info(*m);
  for (auto [got, want] : {std::pair{f.residual_min, 0.76 - 0.96 - 0.02}, {f.residual_max, 1.0 - 0.96 + 0.02}, {f.curve_min, 0.5}, {f.curve_max, 1.1}})
    EXPECT_NEAR(got, want, 1e-12) << want;
  // 20 % prescribed at 3.0 Angstrom: the panel shows the whole population,
  // data - (0.8 x the fitted share's curve + SCALING 1 x the prescribed part).
  ts::Model q({}, ts::kSmallData, "3.0 0.2\n");
  gsl_vector_set_all(q->fit_to_data, 0.96);
  const double data[] = {1.0, 0.96, 0.87, 0.76, 0.65};
  double lo = 0.0, hi = 0.0;
  for (int i = 0; i < 5; i++) {
    double r = data[i] - 0.8 * 0.96 - gsl_vector_get(q->setup->fit_adjust, i);
    lo = std::min(lo, r - 0.02), hi = std::max(hi, r + 0.02);
  }
  f = figure_info(*q);
  EXPECT_NEAR(f.residual_min, lo, 1e-12);
  EXPECT_NEAR(f.residual_max, hi, 1e-12);
  // The fitted share's peak (0.4 per Angstrom of it) is 0.8 x 0.4 of the whole population.
  gsl_vector_set(q->distribution, 2, 0.2);
  EXPECT_NEAR(figure_info(*q).density_top, 0.8 * 0.4, 1e-12);
  struct { const char* dist; double step; } sims[] = {
      {"3.0 0.2\n3.2 0.3\n3.4 0.5\n", 0.2}, {"3.0 0.2\n3.2 0.3\n3.5 0.5\n", 0.0}, {"3.0 0.5\n3.2 0.5\n", 0.0},
      {"3.0 0.2\n3.2 0.3\n3.4000002 0.5\n", 0.2000001}};  // even to 5e-7 of the step: within the 1e-6 allowed
  for (auto const& c : sims) {
    ts::Model m(ts::Over{{"MODE", "sim"}}, ts::kSmallData, c.dist);
    EXPECT_NEAR(figure_info(*m).prescribed_step, c.step, 1e-12) << c.dist;
  }
}

