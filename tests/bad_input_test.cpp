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

// What to put where the file should be.
struct Content {
  std::string text;
  bool directory = false;
};

struct Case {
  char const* name;
  File file;
  Content content;
  int status;          // 1: refused, 0: runs normally
  std::string expect;  // substring of the last stdout line (refusals)
};

Content text(std::string const& t) { return {t, false}; }
Content directory() { return {"", true}; }

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
  while (std::getline(in, l)) out += (l.compare(0, key.size() + 1, key + ":") == 0 ? raw : l) + "\n";
  return out;
}

const std::string kLong(100 * 1024, 'x');  // a 100 KB token
const std::string kNul("\0", 1);

// The parameter file of test_support names neither optional file; the
// cases of the prescribed distribution and the universal dephasing curve
// name theirs. A valid curve runs from lambda_D 0 to 1 (the set-up asks up
// to 16 x 196 Hz / 5000 Hz = 0.63).
const std::string kCurve = "0 1.0\n0.25 0.9\n0.5 0.7\n0.75 0.5\n1.0 0.35\n";
const std::string kDist = "3.0 0.2\n4.5 0.1\n";

std::vector<Case> cases() {
  std::string data_head = "# N_c S0 S ratio err\n0 1000 1000 1.0 0.02\n";  // bad line: 3
  return {
      // ---- parameter file: refusals name the key ----
      {"ParamMissingValue", File::Params, text(params_with("NEAR", "NEAR:")), 1,
       "parameter error: NEAR is 0; it must be above 0"},
      {"ParamText", File::Params, text(params_with("MAS", "MAS: fast")), 1,
       "parameter error: MAS is 0; it must be above 0"},
      {"ParamNaN", File::Params, text(params_with("FAR", "FAR: nan")), 1,
       "parameter error: FAR is nan; it must be a finite number"},
      {"ParamInf", File::Params, text(params_with("GRAIN", "GRAIN: -inf")), 1,
       "parameter error: GRAIN is -inf; it must be a finite number"},
      {"ParamHugeDouble", File::Params, text(params_with("MAS", "MAS: 1e400")), 1,
       "parameter error: MAS is inf; it must be a finite number"},
      {"ParamHugeInt", File::Params, text(params_with("PER 2PI", "PER 2PI: 99999999999")), 1,
       "parameter error: PER 2PI is 0; it must be at least 2"},
      {"ParamNegativeCount", File::Params, text(params_with("NTRIES", "NTRIES: -3")), 1,
       "parameter error: NTRIES is -3; it must not be below 0"},
      {"ParamNegativeLastPoint", File::Params, text(params_with("LAST POINT", "LAST POINT: -2")),
       1, "parameter error: LAST POINT is -2; it must not be below 0"},
      {"ParamLongValue", File::Params, text(params_with("OUTPUT", "OUTPUT: " + kLong)), 1,
       "parameter error: OUTPUT is 102400 characters long; at most 157 are allowed"},
      {"ParamLongRemark", File::Params, text(params_with("NEAR", "NEAR: 2.5 " + kLong)), 0, ""},
      {"ParamNulInText", File::Params, text(params_with("MODE", "MODE: fit" + kNul + "x")), 1,
       "parameter error: MODE is 5 characters long; at most 3 are allowed"},
      {"ParamNulAfterNumber", File::Params, text(params_with("FAR", "FAR: 6" + kNul + "5")), 0,
       ""},
      {"ParamBinary", File::Params, text(random_bytes(7, 4096)), 1,
       "detect nucleus (X) not recognized"},
      {"ParamEmpty", File::Params, text(""), 1, "detect nucleus (X) not recognized"},
      {"ParamDirectory", File::Params, directory(), 1, "Can't open input params from run.par"},
      // ---- data file: refusals name the file and the line ----
      {"DataMissingValue", File::Data, text(data_head + "4 1000\n"), 1,
       "data.dat line 3: a data line needs at least N_c, S0 and S (found only 2)"},
      {"DataText", File::Data, text(data_head + "4 1000 abc 0.9 0.02\n"), 1,
       "data.dat line 3: S \"abc\" is not a number"},
      {"DataNaN", File::Data, text(data_head + "4 NaN 960 0.96 0.02\n"), 1,
       "data.dat line 3: S0 is not a finite number"},
      {"DataInf", File::Data, text(data_head + "4 1000 inf 0.96 0.02\n"), 1,
       "data.dat line 3: S is not a finite number"},
      {"DataHugeDouble", File::Data, text(data_head + "4 1e400 960 0.96 0.02\n"), 1,
       "data.dat line 3: S0 is not a finite number"},
      {"DataHugeInt", File::Data, text(data_head + "99999999999 1000 960 0.96 0.02\n"), 1,
       "data.dat line 3: N_c \"99999999999\" is not a whole number of rotor cycles"},
      {"DataNegativeCount", File::Data, text(data_head + "-4 1000 960 0.96 0.02\n"), 1,
       "data.dat line 3: N_c -4 is negative"},
      {"DataLongToken", File::Data, text(data_head + "4 1000 " + kLong + " 0.96 0.02\n"), 1,
       "data.dat line 3: S \"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...\" is not a number"},
      {"DataLongRemark", File::Data, text(data_head + "4 1000 960 0.96 0.02 " + kLong + "\n"), 0,
       ""},
      {"DataNul", File::Data, text(data_head + "4 1000 9" + kNul + "60 0.96 0.02\n"), 1,
       "data.dat line 3: S \"9 60\" is not a number"},
      {"DataBinary", File::Data, text(random_bytes(11, 4096)), 1, "data.dat line "},
      {"DataEmpty", File::Data, text(""), 1, "data.dat: no data lines"},
      {"DataDirectory", File::Data, directory(), 1, "Can't open datafile"},
      // ---- prescribed distribution: optional, unreadable is acceptable ----
      {"DistMissingValue", File::Dist, text("3.0 0.2\n4.5\n"), 1,
       "dist.dat line 2: a prescribed-distribution line needs a distance and a density"},
      {"DistText", File::Dist, text("3.0 0.2\n4.5 half\n"), 1,
       "dist.dat line 2: density \"half\" is not a finite number"},
      {"DistNaN", File::Dist, text("nan 0.2\n"), 1,
       "dist.dat line 1: distance \"nan\" is not a finite number"},
      {"DistInf", File::Dist, text("3.0 INF\n"), 1,
       "dist.dat line 1: density \"INF\" is not a finite number"},
      {"DistHugeDouble", File::Dist, text("1e400 0.2\n"), 1,
       "dist.dat line 1: distance \"1e400\" is not a finite number"},
      {"DistHugeButFinite", File::Dist, text("3.0 0.2\n99999999999 0.1\n"), 0, ""},
      {"DistNegative", File::Dist, text("3.0 0.2\n-4.5 0.1\n"), 1,
       "dist.dat line 2: distance \"-4.5\" must be above 0"},
      {"DistLongRemark", File::Dist, text("3.0 0.2 " + kLong + "\n"), 0, ""},
      {"DistNul", File::Dist, text("3.0 0" + kNul + ".2\n"), 1,
       "dist.dat line 1: density \"0 .2\" is not a finite number"},
      {"DistBinary", File::Dist, text(random_bytes(13, 4096)), 1, "dist.dat line "},
      {"DistEmpty", File::Dist, text(""), 0, ""},
      {"DistDirectory", File::Dist, directory(), 0, ""},
      // ---- universal dephasing curve: optional, unreadable is acceptable ----
      {"CurveMissingValue", File::Curve, text("0 1.0\n0.25\n"), 1,
       "curve.dat line 2: a curve line needs lambda_D and S/S0"},
      {"CurveText", File::Curve, text("0 1.0\n0.25 high\n"), 1,
       "curve.dat line 2: S/S0 \"high\" is not a finite number"},
      {"CurveNaN", File::Curve, text("0 1.0\nnan 0.9\n"), 1,
       "curve.dat line 2: lambda_D \"nan\" is not a finite number"},
      {"CurveInf", File::Curve, text("0 inf\n"), 1,
       "curve.dat line 1: S/S0 \"inf\" is not a finite number"},
      {"CurveHugeDouble", File::Curve, text("0 1.0\n1e400 0.1\n"), 1,
       "curve.dat line 2: lambda_D \"1e400\" is not a finite number"},
      {"CurveHugeGap", File::Curve, text("0 1.0\n99999999999 0.1\n"), 1,
       "input REDOR curve not long enough"},
      {"CurveNegative", File::Curve, text("-0.25 1.0\n0 1.0\n"), 1,
       "curve.dat line 1: the curve must start at lambda_D 0"},
      {"CurveDescending", File::Curve, text("0 1.0\n0.5 0.7\n0.25 0.9\n"), 1,
       "curve.dat line 3: lambda_D values must strictly ascend"},
      {"CurveLongRemark", File::Curve, text("# " + kLong + "\n" + kCurve), 0, ""},
      {"CurveNul", File::Curve, text("0 1.0\n0.25 0.9" + kNul + "\n"), 1,
       "curve.dat line 2: S/S0 \"0.9 \" is not a finite number"},
      {"CurveBinary", File::Curve, text(random_bytes(17, 4096)), 1, "curve.dat"},
      {"CurveEmpty", File::Curve, text(""), 1,
       "curve.dat: no point of the curve lies at or below lambda_D"},
      {"CurveDirectory", File::Curve, directory(), 0, ""},
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
  TempDir d;
  std::string bin = install_stub_gnuplot(d.path());
  char const* names[] = {"run.par", "data.dat", "dist.dat", "curve.dat"};
  std::string target = d.file(names[static_cast<int>(c.file)]);
  // Every other file is valid; the case's file replaces its own. The
  // optional files are named only in their own cases.
  std::map<std::string, std::string> named;
  if (c.file == File::Dist) named["DISTDIST"] = "dist.dat";
  if (c.file == File::Curve) named["LAMBDA_D"] = "curve.dat";
  write_file(d.file("run.par"), param_text(named));
  write_file(d.file("data.dat"), small_data());
  write_file(d.file("dist.dat"), kDist);
  write_file(d.file("curve.dat"), kCurve);
  if (c.content.directory) {
    std::filesystem::remove(target);
    std::filesystem::create_directory(target);
  } else {
    write_file(target, c.content.text);
  }
  // "timeout" stops a run that hangs (status 124, which fails the test).
  RunResult r = run_redordist(d.path(), {"run.par"}, bin, {"timeout 60"});
  ASSERT_EQ(r.status, c.status) << "stdout:\n" << r.out.substr(0, 2000);
  EXPECT_EQ(r.err, "") << "nothing (no sanitizer report) on standard error";
  if (c.status == 0) {
    EXPECT_TRUE(exists(d.file("run/run.me"))) << "no result table";
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
  TempDir d;
  std::string bin = install_stub_gnuplot(d.path());
  write_file(d.file("data.dat"), small_data());
  write_file(d.file("dev.par"), param_text({{"XYDATA", "/dev/zero"}}));
  RunResult r = run_redordist(d.path(), {"dev.par"}, bin, {"timeout 60"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(last_line(r.out), "Can't open datafile");
  // A device as the universal curve selects the powder average.
  write_file(d.file("curve.par"), param_text({{"LAMBDA_D", "/dev/zero"}, {"OUTPUT", "c"}}));
  r = run_redordist(d.path(), {"curve.par"}, bin, {"timeout 60"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Filling transform matrix elements. "), std::string::npos);
}
