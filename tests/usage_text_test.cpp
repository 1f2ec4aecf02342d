// The --help and --template texts: the template reads without a warning to
// the intended values, and the help names every option.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "driver/usage_text.h"
#include "model/paar.h"
#include "tests/test_support.h"

using testsupport::values;
using V = std::vector<double>;

static std::string text_of(void (*print)(std::ostream&)) {
  std::ostringstream s;
  print(s);
  return s.str();
}

TEST(UsageText, TemplateReadsWithoutWarningToItsValues) {
  std::string t = text_of(print_template);
  ASSERT_EQ(testsupport::lines_of(t).size(), 33u);
  for (auto const& l : testsupport::lines_of(t)) EXPECT_LE(l.size(), 80u) << l;
  testsupport::TempDir d;
  testsupport::write_file(d.file("t.par"), t);
  Paar p{Paar::Blank{}};
  p.owner = true;
  testing::internal::CaptureStdout();
  p.read_params(d.file("t.par").c_str());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(p.mode + " " + p.lambda_d_file + " " + p.xydata_file + " " + p.distdist_file + " " +
                p.path + " " + p.output_base + " " + p.detect_nucleus + " " + p.dephase_nucleus,
            "fit none my_redor.dat none runs/ my_run C13 N15");
  EXPECT_EQ((V{p.near, p.far, p.grain, double(p.per_2pi), p.mid_pulse, p.mas, p.scaling_a,
               p.scaling_b, double(p.last_point), double(p.ntries), double(p.err_iters_at_temp),
               p.err_max_step_size, p.err_boltzmann, p.err_init_temp, p.err_atten_temp,
               p.err_min_temp, p.min_stdev2, double(p.per_mc_block), double(p.max_mc_blocks),
               p.max_mc_chi2}),
            (V{2.5, 6.0, 0.05, 0, 0, 10000, 1.0, 0, 0, 3, 300, 0.3, 1, 10, 1.3, 0.05, 0.001, 20,
               15, 80}));
  EXPECT_EQ((std::vector<V>{values(p.iters_at_temp), values(p.max_step_size),
                            values(p.boltzmann), values(p.init_temp), values(p.atten_temp),
                            values(p.min_temp)}),
            (std::vector<V>{{1000, 1000, 1000}, {0.5, 0.2, 0.1}, {1, 1, 1}, {20, 0, 0},
                            {1.2, 1.2, 1.2}, {0.05, 0.05, 0.05}}));
}

TEST(UsageText, HelpNamesEveryOptionAndFitsTheTerminal) {
  std::string h = text_of(print_help);
  for (char const* word : {"--solver", "--template", "--help", "--version", "annealing",
                           "maxent", "gaussians", "N_c S0 S ratio error", "PER 2PI 0", "130",
                           "143", "redordist --template > my.par"})
    EXPECT_NE(h.find(word), std::string::npos) << word;
  EXPECT_LE(testsupport::lines_of(h).size(), 70u);
  for (auto const& l : testsupport::lines_of(h)) EXPECT_LE(l.size(), 80u) << l;
}
