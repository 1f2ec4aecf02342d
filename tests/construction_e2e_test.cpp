// End-to-end construction of the model: matching of the data to the cycle
// grid, the prescribed distribution's curve, progress output, matrix dumps,
// log sections and the refusals of the inputs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

using namespace testsupport;

namespace {

// 13C-15N dipolar constant, Hz Angstrom^3: gamma_C gamma_N hbar (mu0/4pi) / 2pi.
const double kDc = 6.7283 * 2.712 * 1.05457168 * 1000 / 6.28318530718;
const int kGrid = 9;  // param_text(): NEAR 2.5, FAR 6, GRAIN 0.5 -> 2.5 .. 6.5
double grid_coupling(int i) { return kDc / std::pow(2.5 + 0.5 * i, 3); }

// The powder average written out directly (MID PULSE 0, angles in place).
double powder(int P, double mas, double D, int j) {
  double step = 6.28318530718 / P, amp = 4.0 * std::sqrt(2.0) * (j * D / mas), t = 0.0;
  for (int k = 0; k < P / 2; k++)
    for (int m = 0; m < P; m++) t += std::sin(k * step) * std::cos(amp * std::sin(2.0 * k * step) * std::sin(m * step));
  return t * 3.141593 / P / P;
}

// White-space separated fields of each line ("#" lines skipped on request).
std::vector<std::vector<std::string>> table(std::string const& text, bool skip_comments = false) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) {
    if (skip_comments && l.compare(0, 1, "#") == 0) continue;
    std::istringstream ls(l);
    rows.emplace_back();
    for (std::string t; ls >> t;) rows.back().push_back(t);
  }
  return rows;
}

// A dump of rows lines of cols values, each "%10.6le " (a space after every value).
bool dump_layout(std::string const& text, int rows, int cols) {
  std::string v = "(-?[0-9]\\.[0-9]{6}e[-+][0-9]{2} )";
  return std::regex_match(text, std::regex("(" + v + "{" + std::to_string(cols) + "}\n){" + std::to_string(rows) + "}"));
}

// The progress counter 0 .. n-1, each value followed by as many backspaces as its width.
std::string counters(int n, char const* fmt, int width) {
  std::string s;
  char b[16];
  for (int i = 0; i < n; i++) std::snprintf(b, sizeof b, fmt, i), s += b + std::string(width, '\b');
  return s;
}

bool starts_with(std::string const& s, std::string const& p) { return s.compare(0, p.size(), p) == 0; }
bool ends_with(std::string const& s, std::string const& p) {
  return s.size() >= p.size() && s.compare(s.size() - p.size(), p.size(), p) == 0;
}

// Linear universal curve S/S0 = 1 - lambda/2 at lambda = 0, 0.05, ..., last:
// interpolation in it is exact up to rounding.
std::string linear_curve(double last = 1.0) {
  std::string c = "# lambda_D S/S0\n";
  char b[64];
  for (int i = 0; i * 0.05 <= last + 1e-9; i++) std::snprintf(b, sizeof b, "%.2f %.6f\n", i * 0.05, 1 - 0.025 * i), c += b;
  return c;
}

class Construction : public ::testing::Test {
 protected:
  TempDir td;
  std::string bin = install_stub_gnuplot(td.path());
  RunResult run(std::map<std::string, std::string> over, std::string const& data,
                std::string const& dd = "", std::string const& curve = "") {
    std::filesystem::remove_all(td.file("run"));
    write_file(td.file("data.dat"), data);
    if (!dd.empty()) write_file(td.file("dd.dat"), dd), over["DISTDIST"] = "dd.dat";
    if (!curve.empty()) write_file(td.file("curve.dat"), curve), over["LAMBDA_D"] = "curve.dat";
    write_file(td.file("p.par"), param_text(over));
    return run_redordist(td.path(), {"p.par"}, bin);
  }
  std::string out(std::string const& ext) { return read_file(td.file("run/run" + ext)); }
};

// lambda_max = 8 * D(2.5 A) / 5000 Hz for an effective last point of 8.
const std::string kLambdaMax = "maximum lambdaD value in analysis set-up: 0.313611\n";

TEST_F(Construction, PowderMatrixRowsFollowCycleCounts) {
  // Unsorted data, N_c 8 twice; LAST POINT 0 -> 8, n_cycles 5.
  RunResult r = run({{"MODE", "fit"}}, "8 1000 700 1 0.02\n0 1000 1000 1 0.02\n4 1000 900 1 0.02\n"
                                       "8 1000 710 1 0.02\n2 1000 980 1 0.02\n");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(starts_with(r.out, kLambdaMax + "Filling transform matrix elements. \n Of 4: " +
                                     counters(5, "%4i", 4) + "\n")) << r.out;
  EXPECT_EQ(r.out.find("adjustment calculated"), std::string::npos);
  EXPECT_EQ(out(".log").find("RAW DATA"), std::string::npos);
  EXPECT_TRUE(dump_layout(out(".mx"), 5, kGrid)) << out(".mx");
  EXPECT_TRUE(dump_layout(out(".mxT"), kGrid, 5)) << out(".mxT");
  auto m = table(out(".mx")), mt = table(out(".mxT"));
  ASSERT_EQ(m.size(), 5u);
  ASSERT_EQ(mt.size(), size_t(kGrid));
  const int nc[5] = {8, 0, 4, 8, 2};
  for (int k = 0; k < 5; k++)
    for (int i = 0; i < kGrid; i++) {
      // Row k is the grid row j = N_c / 2; values <= 1 printed to 6 decimals (5e-7).
      EXPECT_NEAR(std::stod(m[k].at(i)), powder(24, 5000, grid_coupling(i), nc[k] / 2), 6e-7) << k << "," << i;
      EXPECT_EQ(mt[i].at(k), m[k][i]);
    }
  EXPECT_EQ(m[0], m[3]);  // the same N_c shares its row
}

TEST_F(Construction, SimulationWithPowderPrescribedDistribution) {
  // One prescribed distance of density 1.0: its curve is the kernel of 3.0 A.
  RunResult r = run({{"MODE", "sim"}, {"LAST POINT", "8"}},
                    "4 1000 960 0.96 0.02\n0 1000 1000 1.0 0.02\n4 1000 950 1 0\n", "3.0 1.0\n");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(starts_with(r.out, kLambdaMax + "Filling transform matrix elements for data adjustment. \n Of 4: " +
                                     counters(5, "%4i", 4) + "\nadjustment calculated: totaladjustdensity 1\n\n"))
      << r.out;
  // Mode "sim" without a universal curve leaves the grid matrix zero.
  std::string z = "0.000000e+00 ", row = z + z + z + z + z + z + z + z + z + "\n";
  EXPECT_EQ(out(".mx"), row + row + row);
  EXPECT_TRUE(std::regex_match(out(".mxT"), std::regex("(0\\.000000e\\+00 0\\.000000e\\+00 0\\.000000e\\+00 \n){9}")));

  auto me = table(out(".me"), true);
  ASSERT_GE(me.size(), 5u);
  for (int j = 0; j < 5; j++)  // column 22, Smooth_adjust, printed with 8 decimals
    EXPECT_NEAR(std::stod(me[j].at(21)), powder(24, 5000, kDc / 27.0, j), 6e-9) << j;
  // fit_adjust (column 15) takes Smooth_adjust at j = N_c / 2.
  EXPECT_EQ(me[0][14], me[2][21]);
  EXPECT_EQ(me[1][14], me[0][21]);
  EXPECT_EQ(me[2][14], me[2][21]);

  std::string log = mask_times(out(".log"));
  size_t at = log.find("Data from ");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(log.substr(at),
            "Data from data.dat\n"
            "cycles:   4 So: 1.0000e+03 S: 9.6000e+02 S/So 9.6000e-01 err 2.0000e-02\n"
            "cycles:   0 So: 1.0000e+03 S: 1.0000e+03 S/So 1.0000e+00 err 2.0000e-02\n"
            "cycles:   4 So: 1.0000e+03 S: 9.5000e+02 S/So 9.5000e-01 err 1.0000e+00\n"
            "\nPrescribed distance distribution (for simulation or forced into BME reconstruction\n"
            "3.0000e+00 1.0000e+00\n" + kLambdaMax +
            "\n * * * * * * * * RAW DATA * * * * * * * * \ntime: <time>\n\n");
}

TEST_F(Construction, UniversalCurve) {
  // PER 2PI is not used with a curve, so 1 is accepted.
  RunResult r = run({{"MODE", "sim"}, {"PER 2PI", "1"}},
                    "0 1000 1000 1 0.02\n2 1000 990 1 0.02\n8 1000 900 1 0.02\n4 1000 950 1 0.02\n",
                    "3.0 1.0\n", linear_curve());
  ASSERT_EQ(r.status, 0) << r.out;
  // Only the points up to lambda_max are read: 0, 0.05, ..., 0.30.
  EXPECT_TRUE(starts_with(r.out, kLambdaMax + "reading matrix values from file\n"
                                 "Size of input universal dephasing vector: 7\n"
                                 "Filling transform matrix elements for forced distances.\n Of 0: " +
                                     counters(1, "%5i", 5) +
                                     "\nFilling transform matrix elements (distance,cycles). \n Of 8: " +
                                     counters(kGrid, "%5i", 5) + "\nadjustment calculated: totaladjustdensity 1\n\n"))
      << r.out;
  auto m = table(out(".mx"));
  ASSERT_EQ(m.size(), 4u);
  const int nc[4] = {0, 2, 8, 4};
  for (int k = 0; k < 4; k++)
    for (int i = 0; i < kGrid; i++)  // values <= 1 printed to 6 decimals
      EXPECT_NEAR(std::stod(m[k].at(i)), 1 - 0.5 * (nc[k] / 2) * grid_coupling(i) / 5000, 6e-7);
  EXPECT_EQ(m[0], std::vector<std::string>(kGrid, "1.000000e+00"));  // the curve's 1.0 at lambda 0
  auto me = table(out(".me"), true);
  for (int j = 0; j < 5; j++)  // Smooth_adjust, 8 decimals
    EXPECT_NEAR(std::stod(me.at(j).at(21)), 1 - 0.5 * j * (kDc / 27.0) / 5000, 6e-9) << j;
}

TEST_F(Construction, Refusals) {
  const std::string good = "0 1000 1000 1 0.02\n4 1000 950 1 0.02\n8 1000 900 1 0.02\n";
  struct Case { std::map<std::string, std::string> over; std::string data, dd, curve, message; } cases[] = {
      {{{"PER 2PI", "1"}}, good, "", "",
       "parameter error: PER 2PI is 1; it must be at least 2 for the powder average (no LAMBDA_D file could be opened)\n"},
      {{}, "0 1000 1000 1 0.02\n3 1000 950 1 0.02\n", "", "",
       "data.dat line 2: N_c 3 is odd; REDOR points lie at even rotor-cycle counts\n"},
      {{{"LAST POINT", "4"}}, good, "", "",
       "data.dat line 3: N_c 8 lies beyond LAST POINT 4 (LAST POINT is smaller than the data's largest cycle count)\n"},
      {{}, "# no data\n\n", "", "", "data.dat: no data lines\n"},
      {{}, "0 0 1 1 0.02\n", "", "", "data.dat line 1: S0 is 0, so S/S0 cannot be formed\n"},
      {{}, "0 1000 1000 1 0.02\n2 1000\n", "", "", "data.dat line 2: a data line needs at least N_c, S0 and S (found 2 values)\n"},
      {{{"XYDATA", "nothing.dat"}}, good, "", "", "Can't open datafile\n"},
      {{}, good, "3.0\n", "", "dd.dat line 1: a prescribed-distribution line needs a distance and a density\n"},
      {{}, good, "", "0.1 0.99\n0.2 0.9\n", "curve.dat line 1: the curve must start at lambda_D 0\n"},
      // The grid needs lambda_D up to 4 * D(2.5 A) / 5000 = 0.157.
      {{}, good, "", linear_curve(0.1), "input REDOR curve not long enough\n"},
      // NEAR 3: a prescribed 2 A needs lambda_D 0.31, beyond lambda_max 0.18 where the curve is cut.
      {{{"NEAR", "3.0"}}, good, "2.0 1.0\n", linear_curve(10.0),
       "forced distances.\n Of 0:     0input REDOR curve not long enough\n"},
  };
  for (auto const& c : cases) {
    std::filesystem::remove(td.file("dd.dat"));
    std::filesystem::remove(td.file("curve.dat"));
    RunResult r = run(c.over, c.data, c.dd, c.curve);
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_TRUE(ends_with(r.out, c.message)) << r.out;
    // Refused before the dump: no matrix file, and a log (if any) without end time.
    EXPECT_FALSE(exists(td.file("run/run.mx"))) << c.message;
    EXPECT_EQ(out(".log").find("time:"), std::string::npos) << c.message;
  }
}

}  // namespace
