// The positional reader of the 33-line parameter file: keys matched with
// scanf rules, per-try lists and their fill, and the warnings for lines that
// do not match. Values parsed from text are compared exactly: strtod and the
// compiler round the same decimal to the same double.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "model/paar.h"
#include "tests/test_support.h"

using testsupport::param_text;
using testsupport::TempDir;

namespace {

// The reader applied to a parameter text, with what it printed.
struct Parsed {
  Paar p{Paar::Blank{}};
  std::string out;
  explicit Parsed(std::string const& text) {
    TempDir d;
    testsupport::write_file(d.file("p.par"), text);
    p.owner = true;  // releases the six per-try lists with the object
    testing::internal::CaptureStdout();
    p.read_params(d.file("p.par").c_str());
    out = testing::internal::GetCapturedStdout();
  }
};

std::vector<double> values(gsl_vector const* v) {
  std::vector<double> r;
  for (size_t i = 0; i < v->size; i++) r.push_back(gsl_vector_get(v, i));
  return r;
}

// The text with its line n (1-based) replaced.
std::string set_line(std::string const& text, int n, std::string const& line) {
  std::istringstream in(text);
  std::string l, t;
  for (int i = 1; std::getline(in, l); i++) t += (i == n ? line : l) + "\n";
  return t;
}

using V = std::vector<double>;

}  // namespace

TEST(ParamFile, ReadsEveryLineAndFillsPerTryLists) {
  std::string t = param_text({{"NTRIES", "3"},
                              {"ITERS AT TEMP", "100 200 300 400"},  // 4th ignored
                              {"MAX STEP SIZE", "0.5 0.25"},         // fill copies entry 0
                              {"BOLTZMANN", "1 2   \t "},             // trailing blanks
                              {"INIT TEMP", "500"},                  // filled with 0
                              {"ATTEN TEMP", "1.1"},
                              {"NEAR", "2.5 Angstrom"},  // remark after the value
                              {"MAS", "4E+03"},
                              {"MIN STDEV2", "1e-3"}});
  t = set_line(t, 23, "MIN TEMP:250");
  Parsed r(t);
  EXPECT_EQ(r.out, "");
  Paar const& p = r.p;
  EXPECT_EQ(p.mode + " " + p.xydata_file + " " + p.path + " " + p.output_base,
            "fit data.dat ./ run");
  EXPECT_EQ(p.detect_nucleus + p.dephase_nucleus, "C13N15");
  EXPECT_EQ(p.near, 2.5);
  EXPECT_EQ(p.per_2pi, 24);
  EXPECT_EQ(p.mas, 4000.0);
  EXPECT_EQ(p.ntries, 3);
  EXPECT_EQ(values(p.iters_at_temp), (V{100, 200, 300}));
  EXPECT_EQ(values(p.max_step_size), (V{0.5, 0.25, 0.5}));
  EXPECT_EQ(values(p.boltzmann), (V{1, 2, 1}));
  EXPECT_EQ(values(p.init_temp), (V{500, 0, 0}));
  EXPECT_EQ(values(p.atten_temp), (V{1.1, 1.1, 1.1}));
  EXPECT_EQ(values(p.min_temp), (V{250, 250, 250}));
  EXPECT_EQ(p.min_stdev2, 1e-3);
  EXPECT_EQ(p.max_mc_chi2, 1e6);
}

TEST(ParamFile, BlanksInKeysMatchAnyWhiteSpaceAndCrLfReadsLikeLf) {
  std::string t = param_text({{"NTRIES", "2"}, {"ITERS AT TEMP", "7 8"}});
  t = set_line(t, 12, "PER2PI: 8");
  t = set_line(t, 13, "MID \t PULSE:\t12.5");
  t = set_line(t, 18, "ITERS  AT\tTEMP:250 260");
  std::string crlf;
  for (char c : t) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  for (std::string const& text : {t, crlf}) {
    Parsed r(text);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.p.mode, "fit");  // the carriage return ends a text value
    EXPECT_EQ(r.p.output_base, "run");
    EXPECT_EQ(r.p.per_2pi, 8);
    EXPECT_EQ(r.p.mid_pulse, 12.5);
    EXPECT_EQ(values(r.p.iters_at_temp), (V{250, 260}));
    EXPECT_EQ(r.p.max_mc_chi2, 1e6);
  }
}

TEST(ParamFile, ScalingTakesOneOrTwoValues) {
  Parsed one(param_text({{"SCALING", "1.5"}})), two(param_text({{"SCALING", "1.5 0.8"}}));
  EXPECT_EQ(one.p.scaling_a + two.p.scaling_a, 3.0);
  EXPECT_EQ(one.p.scaling_b, 0.0);
  EXPECT_EQ(two.p.scaling_b, 0.8);
  EXPECT_EQ(one.out + two.out, "");
}

TEST(ParamFile, MismatchedLinesTakeZeroWithOneWarningEach) {
  std::string t = param_text({{"NTRIES", "2"}, {"FAR", ""}, {"GRAIN", "x0.5"}});
  t = set_line(t, 1, "mode: fit");
  t = set_line(t, 9, " NEAR: 2.5");
  t = set_line(t, 21, "Init Temp: 10");
  t = set_line(t, 22, "ATTEN TEMP:");
  Parsed r(t);
  EXPECT_EQ(r.out,
            "warning: parameter line 1 does not match \"MODE: %s\"; MODE left empty\n"
            "warning: parameter line 9 does not match \"NEAR: %le\"; NEAR set to 0\n"
            "warning: parameter line 10 does not match \"FAR: %le\"; FAR set to 0\n"
            "warning: parameter line 11 does not match \"GRAIN: %le\"; GRAIN set to 0\n"
            "warning: parameter line 21 does not match \"INIT TEMP: %le%n\"; INIT TEMP set to 0\n"
            "warning: parameter line 22 does not match \"ATTEN TEMP: %le%n\"; ATTEN TEMP set to "
            "0\n");
  EXPECT_EQ(r.p.mode, "");
  EXPECT_EQ(std::vector<double>({r.p.near, r.p.far, r.p.grain}), (V{0, 0, 0}));
  EXPECT_EQ(values(r.p.init_temp), (V{0, 0}));
  EXPECT_EQ(values(r.p.atten_temp), (V{0, 0}));
  // Reading goes on by position around the bad lines.
  EXPECT_EQ(r.p.lambda_d_file, "none");
  EXPECT_EQ(r.p.per_2pi, 24);
  EXPECT_EQ(values(r.p.min_temp), (V{0.5, 0.5}));
}

TEST(ParamFile, ShortFileLeavesMissingLinesAtZero) {
  std::string t = param_text();
  t = t.substr(0, t.find("NTRIES:"));  // lines 1 to 16
  Parsed r(t);
  EXPECT_EQ(r.out.rfind("warning: parameter line 17 is missing; NTRIES set to 0\n", 0), 0u);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 17);
  EXPECT_NE(r.out.find("warning: parameter line 21 is missing; INIT TEMP set to 0\n"),
            std::string::npos);
  std::string last = "warning: parameter line 33 is missing; MAX MC CHI2 set to 0\n";
  ASSERT_GE(r.out.size(), last.size());
  EXPECT_EQ(r.out.substr(r.out.size() - last.size()), last);
  EXPECT_EQ(r.p.ntries, 0);
  EXPECT_EQ(r.p.iters_at_temp->size, 0u);
  EXPECT_EQ(r.p.max_mc_chi2, 0.0);
  EXPECT_EQ(r.p.last_point, 0);
  EXPECT_EQ(r.p.mas, 5000.0);
}

TEST(ParamFile, BadTokenEndsAPerTryList) {
  Parsed r(param_text({{"NTRIES", "3"},
                       {"ITERS AT TEMP", "100 200.5 300"},
                       {"MAX STEP SIZE", "0.5 abc 0.7"},
                       {"INIT TEMP", "500 x 7"},
                       {"BOLTZMANN", "2.5"}}));
  EXPECT_EQ(r.out,
            "warning: parameter line 18 holds \"200.5\", not an integer; ITERS AT TEMP ends "
            "before it\n"
            "warning: parameter line 19 holds \"abc\", not a number; MAX STEP SIZE ends before "
            "it\n"
            "warning: parameter line 21 holds \"x\", not a number; INIT TEMP ends before it\n");
  EXPECT_EQ(values(r.p.iters_at_temp), (V{100, 100, 100}));
  EXPECT_EQ(values(r.p.max_step_size), (V{0.5, 0.5, 0.5}));
  EXPECT_EQ(values(r.p.init_temp), (V{500, 0, 0}));
  EXPECT_EQ(values(r.p.boltzmann), (V{2.5, 2.5, 2.5}));

  // A first entry that is not an integer makes the whole line a mismatch.
  Parsed f(param_text({{"NTRIES", "2"}, {"ITERS AT TEMP", "2.5"}}));
  EXPECT_EQ(f.out,
            "warning: parameter line 18 does not match \"ITERS AT TEMP:%d%n\"; ITERS AT TEMP set "
            "to 0\n");
  EXPECT_EQ(values(f.p.iters_at_temp), (V{0, 0}));
}
