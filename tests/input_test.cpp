// The input files: the positional parameter reader and its warnings, the
// refusals of every input (one exact line each, before anything is written),
// the data, prescribed-distribution and dephasing-curve readers, and the
// nuclei. Values parsed from text are compared exactly: strtod and the
// compiler round the same decimal to the same double.
#include <gtest/gtest.h>

#include "input/curve_file.h"
#include "input/nuclei.h"
#include "tests/test_support.h"

using namespace ts;

namespace {

// The text of a parameter file read by read_params; warnings into `out`.
RunParams parse(std::string const& text, std::string& out) {
  TempDir d;
  write_file(d.file("p.par"), text);
  RunParams p;
  EXPECT_EQ(refusal_of([&] { p = read_params(d.file("p.par").c_str()); }, &out), "");
  return p;
}

// The message without the temporary directory in front of file names.
std::string relative(std::string msg, TempDir const& d) {
  for (size_t at; (at = msg.find(d.path() + "/")) != std::string::npos;)
    msg.erase(at, d.path().size() + 1);
  return msg;
}

}  // namespace

TEST(ParamFile, ReadsEveryLineFillsPerTryListsAndTakesCrLf) {
  // NTRIES 3: MAX STEP SIZE is filled with its entry 0, INIT TEMP with 0, a
  // 4th ITERS AT TEMP is ignored. Trailing blanks, a remark after a value and
  // an exponent are read; a blank in a key matches any run of white space, or none.
  std::string t = param_text(
      {{"NTRIES", "3"}, {"MAX STEP SIZE", "0.5 0.25"}, {"BOLTZMANN", "1 2   \t "},
       {"INIT TEMP", "500"}, {"NEAR", "2.5 Angstrom"}, {"MAS", "4E+03"}, {"SCALING", "1.5 0.8"},
       {"MIN STDEV2", "1e-3"}, {"PER 2PI", "=PER2PI: 8"}, {"MID PULSE", "=MID \t PULSE:\t12.5"},
       {"ITERS AT TEMP", "=ITERS  AT\tTEMP:100 200 300 400"}, {"MIN TEMP", "=MIN TEMP:250"}});
  std::string crlf = std::regex_replace(t, std::regex("\n"), "\r\n"), out;
  for (std::string const& text : {t, crlf}) {
    RunParams p = parse(text, out);
    EXPECT_EQ(out, "");
    // The carriage return ends a text value.
    EXPECT_EQ(p.mode + " " + p.xydata_file + " " + p.path + " " + p.output_base + " " +
                  p.detect_nucleus + p.dephase_nucleus, "fit data.dat ./ run C13N15");
    EXPECT_EQ((V{p.near, double(p.per_2pi), p.mid_pulse, p.mas, p.scaling_a, p.scaling_b,
                 double(p.ntries), p.min_stdev2, p.max_mc_chi2}),
              (V{2.5, 8, 12.5, 4000, 1.5, 0.8, 3, 1e-3, 1e6}));
    EXPECT_EQ((std::vector<V>{p.iters_at_temp, p.max_step_size, p.boltzmann, p.init_temp, p.min_temp}),
              (std::vector<V>{{100, 200, 300}, {0.5, 0.25, 0.5}, {1, 2, 1}, {500, 0, 0}, {250, 250, 250}}));
  }
}

TEST(ParamFile, LinesThatDoNotMatchTakeZeroWithOneWarningEach) {
  std::string out;
  RunParams p = parse(param_text({{"NTRIES", "3"}, {"MODE", "=mode: fit"}, {"NEAR", "= NEAR: 2"},
                                  {"FAR", "=FAR:"}, {"ITERS AT TEMP", "100 200.5 300"},
                                  {"INIT TEMP", "=Init Temp: 5"}, {"MIN TEMP", "500 x 7"}}), out);
  EXPECT_EQ(out,
            "warning: parameter line 1 does not match \"MODE: %s\"; MODE left empty\n"
            "warning: parameter line 9 does not match \"NEAR: %le\"; NEAR set to 0\n"
            "warning: parameter line 10 does not match \"FAR: %le\"; FAR set to 0\n"
            "warning: parameter line 18 holds \"200.5\", not an integer; ITERS AT TEMP ends before it\n"
            "warning: parameter line 21 does not match \"INIT TEMP: %le%n\"; INIT TEMP set to 0\n"
            "warning: parameter line 23 holds \"x\", not a number; MIN TEMP ends before it\n");
  // Reading goes on by position; a list ending early is filled as if the line ended there.
  EXPECT_EQ((std::vector<V>{{p.near, p.far, double(p.per_2pi), p.scaling_b}, p.iters_at_temp,
                            p.init_temp, p.min_temp}),
            (std::vector<V>{{0, 0, 24, 0}, {100, 100, 100}, {0, 0, 0}, {500, 500, 500}}));
  // A file that ends after line 16.
  std::string t = param_text(), want;
  for (int n = 17; n <= 33; n++)
    want += "warning: parameter line " + std::to_string(n) + " is missing; " +
            param_defaults()[n - 1].first + " set to 0\n";
  p = parse(t.substr(0, t.find("NTRIES:")), out);
  EXPECT_EQ(out, want);
  EXPECT_EQ((V{double(p.ntries), double(p.iters_at_temp.size()), p.max_mc_chi2, p.mas}), (V{0, 0, 0, 5000}));
}

namespace {

struct BadInput {
  char const* name;
  Over over;
  std::string data, dist;  // data.dat (after the two good lines below) and dist.dat
  std::string message;     // the refusal, whole; empty: accepted
};

const std::string kLong(100 * 1024, 'x');
const std::string kNul("\0", 1);
const std::string e = "parameter error: ";

std::vector<BadInput> bad_inputs() {
  return {
      // ---- the parameter file: the key, the value and the rule ----
      {"MissingValue", {{"NEAR", "=NEAR:"}}, "", "", e + "NEAR is 0; it must be above 0"},
      {"Text", {{"MAS", "fast"}}, "", "", e + "MAS is 0; it must be above 0"},
      {"NearTooShort", {{"NEAR", "1e-300"}}, "", "", e + "NEAR is 1e-300; it must be at least 0.5 Angstrom (no chemical bond is shorter)"},
      {"MasInKilohertz", {{"MAS", "5 kHz"}}, "", "", e + "MAS is 5; it must lie between 100 Hz and 1 MHz (the spinning rate in Hz)"},
      {"ModeUnknown", {{"MODE", "Fit"}}, "", "", e + "MODE is \"Fit\"; it must be fit, err or sim"},
      {"ModeEmpty", {{"MODE", "=MODE:"}}, "", "", e + "MODE is empty; it must be fit, err or sim"},
      {"OutputQuote", {{"OUTPUT", "x'.system('touch${IFS}pwned').'"}}, "", "",
       e + "OUTPUT is \"x'.system('touch${IFS}pwned').'\"; it may hold only letters, digits, \".\", \"_\", \"-\" and \"+\" (not \".\" or \"..\")"},
      {"OutputPipe", {{"OUTPUT", "<cmd;x"}}, "", "", e + "OUTPUT is \"<cmd;x\"; it may hold only letters, digits, \".\", \"_\", \"-\" and \"+\" (not \".\" or \"..\")"},
      {"OutputDotDot", {{"OUTPUT", ".."}}, "", "", e + "OUTPUT is \"..\"; it may hold only letters, digits, \".\", \"_\", \"-\" and \"+\" (not \".\" or \"..\")"},
      {"PathWithoutSlash", {{"PATH", "runs"}}, "", "", e + "PATH is \"runs\"; it must be empty or end with \"/\""},
      {"PathPipe", {{"PATH", "|x/"}}, "", "", e + "PATH is \"|x/\"; it may hold only letters, digits, \".\", \"_\", \"-\", \"+\" and \"/\""},
      {"OutputUtf8", {{"OUTPUT", "Probe_\xc3\xa4+1"}}, "", "", ""},
      {"Boltzmann", {{"BOLTZMANN", "-1"}}, "", "", e + "BOLTZMANN of try 1 is -1; it must be above 0"},
      {"ErrBoltzmann", {{"MODE", "err"}, {"ERR BOLTZMANN", "0"}}, "", "", e + "ERR BOLTZMANN is 0; it must be above 0"},
      {"MaxMcChi2", {{"MODE", "err"}, {"MAX MC CHI2", "0"}}, "", "", e + "MAX MC CHI2 is 0; it must be above 0"},
      {"TooManyTrials", {{"NTRIES", "1000"}, {"ATTEN TEMP", "1.0001"}, {"ITERS AT TEMP", "1000"}, {"INIT TEMP", "20"}}, "", "",  // 1000 x 1000 x (floor(ln(20 / 0.5) / ln 1.0001) + 1)
       e + "the annealing schedule implies up to 3.6891e+10 trials, more than the limit of 1e+09; raise ATTEN TEMP or MIN TEMP, or lower ITERS AT TEMP or NTRIES"},
      {"TooManyMcRuns", {{"MODE", "err"}, {"PER MC BLOCK", "10000"}, {"MAX MC BLOCKS", "1000"}}, "", "",
       e + "PER MC BLOCK x MAX MC BLOCKS is 1e+07 Monte Carlo runs, more than the limit of 1e+06"},
      {"ShiftedLines", {{"NEAR", "=GRAIN: 0.5"}}, "", "", e + "p.par line 9 holds the key of line 11 (GRAIN:): a line is missing or extra near line 9"},
      {"NaN", {{"FAR", "nan"}}, "", "", e + "FAR is nan; it must be a finite number"},
      {"Inf", {{"GRAIN", "-inf"}}, "", "", e + "GRAIN is -inf; it must be a finite number"},
      {"HugeDouble", {{"MAS", "1e400"}}, "", "", e + "MAS is inf; it must be a finite number"},
      {"HugeInt", {{"PER 2PI", "99999999999"}}, "", "", ""},  // read as 0: the exact kernel
      {"Per2piOne", {{"PER 2PI", "1"}}, "", "", e + "PER 2PI is 1; it must be 0 (the exact closed form) or at least 2 "
       "for the powder average (no LAMBDA_D file could be opened)"},
      {"NegativeTries", {{"NTRIES", "-3"}}, "", "", e + "NTRIES is -3; it must not be below 0"},
      {"NegativeLastPoint", {{"LAST POINT", "-2"}}, "", "", e + "LAST POINT is -2; it must not be below 0"},
      {"LongValue", {{"OUTPUT", kLong}}, "", "", e + "OUTPUT is 102400 characters long; at most 157 are allowed"},
      {"NulInText", {{"MODE", "fit" + kNul + "x"}}, "", "", e + "MODE is \"fit\\x00x\"; it must be fit, err or sim"},
      {"LongRemarkAndNulAfterNumber", {{"NEAR", "2.5 " + kLong}, {"FAR", "6" + kNul + "5"}}, "", "", ""},
      {"NucleusX", {{"XN", "c13"}}, "", "", "detect nucleus (X) not recognized: XN is \"c13\"; accepted: C13 N15 D2 H2 F19 P31 H1"},
      {"NucleusY", {{"YN", "N-15"}}, "", "", "dephasing nucleus (Y) not recognized: YN is \"N-15\"; accepted: C13 N15 D2 H2 F19 P31 H1"},
      {"ZeroGrain", {{"GRAIN", "0"}}, "", "", e + "GRAIN is 0; it must be above 0"},
      {"FarBelowNear", {{"FAR", "2"}}, "", "", e + "FAR is 2; it must not be below NEAR"},
      {"GridTooLarge", {{"FAR", "100002.5"}, {"GRAIN", "0.1"}}, "", "",
       e + "NEAR 2.5 to FAR 100002 every GRAIN 0.1 makes more than 100000 distances"},
      {"OutputTooLong", {{"OUTPUT", std::string(158, 'a')}}, "", "", e + "OUTPUT is 158 characters long; at most 157 are allowed"},
      {"RunDirTooLong", {{"PATH", "./" + std::string(175, 'b') + "/"}}, "", "",
       e + "PATH + OUTPUT + \"/\" is 182 characters long; at most 179 are allowed"},
      {"InitTemp", {{"INIT TEMP", "0"}}, "", "", e + "INIT TEMP of try 1 is 0; it must be above 0"},
      {"AttenTempOfTry2", {{"NTRIES", "2"}, {"ATTEN TEMP", "2 0.5"}}, "", "", e + "ATTEN TEMP of try 2 is 0.5; it must be above 1"},
      {"MinTemp", {{"MIN TEMP", "0"}}, "", "", e + "MIN TEMP of try 1 is 0; it must be above 0"},
      {"ItersAtTemp", {{"ITERS AT TEMP", "0"}}, "", "", e + "ITERS AT TEMP of try 1 is 0; it must be at least 1"},
      {"ErrInitTemp", {{"MODE", "err"}, {"ERR INIT TEMP", "0"}}, "", "", e + "ERR INIT TEMP is 0; it must be above 0"},
      {"ErrAttenTemp", {{"MODE", "err"}, {"ERR ATTEN TEMP", "1"}}, "", "", e + "ERR ATTEN TEMP is 1; it must be above 1"},
      {"ErrMinTemp", {{"MODE", "err"}, {"ERR MIN TEMP", "0"}}, "", "", e + "ERR MIN TEMP is 0; it must be above 0"},
      {"ErrIters", {{"MODE", "err"}, {"ERR ITERS AT TEMP", "0"}}, "", "", e + "ERR ITERS AT TEMP is 0; it must be at least 1"},
      {"PerMcBlock", {{"MODE", "err"}, {"PER MC BLOCK", "1"}}, "", "", e + "PER MC BLOCK is 1; it must be at least 2"},
      {"MaxMcBlocks", {{"MODE", "err"}, {"MAX MC BLOCKS", "1"}}, "", "", e + "MAX MC BLOCKS is 1; it must be at least 2"},
      // "fit" does not look at the Monte Carlo settings.
      {"FitIgnoresMcSettings", {{"ERR INIT TEMP", "0"}, {"PER MC BLOCK", "1"}}, "", "", ""},
      // ---- the data file: the file, the physical line and the fault ----
      {"DataMissingValue", {}, "4 1000\n", "", "data.dat line 3: a data line needs at least N_c, S0 and S (found only 2)"},
      {"DataText", {}, "4 1000 abc 0.9 0.02\n", "", "data.dat line 3: S \"abc\" is not a number"},
      {"DataNaN", {}, "4 NaN 960 0.96 0.02\n", "", "data.dat line 3: S0 is not a finite number"},
      {"DataHugeInt", {}, "99999999999 1000 960 0.96 0.02\n", "", "data.dat line 3: N_c \"99999999999\" is not a whole number of rotor cycles"},
      {"DataNegative", {}, "-4 1000 960 0.96 0.02\n", "", "data.dat line 3: N_c -4 is negative"},
      {"DataOdd", {}, "3 1 0.9 1 0.1\n", "", "data.dat line 3: N_c 3 is odd; REDOR points lie at even rotor-cycle counts"},
      {"DataZeroS0", {}, "2 0 0.5 1 0.1\n", "", "data.dat line 3: S0 is 0, so S/S0 cannot be formed"},
      {"DataBadError", {}, "2 1 0.9 1 x\n", "", "data.dat line 3: error \"x\" is not a number"},
      {"DataBeyondLastPoint", {{"LAST POINT", "4"}}, "\n6 1 0.9 1 0.1\n", "",
       "data.dat line 4: N_c 6 lies beyond LAST POINT 4 (LAST POINT is smaller than the data's largest cycle count)"},
      {"DataLongToken", {}, "4 1000 " + kLong + " 0.96 0.02\n", "", "data.dat line 3: S \"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...\" is not a number"},
      {"DataNul", {}, "4 1000 9" + kNul + "60 0.96 0.02\n", "", "data.dat line 3: S \"9\\x0060\" is not a number"},
      {"DataLongRemark", {}, "4 1000 960 0.96 0.02 " + kLong + "\n", "", ""},
      {"DataDirectory", {{"XYDATA", "/"}}, "", "", "Can't open datafile /"},
      {"DataDevice", {{"XYDATA", "/dev/zero"}}, "", "", "Can't open datafile /dev/zero"},
      // ---- the prescribed distribution: optional, so an unreadable one is none ----
      {"DistMissingValue", {}, "", "3.0 0.2\n4.5\n", "dist.dat line 2: a prescribed-distribution line needs a distance and a density"},
      {"DistText", {}, "", "# r p\n3.0 0.2\n4.5 half\n", "dist.dat line 3: density \"half\" is not a finite number"},
      {"DistNaN", {}, "", "nan 0.2\n", "dist.dat line 1: distance \"nan\" is not a finite number"},
      {"DistNegative", {}, "", "3.0 0.2\n-4.5 0.1\n", "dist.dat line 2: distance \"-4.5\" must be at least 0.5 Angstrom"},
      {"DistFraction", {}, "", "3.0 1.2\n", "dist.dat line 1: fraction \"1.2\" must lie between 0 and 1"},
      {"DistWhole", {}, "", "3.0 0.6\n4.0 0.4\n", "DISTDIST dist.dat: the fractions add up to 1; they must add up to less than 1 in mode fit and err, where the rest is fitted"},
      {"DistWholeInSim", {{"MODE", "sim"}}, "", "3.0 0.6\n4.0 0.4\n", ""},
      {"DistHugeButFinite", {}, "", "3.0 0.2\n99999999999 0.1\n", ""},
      {"DistDirectory", {{"DISTDIST", "/"}}, "", "", ""},
  };
}

class BadInputs : public ::testing::TestWithParam<BadInput> {};

}  // namespace

TEST_P(BadInputs, RefusedWithOneExactLineOrAccepted) {
  BadInput const& c = GetParam();
  TempDir d;
  std::string par = write_inputs(d, c.over, "# N_c S0 S ratio err\n0 1000 1000 1.0 0.02\n" + c.data, c.dist);
  std::string msg = refusal_of([&] { read_run_inputs(par.c_str()); });
  EXPECT_EQ(relative(msg, d), c.message.empty() ? "" : c.message + "\n");
}

INSTANTIATE_TEST_SUITE_P(Inputs, BadInputs, ::testing::ValuesIn(bad_inputs()),
                         [](auto const& info) { return std::string(info.param.name); });

TEST(DataFile, ColumnsCommentsBlankLinesAndTheErrorRule) {
  TempDir d;
  // The ratio column is read and ignored; the last line has no newline.
  write_file(d.file("a.dat"), "# N_c S0 S ratio err\n0 1.0 1.0 1.0 0.02\n\n# x\n   \t \n"
                              "2 1.0 0.9 0.5 0.02\n4 2.0 1.6 0.8 0.03");
  std::vector<DataPoint> pts = read_data_file(d.file("a.dat"), 0);
  ASSERT_EQ(pts.size(), 3u);
  EXPECT_EQ((V{double(pts[2].nc), pts[2].s0, pts[2].s, pts[2].err, double(pts[2].lineno)}),
            (V{4, 2.0, 1.6, 0.03, 7}));
  // err 0, 1e-13, 1.0, 5.0, -0.1 and a missing one (with and without the
  // ratio) mean "no usable error", 1.0; 0.5 and 1e-12 are kept.
  write_file(d.file("e.dat"), "0 1 1 1 0\n0 1 1 1 1e-13\n0 1 1 1 1.0\n0 1 1 1 5.0\n"
                              "0 1 1 1 -0.1\n0 1 1 1\n0 1 1\n0 1 1 1 0.5\n0 1 1 1 1e-12\n");
  V errs;
  for (DataPoint const& p : read_data_file(d.file("e.dat"), 0)) errs.push_back(p.err);
  EXPECT_EQ(errs, (V{1, 1, 1, 1, 1, 1, 1, 0.5, 1e-12}));
  write_file(d.file("p.dat"), "# nothing here\n\n");  // read, but holding no point
  PrescribedDist none = read_prescribed_file(d.file("p.dat")), missing = read_prescribed_file("");
  EXPECT_EQ((std::vector<bool>{none.readable, none.distance.empty(), missing.readable}),
            (std::vector<bool>{true, true, false}));
}

TEST(CurveFile, ReadUpToLambdaMaxAndRefusals) {
  TempDir d;
  auto read = [&](std::string const& text, double lambda_max, DephasingCurve* c = nullptr) {
    write_file(d.file("curve.dat"), text);
    return relative(refusal_of([&] {
      DephasingCurve r = read_curve_file(d.file("curve.dat"), lambda_max);
      if (c) *c = r;
    }), d);
  };
  // A start within 1e-12 of 0 is taken; the first point beyond lambda_max is
  // the last read (it brackets lookups up to lambda_max).
  DephasingCurve c;
  EXPECT_EQ(read("# lambda S/S0\n1e-13 1.0\n\n0.5 0.8\n \t\n1.0 0.4\n1.5 0.2\n2 0\n", 0.9, &c), "");
  EXPECT_EQ(c.lambda, (V{1e-13, 0.5, 1.0}));
  EXPECT_EQ(c.signal, (V{1.0, 0.8, 0.4}));
  const std::pair<std::string, std::string> bad[] = {
      {"0 1.0\n0.25\n", "line 2: a curve line needs lambda_D and S/S0"},
      {"0 1.0\n0.25 high\n", "line 2: S/S0 \"high\" is not a finite number"},
      {"0 1.0\nnan 0.9\n", "line 2: lambda_D \"nan\" is not a finite number"},
      {"# c\n0.1 0.99\n0.5 0.8\n", "line 2: the curve must start at lambda_D 0"},
      {"0 1\n0.5 0.8\n\n0.3 0.9\n", "line 4: lambda_D values must strictly ascend"},
      {"0.5 0.8\n1.0 0.4\n", ": no point of the curve lies at or below lambda_D 0.2"}};
  for (auto const& b : bad) {
    bool at_line = b.second[0] == 'l';
    EXPECT_EQ(read(b.first, at_line ? 1.0 : 0.2), "curve.dat" + std::string(at_line ? " " : "") + b.second + "\n");
  }
}

TEST(Nuclei, GyromagneticRatiosAndDipolarConstant) {
  // 10^7 rad s^-1 T^-1; names whole and case-sensitive.
  const std::pair<char const*, double> table[] = {{"C13", 6.7283}, {"N15", 2.712}, {"D2", 4.1066},
      {"H2", 4.1066}, {"F19", 25.181}, {"P31", 10.841}, {"H1", 26.7522205}};
  for (auto const& n : table) {
    double g = 0;
    EXPECT_TRUE(find_gamma(n.first, g) && g == n.second) << n.first;
  }
  double g = 0;
  EXPECT_FALSE(find_gamma("C13x", g) || find_gamma("c13", g) || find_gamma("", g));
  // SI: D = (mu0/4pi) gamma_x gamma_y hbar / (2pi r^3) at r = 1 Angstrom. 1e-9
  // relative: the program's rounded 2pi differs in the 12th digit.
  double d_si = 1e-7 * 6.7283e7 * 2.712e7 * 1.05457168e-34 / 1e-30 / (2 * M_PI);
  EXPECT_NEAR(dipolar_constant_of(6.7283, 2.712), d_si, 1e-9 * d_si);
}
