// The paper figure script, run by the real gnuplot beside a small result
// table in each mode: no message, and both figures written.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

#include "output/paper_figure.h"
#include "tests/test_support.h"

namespace {

// 24 columns: grid (1-8), data (9-19), smooth curves (20-22), prescribed
// distances (23-24); "?" where a column has no value, as the program writes.
const char* const kTable =
    "# distance dipolcoupling density integral MCaverage MCaverage_err MCstdev MCstdev_err "
    "N_c data_S0 data_S data_S/S0 data_error fit_to_data fit_adjust residual Lagrange_mult "
    "data_if_La_H- data_if_La_H+ 2_c Smooth_fit Smooth_adjust adj_distances adj_density\n"
    "2.5 196.0 0.1 0.1 0.12 0.01 0.03 0.01  0 1000 1000 1.000 0.02 0.99 0 -0.01 0.1 ? 1.000"
    "  0 1.00 0 2.8 0.3\n"
    "3.0 113.4 0.5 0.6 0.48 0.01 0.05 0.01  8 1000  800 0.800 0.02 0.81 0 0.01 -0.2 0.800 ?"
    "  2 0.97 0 3.6 0.2\n"
    "3.5  71.4 0.3 0.9 0.31 0.01 0.04 0.01 16 1000  500 0.500 0    0.52 0 0.02 0.3 ? 0.500"
    "  4 0.90 0 ? ?\n"
    "4.0  47.8 0.1 1.0 0.09 0.01 0.02 0.01  ?    ?    ?     ?    ?    ?    ? ?    ? ? ?"
    "  6 0.81 0 ? ?\n"
    "   ?     ?   ?   ?    ?    ?    ?    ?  ?    ?    ?     ?    ?    ?    ? ?    ? ? ?"
    "  8 0.70 0 ? ?\n";

struct Case {
  const char* mode;
  bool prescribed;
  std::vector<std::string> labels;  // with a quote, which the script must escape
};

}  // namespace

TEST(PaperFigure, GnuplotRendersEachModeWithoutAMessage) {
  if (std::system("command -v gnuplot >/dev/null 2>&1") != 0) GTEST_SKIP() << "no gnuplot";
  const Case cases[] = {{"fit", false, {}},
                        {"fit", true, {"1: r0 3.0 \xc3\x85, sd 0.2 \xc3\x85", "it's w 1.0"}},
                        {"err", false, {}},
                        {"sim", true, {}}};
  for (Case const& c : cases) {
    ts::TempDir d;
    FigureInfo f{d.path() + "/", "run_1", c.mode, "annealing", 1.25, 5000, 0.5,
                 c.prescribed, 3, c.labels, c.prescribed ? 0.5 : 0.0, 1.0};
    ts::write_file(d.file("run_1.me"), kTable);
    ts::write_file(paper_figure_path(f), paper_figure_script(f));
    std::string cmd = "cd '" + d.path() + "' && gnuplot run_1-fig.gp >out.txt 2>err.txt";
    int rc = std::system(cmd.c_str());
    SCOPED_TRACE(std::string(c.mode) + (c.prescribed ? " with prescribed share" : ""));
    EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0);
    EXPECT_EQ(ts::read_file(d.file("err.txt")), "");
    EXPECT_EQ(ts::read_file(d.file("out.txt")), "");
    for (char const* ext : {".pdf", ".png"}) {
      std::string name = d.file(std::string("run_1") + ext);
      EXPECT_TRUE(std::filesystem::exists(name) && std::filesystem::file_size(name) > 0) << ext;
    }
  }
}
