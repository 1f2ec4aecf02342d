// End-to-end construction of the model: matching of the data to the cycle
// grid, the prescribed distribution's curve, progress output, matrix dumps,
// log sections and the refusals that need the whole set-up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "test_support.h"

using namespace testsupport;

namespace {

// 13C-15N dipolar constant, Hz Angstrom^3: gamma_C gamma_N hbar (mu0/4pi) / 2pi.
const double kDc = 6.7283 * 2.712 * 1.05457168 * 1000 / 6.28318530718;
const int kGrid = 9;  // param_text(): NEAR 2.5, FAR 6, GRAIN 0.5 -> 2.5 .. 6.5
double grid_coupling(int i) { return kDc / std::pow(2.5 + 0.5 * i, 3); }

// Linear universal curve S/S0 = 1 - lambda/2 at lambda = 0, 0.05, ..., last:
// interpolation in it is exact up to rounding.
std::string linear_curve(double last) {
  std::string c = "# lambda_D S/S0\n";
  for (int i = 0; i * 0.05 <= last + 1e-9; i++)
    c += std::to_string(i * 0.05) + " " + std::to_string(1 - 0.025 * i) + "\n";
  return c;
}

class Construction : public ::testing::Test, protected Workspace {
 protected:
  RunResult run(std::map<std::string, std::string> over, std::string const& data,
                std::string const& dd = "", std::string const& curve = "") {
    std::filesystem::remove_all(dir.file("run"));
    write_file(dir.file("data.dat"), data);
    if (!dd.empty()) write_file(dir.file("dd.dat"), dd), over["DISTDIST"] = "dd.dat";
    if (!curve.empty()) write_file(dir.file("curve.dat"), curve), over["LAMBDA_D"] = "curve.dat";
    return Workspace::run(over);
  }
};

// lambda_max = 8 * D(2.5 A) / 5000 Hz for an effective last point of 8.
const std::string kLambdaMax = "maximum lambdaD value in analysis set-up: 0.313611\n";

TEST_F(Construction, PowderMatrixRowsFollowCycleCounts) {
  // Unsorted data, N_c 8 twice; LAST POINT 0 -> 8, n_cycles 5.
  RunResult r = run({{"MODE", "fit"}}, "8 1000 700 1 0.02\n0 1000 1000 1 0.02\n4 1000 900 1 0.02\n"
                                       "8 1000 710 1 0.02\n2 1000 980 1 0.02\n");
  ASSERT_EQ(r.status, 0) << r.out;
  std::string progress =
      kLambdaMax + "Filling transform matrix elements. \n Of 4: " + progress_counter(5) + "\n";
  EXPECT_EQ(r.out.substr(0, progress.size()), progress);
  auto m = table_rows(out(".mx")), mt = table_rows(out(".mxT"));
  ASSERT_EQ(m.size(), 5u);
  ASSERT_EQ(mt.size(), size_t(kGrid));
  const int nc[5] = {8, 0, 4, 8, 2};
  for (int k = 0; k < 5; k++)
    for (int i = 0; i < kGrid; i++) {
      // Row k is the grid row j = N_c / 2; values <= 1 printed to 6 decimals (5e-7).
      EXPECT_NEAR(std::stod(m[k].at(i)), powder_reference(24, 5000, 0, grid_coupling(i), nc[k] / 2),
                  6e-7) << k << "," << i;
      EXPECT_EQ(mt[i].at(k), m[k][i]);
    }
  EXPECT_EQ(m[0], m[3]);  // the same N_c shares its row
}

TEST_F(Construction, SimulationWithPowderPrescribedDistribution) {
  // Prescribed 3.0 A (0.6) and 4.5 A (0.4): its curve is their weighted
  // kernels. Comments and blank lines in it are skipped; the last lines of
  // both files (data: err 0) have no newline.
  RunResult r = run({{"MODE", "sim"}, {"LAST POINT", "8"}},
                    "4 1000 960 0.96 0.02\n0 1000 1000 1.0 0.02\n4 1000 950 1 0",
                    "# r p\n3.0 0.6\n\n  \n# between\n4.5 0.4");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("for data adjustment. \n Of 4: " + progress_counter(5) +
                       "\nadjustment calculated: totaladjustdensity 1\n\n"),
            std::string::npos) << r.out;
  // Mode "sim" without a universal curve leaves the grid matrix zero.
  std::string row;
  for (int i = 0; i < kGrid; i++) row += "0.000000e+00 ";
  EXPECT_EQ(out(".mx"), row + "\n" + row + "\n" + row + "\n");

  auto me = table_rows(out(".me"));
  ASSERT_GE(me.size(), 5u);
  for (int j = 0; j < 5; j++)  // column 22, Smooth_adjust, printed with 8 decimals
    EXPECT_NEAR(std::stod(me[j].at(21)),
                0.6 * powder_reference(24, 5000, 0, kDc / 27.0, j) +
                    0.4 * powder_reference(24, 5000, 0, kDc / 91.125, j),
                6e-9) << j;
  // fit_adjust (column 15) takes Smooth_adjust at j = N_c / 2.
  EXPECT_EQ((std::vector<std::string>{me[0][14], me[1][14], me[2][14]}),
            (std::vector<std::string>{me[2][21], me[0][21], me[2][21]}));

  std::string log = mask_times(out(".log"));
  EXPECT_EQ(log.substr(log.find("Data from ")),
            "Data from data.dat\n"
            "cycles:   4 So: 1.0000e+03 S: 9.6000e+02 S/So 9.6000e-01 err 2.0000e-02\n"
            "cycles:   0 So: 1.0000e+03 S: 1.0000e+03 S/So 1.0000e+00 err 2.0000e-02\n"
            "cycles:   4 So: 1.0000e+03 S: 9.5000e+02 S/So 9.5000e-01 err 1.0000e+00\n"
            "\nPrescribed distance distribution (for simulation or forced into BME reconstruction\n"
            "3.0000e+00 6.0000e-01\n4.5000e+00 4.0000e-01\n" + kLambdaMax +
            "\n * * * * * * * * RAW DATA * * * * * * * * \ntime: <time>\n\n");
}

TEST_F(Construction, UniversalCurve) {
  // PER 2PI is not used with a curve, so 1 is accepted.
  RunResult r = run({{"MODE", "sim"}, {"PER 2PI", "1"}},
                    "0 1000 1000 1 0.02\n2 1000 990 1 0.02\n8 1000 900 1 0.02\n4 1000 950 1 0.02\n",
                    "3.0 1.0\n", linear_curve(1.0));
  ASSERT_EQ(r.status, 0) << r.out;
  // Only the points up to lambda_max are read: 0, 0.05, ..., 0.30.
  EXPECT_NE(r.out.find("Size of input universal dephasing vector: 7\n"), std::string::npos);
  auto m = table_rows(out(".mx")), me = table_rows(out(".me"));
  ASSERT_EQ(m.size(), 4u);
  const int nc[4] = {0, 2, 8, 4};
  for (int k = 0; k < 4; k++)
    for (int i = 0; i < kGrid; i++)  // values <= 1 printed to 6 decimals
      EXPECT_NEAR(std::stod(m[k].at(i)), 1 - 0.5 * (nc[k] / 2) * grid_coupling(i) / 5000, 6e-7);
  for (int j = 0; j < 5; j++)  // Smooth_adjust, 8 decimals
    EXPECT_NEAR(std::stod(me.at(j).at(21)), 1 - 0.5 * j * (kDc / 27.0) / 5000, 6e-9) << j;
}

// (The refusals of single input files, a curve that ends too early among
// them, are in the reader tests and the table of bad inputs.)
TEST_F(Construction, Refusals) {
  struct { std::map<std::string, std::string> over; std::string dd, curve, message; } cases[] = {
      {{{"PER 2PI", "1"}}, "", "",
       "parameter error: PER 2PI is 1; it must be at least 2 for the powder average "
       "(no LAMBDA_D file could be opened)\n"},
      // NEAR 3: a prescribed 2 A needs lambda_D 0.31, beyond lambda_max 0.18
      // where the curve is cut.
      {{{"NEAR", "3.0"}}, "2.0 1.0\n", linear_curve(1.0),
       "forced distances.\n Of 0:     0input REDOR curve not long enough\n"}};
  for (auto const& c : cases) {
    RunResult r =
        run(c.over, "0 1000 1000 1 0.02\n4 1000 950 1 0.02\n8 1000 900 1 0.02\n", c.dd, c.curve);
    size_t n = std::min(r.out.size(), c.message.size());
    EXPECT_EQ(std::to_string(r.status) + " " + r.out.substr(r.out.size() - n), "1 " + c.message);
    // Refused before the dump: no matrix file, and a log (if any) without end time.
    EXPECT_FALSE(exists(dir.file("run/run.mx"))) << c.message;
    EXPECT_EQ(out(".log").find("time:"), std::string::npos) << c.message;
  }
}

}  // namespace
