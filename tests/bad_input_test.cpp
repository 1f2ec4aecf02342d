// Bad inputs of every kind in each of the four input files, each run end to
// end: a refusal is one line on standard output naming the file and the line
// (data files) or the key (parameter file) and ends with status 1; an
// acceptable input runs to the end with status 0. No run may crash or leave
// a sanitizer report.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "tests/test_support.h"

using namespace testsupport;

namespace {

enum class File { Params, Data, Dist, Curve };

// What to put where the file should be: its text, or kDirectory for a
// directory of that name. A case without an expected refusal runs normally.
const std::string kDirectory = "<directory>";
struct Case {
  char const* name;
  File file;
  std::string content;
  std::string expect;  // substring of the last stdout line; empty: accepted
};

std::string random_bytes(unsigned seed, size_t n) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(gen() & 0xff);
  return s;
}

// The default parameter file with the line of one key replaced by raw text.
std::string params_with(std::string const& key, std::string const& raw) {
  std::istringstream in(param_text());
  std::string out, l;
  while (std::getline(in, l))
    out += (l.compare(0, key.size() + 1, key + ":") == 0 ? raw : l) + "\n";
  return out;
}

const std::string kLong(100 * 1024, 'x');  // a 100 KB token
const std::string kNul("\0", 1);

// A valid curve runs from lambda_D 0 to 1 (the set-up asks up to
// 16 x 196 Hz / 5000 Hz = 0.63).
const std::string kCurve = "0 1.0\n0.25 0.9\n0.5 0.7\n0.75 0.5\n1.0 0.35\n";

std::vector<Case> cases() {
  const File P = File::Params, D = File::Data, R = File::Dist, C = File::Curve;
  std::string data_head = "# N_c S0 S ratio err\n0 1000 1000 1.0 0.02\n";  // bad line: 3
  return {
      // ---- parameter file: refusals name the key ----
      {"ParamMissingValue", P, params_with("NEAR", "NEAR:"),
       "parameter error: NEAR is 0; it must be above 0"},
      {"ParamText", P, params_with("MAS", "MAS: fast"),
       "parameter error: MAS is 0; it must be above 0"},
      {"ParamNaN", P, params_with("FAR", "FAR: nan"),
       "parameter error: FAR is nan; it must be a finite number"},
      {"ParamInf", P, params_with("GRAIN", "GRAIN: -inf"),
       "parameter error: GRAIN is -inf; it must be a finite number"},
      {"ParamHugeDouble", P, params_with("MAS", "MAS: 1e400"),
       "parameter error: MAS is inf; it must be a finite number"},
      {"ParamHugeInt", P, params_with("PER 2PI", "PER 2PI: 99999999999"),
       "parameter error: PER 2PI is 0; it must be at least 2"},
      {"ParamNegativeCount", P, params_with("NTRIES", "NTRIES: -3"),
       "parameter error: NTRIES is -3; it must not be below 0"},
      {"ParamNegativeLastPoint", P, params_with("LAST POINT", "LAST POINT: -2"),
       "parameter error: LAST POINT is -2; it must not be below 0"},
      {"ParamLongValue", P, params_with("OUTPUT", "OUTPUT: " + kLong),
       "parameter error: OUTPUT is 102400 characters long; at most 157 are allowed"},
      {"ParamLongRemark", P, params_with("NEAR", "NEAR: 2.5 " + kLong), ""},
      {"ParamNulInText", P, params_with("MODE", "MODE: fit" + kNul + "x"),
       "parameter error: MODE is 5 characters long; at most 3 are allowed"},
      {"ParamNulAfterNumber", P, params_with("FAR", "FAR: 6" + kNul + "5"), ""},
      {"ParamBinary", P, random_bytes(7, 4096), "detect nucleus (X) not recognized"},
      {"ParamEmpty", P, "", "detect nucleus (X) not recognized"},
      {"ParamDirectory", P, kDirectory, "Can't open input params from p.par"},
      // ---- data file: refusals name the file and the line ----
      {"DataMissingValue", D, data_head + "4 1000\n",
       "data.dat line 3: a data line needs at least N_c, S0 and S (found only 2)"},
      {"DataText", D, data_head + "4 1000 abc 0.9 0.02\n",
       "data.dat line 3: S \"abc\" is not a number"},
      {"DataNaN", D, data_head + "4 NaN 960 0.96 0.02\n",
       "data.dat line 3: S0 is not a finite number"},
      {"DataInf", D, data_head + "4 1000 inf 0.96 0.02\n",
       "data.dat line 3: S is not a finite number"},
      {"DataHugeDouble", D, data_head + "4 1e400 960 0.96 0.02\n",
       "data.dat line 3: S0 is not a finite number"},
      {"DataHugeInt", D, data_head + "99999999999 1000 960 0.96 0.02\n",
       "data.dat line 3: N_c \"99999999999\" is not a whole number of rotor cycles"},
      {"DataNegativeCount", D, data_head + "-4 1000 960 0.96 0.02\n",
       "data.dat line 3: N_c -4 is negative"},
      {"DataLongToken", D, data_head + "4 1000 " + kLong + " 0.96 0.02\n",
       "data.dat line 3: S \"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...\" is not a number"},
      {"DataLongRemark", D, data_head + "4 1000 960 0.96 0.02 " + kLong + "\n", ""},
      {"DataNul", D, data_head + "4 1000 9" + kNul + "60 0.96 0.02\n",
       "data.dat line 3: S \"9 60\" is not a number"},
      {"DataBinary", D, random_bytes(11, 4096), "data.dat line "},
      {"DataEmpty", D, "", "data.dat: no data lines"},
      {"DataDirectory", D, kDirectory, "Can't open datafile"},
      // ---- prescribed distribution: optional, unreadable is acceptable ----
      {"DistMissingValue", R, "3.0 0.2\n4.5\n",
       "dist.dat line 2: a prescribed-distribution line needs a distance and a density"},
      {"DistText", R, "# r p\n3.0 0.2\n4.5 half\n",  // the comment line is counted
       "dist.dat line 3: density \"half\" is not a finite number"},
      {"DistNaN", R, "nan 0.2\n", "dist.dat line 1: distance \"nan\" is not a finite number"},
      {"DistInf", R, "3.0 INF\n", "dist.dat line 1: density \"INF\" is not a finite number"},
      {"DistHugeDouble", R, "1e400 0.2\n",
       "dist.dat line 1: distance \"1e400\" is not a finite number"},
      {"DistHugeButFinite", R, "3.0 0.2\n99999999999 0.1\n", ""},
      {"DistNegative", R, "3.0 0.2\n-4.5 0.1\n",
       "dist.dat line 2: distance \"-4.5\" must be above 0"},
      {"DistLongRemark", R, "3.0 0.2 " + kLong + "\n", ""},
      {"DistNul", R, "3.0 0" + kNul + ".2\n",
       "dist.dat line 1: density \"0 .2\" is not a finite number"},
      {"DistBinary", R, random_bytes(13, 4096), "dist.dat line "},
      {"DistEmpty", R, "", ""},
      {"DistDirectory", R, kDirectory, ""},
      // ---- universal dephasing curve: optional, unreadable is acceptable ----
      {"CurveMissingValue", C, "0 1.0\n0.25\n",
       "curve.dat line 2: a curve line needs lambda_D and S/S0"},
      {"CurveText", C, "0 1.0\n0.25 high\n",
       "curve.dat line 2: S/S0 \"high\" is not a finite number"},
      {"CurveNaN", C, "0 1.0\nnan 0.9\n",
       "curve.dat line 2: lambda_D \"nan\" is not a finite number"},
      {"CurveInf", C, "0 inf\n", "curve.dat line 1: S/S0 \"inf\" is not a finite number"},
      {"CurveHugeDouble", C, "0 1.0\n1e400 0.1\n",
       "curve.dat line 2: lambda_D \"1e400\" is not a finite number"},
      {"CurveHugeGap", C, "0 1.0\n99999999999 0.1\n", "input REDOR curve not long enough"},
      {"CurveNegative", C, "-0.25 1.0\n0 1.0\n",
       "curve.dat line 1: the curve must start at lambda_D 0"},
      {"CurveLongRemark", C, "# " + kLong + "\n" + kCurve, ""},
      {"CurveNul", C, "0 1.0\n0.25 0.9" + kNul + "\n",
       "curve.dat line 2: S/S0 \"0.9 \" is not a finite number"},
      {"CurveBinary", C, random_bytes(17, 4096), "curve.dat"},
      {"CurveEmpty", C, "", "curve.dat: no point of the curve lies at or below lambda_D"},
      {"CurveDirectory", C, kDirectory, ""},
  };
}

class BadInput : public ::testing::TestWithParam<Case> {};

std::string last_line(std::string const& out) {
  if (out.empty() || out.back() != '\n') return "(output does not end in a newline)";
  size_t nl = out.size() < 2 ? std::string::npos : out.rfind('\n', out.size() - 2);
  size_t start = nl == std::string::npos ? 0 : nl + 1;
  return out.substr(start, out.size() - 1 - start);
}

}  // namespace

TEST_P(BadInput, RefusedCleanlyOrRunsNormally) {
  Case const& c = GetParam();
  Workspace w;  // the small data set and a stub gnuplot
  char const* names[] = {"p.par", "data.dat", "dist.dat", "curve.dat"};
  std::string target = w.dir.file(names[static_cast<int>(c.file)]);
  // The default parameter file names neither optional file; their cases
  // name theirs. The case's file replaces its own.
  std::map<std::string, std::string> named;
  if (c.file == File::Dist) named["DISTDIST"] = "dist.dat";
  if (c.file == File::Curve) named["LAMBDA_D"] = "curve.dat";
  write_file(w.dir.file("p.par"), param_text(named));
  std::filesystem::remove(target);
  if (c.content == kDirectory)
    std::filesystem::create_directory(target);
  else
    write_file(target, c.content);
  // "timeout" stops a run that hangs (status 124, which fails the test).
  RunResult r = run_redordist(w.dir.path(), {"p.par"}, w.bin, {"timeout 60"});
  ASSERT_EQ(r.status, c.expect.empty() ? 0 : 1) << "stdout:\n" << r.out.substr(0, 2000);
  EXPECT_EQ(r.err, "") << "nothing (no sanitizer report) on standard error";
  if (c.expect.empty()) {
    EXPECT_TRUE(exists(w.dir.file("run/run.me"))) << "no result table";
  } else {
    // The refusal is the last line of the output, whole, and short.
    std::string l = last_line(r.out);
    EXPECT_NE(l.find(c.expect), std::string::npos) << "last line: " << l;
    EXPECT_LT(l.size(), 300u);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, BadInput, ::testing::ValuesIn(cases()),
                         [](auto const& info) { return std::string(info.param.name); });

// Devices and FIFOs are not input files: /dev/zero would never end and a FIFO
// could block for ever. They read as files that cannot be opened.
TEST(BadInputSpecialFiles, DeviceAsDataOrCurveIsNotRead) {
  Workspace w;
  RunResult r = w.run({{"XYDATA", "/dev/zero"}}, {"timeout 60"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(last_line(r.out), "Can't open datafile");
  // A device as the universal curve selects the powder average.
  r = w.run({{"LAMBDA_D", "/dev/zero"}}, {"timeout 60"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Filling transform matrix elements. "), std::string::npos);
}
