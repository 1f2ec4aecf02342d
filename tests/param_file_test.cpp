// The positional reader of the 33-line parameter file: keys matched with
// scanf rules, per-try lists and their fill, and the warnings for lines that
// do not match. Values parsed from text are compared exactly: strtod and the
// compiler round the same decimal to the same double.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/paar.h"
#include "tests/test_support.h"

using testsupport::param_text;
using testsupport::values;

namespace {

using V = std::vector<double>;

// Reads text as a parameter file into p; returns what the reader printed.
std::string parse(Paar& p, std::string const& text) {
  testsupport::TempDir d;
  testsupport::write_file(d.file("p.par"), text);
  p.owner = true;  // releases the six per-try lists with the object
  testing::internal::CaptureStdout();
  p.read_params(d.file("p.par").c_str());
  return testing::internal::GetCapturedStdout();
}

// The text with its first occurrence of `from` replaced by `to`.
std::string sub(std::string t, std::string const& from, std::string const& to) {
  return t.replace(t.find(from), from.size(), to);
}

}  // namespace

TEST(ParamFile, ReadsEveryLineFillsPerTryListsAndTakesCrLf) {
  // NTRIES 3: MAX STEP SIZE is filled with its entry 0, INIT TEMP with 0, and
  // a 4th ITERS AT TEMP is ignored. Trailing blanks, a remark after a value
  // and an exponent are read; a blank in a key matches any run of white
  // space, or none.
  std::string t = param_text({{"NTRIES", "3"}, {"MAX STEP SIZE", "0.5 0.25"},
                              {"BOLTZMANN", "1 2   \t "}, {"INIT TEMP", "500"},
                              {"NEAR", "2.5 Angstrom"}, {"MAS", "4E+03"},
                              {"SCALING", "1.5 0.8"}, {"MIN STDEV2", "1e-3"}});
  t = sub(t, "PER 2PI: 24", "PER2PI: 8");
  t = sub(t, "MID PULSE: 0", "MID \t PULSE:\t12.5");
  t = sub(t, "ITERS AT TEMP: 20", "ITERS  AT\tTEMP:100 200 300 400");
  t = sub(t, "MIN TEMP: 0.5", "MIN TEMP:250");
  std::string crlf;
  for (char c : t) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  for (std::string const& text : {t, crlf}) {
    Paar p{Paar::Blank{}};
    EXPECT_EQ(parse(p, text), "");
    // The carriage return ends a text value.
    EXPECT_EQ(p.mode + " " + p.xydata_file + " " + p.path + " " + p.output_base + " " +
                  p.detect_nucleus + p.dephase_nucleus,
              "fit data.dat ./ run C13N15");
    EXPECT_EQ((V{p.near, double(p.per_2pi), p.mid_pulse, p.mas, p.scaling_a, p.scaling_b,
                 double(p.ntries), p.min_stdev2, p.max_mc_chi2}),
              (V{2.5, 8, 12.5, 4000, 1.5, 0.8, 3, 1e-3, 1e6}));
    EXPECT_EQ((std::vector<V>{values(p.iters_at_temp), values(p.max_step_size),
                              values(p.boltzmann), values(p.init_temp), values(p.min_temp)}),
              (std::vector<V>{{100, 200, 300}, {0.5, 0.25, 0.5}, {1, 2, 1}, {500, 0, 0},
                              {250, 250, 250}}));
  }
}

TEST(ParamFile, MismatchedLinesTakeZeroWithOneWarningEach) {
  std::string t = param_text({{"NTRIES", "2"}, {"FAR", ""}, {"ITERS AT TEMP", "2.5"}});
  t = sub(sub(sub(t, "MODE", "mode"), "NEAR", " NEAR"), "INIT TEMP", "Init Temp");
  Paar p{Paar::Blank{}};
  EXPECT_EQ(parse(p, t),
            "warning: parameter line 1 does not match \"MODE: %s\"; MODE left empty\n"
            "warning: parameter line 9 does not match \"NEAR: %le\"; NEAR set to 0\n"
            "warning: parameter line 10 does not match \"FAR: %le\"; FAR set to 0\n"
            "warning: parameter line 18 does not match \"ITERS AT TEMP:%d%n\"; "
            "ITERS AT TEMP set to 0\n"
            "warning: parameter line 21 does not match \"INIT TEMP: %le%n\"; INIT TEMP set to 0\n");
  EXPECT_EQ(p.mode, "");
  EXPECT_EQ((std::vector<V>{{p.near, p.far}, values(p.iters_at_temp), values(p.init_temp)}),
            (std::vector<V>{{0, 0}, {0, 0}, {0, 0}}));
  // Reading goes on by position around the bad lines; one SCALING value leaves b at 0.
  EXPECT_EQ((V{double(p.per_2pi), p.scaling_a, p.scaling_b}), (V{24, 1, 0}));
  EXPECT_EQ(values(p.min_temp), (V{0.5, 0.5}));
}

TEST(ParamFile, ShortFileAndBadTokensInPerTryLists) {
  std::string t = param_text();
  Paar p{Paar::Blank{}};
  std::string want;
  for (int n = 17; n <= 33; n++)
    want += "warning: parameter line " + std::to_string(n) + " is missing; " +
            testsupport::param_defaults()[n - 1].first + " set to 0\n";
  EXPECT_EQ(parse(p, t.substr(0, t.find("NTRIES:"))), want);  // lines 1 to 16
  EXPECT_EQ((V{double(p.ntries), double(p.iters_at_temp->size), p.max_mc_chi2, p.mas}),
            (V{0, 0, 0, 5000}));

  // A bad token ends a list; the rest is filled as if the line ended there.
  Paar q{Paar::Blank{}};
  EXPECT_EQ(parse(q, param_text({{"NTRIES", "3"}, {"ITERS AT TEMP", "100 200.5 300"},
                                 {"INIT TEMP", "500 x 7"}})),
            "warning: parameter line 18 holds \"200.5\", not an integer; ITERS AT TEMP ends "
            "before it\n"
            "warning: parameter line 21 holds \"x\", not a number; INIT TEMP ends before it\n");
  EXPECT_EQ((std::vector<V>{values(q.iters_at_temp), values(q.init_temp)}),
            (std::vector<V>{{100, 100, 100}, {500, 0, 0}}));
}
