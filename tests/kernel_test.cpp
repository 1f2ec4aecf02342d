// The REDOR kernel and the model built around it: the powder average against
// a direct evaluation and the exact limit, interpolation in a universal
// curve, the grid, the simulation grid of cycle counts, and the transform
// matrices (filled on two threads) with the curve of a prescribed distribution.
#include <gsl/gsl_sf_bessel.h>

#include <cstring>

#include <omp.h>

#include "tests/test_support.h"

using namespace ts;

// The progress counter of a fill of n rows on a terminal: each index in
// `width` columns, the line rewritten after a carriage return.
static std::string progress_counter(int n, size_t width = 4) {
  std::string s;
  for (int i = 0; i < n; i++) s += "\r Of " + std::to_string(n - 1) + ": " + std::string(width - std::to_string(i).size(), ' ') + std::to_string(i);
  return s;
}

// The REDOR powder average written out directly: beta = k*step over [0, pi)
// weighted by sin(beta), gamma = m*step + phase over a turn, normalised with
// 3.141593 / P^2; every sine evaluated in place.
static double powder_reference(int P, double mas, double mid_pulse_us, double coupling, int j) {
  const double turn = 6.28318530718, step = turn / P, phase = turn * mid_pulse_us * 1e-6 * mas;
  const double amp = 4.0 * std::sqrt(2.0) * (j * coupling / mas);
  double total = 0.0;
  for (int k = 0; k < P / 2; k++)
    for (int m = 0; m < P; m++)
      total += std::sin(k * step) * std::cos(amp * std::sin(2.0 * k * step) * std::sin(m * step + phase));
  return total * 3.141593 / P / P;
}

// 13C-15N coupling at r Angstrom, Hz.
static double coupling(Paar const& p, double r) { return p.setup->dipolar_constant / std::pow(r, 3.0); }

// Exact powder average of cos(a sin 2beta sin gamma): the gamma average is
// J0(a sin 2beta); the beta average (1/2) int_0^pi sin(beta) J0(..) by
// Simpson's rule on 4000 panels (error ~ h^4, far below 1e-10).
static double analytic_powder(double a) {
  const int n = 4000;
  double h = M_PI / n, s = 0.0;
  for (int i = 0; i <= n; i++)
    s += (i == 0 || i == n ? 1 : i % 2 ? 4 : 2) * std::sin(i * h) * gsl_sf_bessel_J0(a * std::sin(2.0 * i * h));
  return 0.5 * s * h / 3.0;
}

static bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(PowderKernel, AgreesWithDirectEvaluationAndTheAnalyticLimit) {
  Model m;
  auto kernel = [&](int P, double mas, double mid, double D, int j) {
    m.rw->per_2pi = P, m.rw->mas = mas, m.rw->mid_pulse = mid;
    return m->setup->kernel_powder(m->setup->powder_tables(), j, D);
  };
  // Odd P = 37: P/2 polar steps; few steps (P = 6): the mid-pulse phase shows in the sum.
  struct { int P; double mas, mid, D; int j; } cases[] = {{36, 5000, 0, 196.0, 3}, {37, 5000, 0, 1000.0, 7},
      {100, 10000, 0, 1000.0, 5}, {24, 8000, 12.5, 382.8, 11}, {6, 5000, 25, 2000.0, 7}};
  // The same terms with differently rounded sines: P^2/2 terms of size <= 1
  // differ by a few 1e-14.
  for (auto const& c : cases)
    EXPECT_NEAR(kernel(c.P, c.mas, c.mid, c.D, c.j), powder_reference(c.P, c.mas, c.mid, c.D, c.j), 1e-12) << c.P;
  EXPECT_GT(std::fabs(kernel(6, 5000, 25, 2000.0, 7) - kernel(6, 5000, 0, 2000.0, 7)), 1e-3);
  // a = 4 sqrt(2) j D / MAS with D = 1000 Hz, MAS 10 kHz. The beta sum is a
  // Riemann sum of a function vanishing at 0 and pi: error about 3.3 / P^2
  // (8e-5 at P = 200, 8e-7 at P = 2000).
  for (int j : {2, 5, 10}) {
    double exact = analytic_powder(4.0 * std::sqrt(2.0) * j / 10.0);
    double coarse = kernel(200, 10000, 0, 1000.0, j) - exact, fine = kernel(2000, 10000, 0, 1000.0, j) - exact;
    EXPECT_LT(std::fabs(fine), 2e-6) << j;
    EXPECT_GT(std::fabs(coarse), 50 * std::fabs(fine)) << j;
  }
}

TEST(InterpolatedKernel, ExactHitsInterpolationAndTheEnd) {
  DephasingCurve c{{0.0, 0.5, 1.0}, {1.0, 0.8, 0.4}};
  // Within 1e-12 of a tabulated lambda_D (the last one too, even slightly
  // beyond it) the tabulated value; elsewhere linear, one rounding.
  const double cases[][2] = {{0.0, 1.0}, {0.5 + 1e-13, 0.8}, {1.0 + 5e-13, 0.4}, {0.75, 0.6}, {0.25, 0.9}, {0.9, 0.48}};
  for (auto const& x : cases) EXPECT_NEAR(kernel_interpolate(c, x[0]), x[1], 1e-15) << x[0];
  EXPECT_EQ(refusal_of([&] { kernel_interpolate(c, 1.0 + 1e-9); }), "input REDOR curve not long enough\n");
}

TEST(ModelGrid, DistancesCouplingsAndCycleCounts) {
  // 0.1 is stored above a tenth, so (8 - 2) / 0.1 lies just below 60.
  EXPECT_EQ((std::vector<long>{grid_size(2, 8, 0.1), grid_size(2, 8, 0.7), grid_size(3, 3, 0.25)}),
            (std::vector<long>{61, 10, 2}));
  Model g(Over{{"NEAR", "2"}, {"FAR", "8"}, {"GRAIN", "0.1"}});
  ASSERT_EQ(g->setup->n_grid, 61);
  EXPECT_EQ((V{gsl_vector_get(g->setup->distances, 20), gsl_vector_get(g->setup->distances, 60)}), (V{4, 8}));
  EXPECT_EQ(gsl_vector_get(g->setup->dipolar_couplings, 20), g->setup->dipolar_constant / 64);  // 4^3 is exact
  // LAST POINT 0 takes the largest N_c, here not on the last line; an odd
  // LAST POINT loses its last cycle.
  for (auto [last, n] : {std::pair{"0", 17}, {"40", 21}, {"41", 21}}) {
    Model m({{"LAST POINT", last}}, "0 1 1 1 0.1\n32 1 0.6 1 0.1\n16 1 0.8 1 0.1\n");
    EXPECT_EQ(m->setup->n_cycles, n) << last;
    EXPECT_EQ(values(m->smooth_fit).size(), size_t(n));
  }
}

TEST(TransformMatrices, PowderFillOnTwoThreadsAndThePrescribedCurve) {
  omp_set_num_threads(2);
  // Unsorted data with N_c 8 twice; 23 distances from 2.5 A; prescribed 3.0 A
  // (0.6), 4.5 A (0.3) and 6 A (0); MID PULSE shifts the rotor phase.
  Model m({{"FAR", "13"}, {"PER 2PI", "36"}, {"MID PULSE", "3"}, {"LAST POINT", "16"}},
          "8 1000 700 1 0.02\n0 1000 1000 1 0.02\n4 1000 900 1 0.02\n8 1000 710 1 0.02\n2 1000 980 1 0.02\n",
          "# r p\n3.0 0.6\n\n4.5 0.3\n6 0\n");
  Paar& p = *m;
  ASSERT_EQ((std::vector<int>{p.setup->n_grid, p.setup->n_cycles, p.setup->n_adj, p.setup->n_data}), (std::vector<int>{23, 9, 3, 5}));
  // The one-thread byte stream of the progress counters.
  std::string lambda = (std::ostringstream() << 16 * coupling(p, 2.5) / 5000).str();
  EXPECT_EQ(m.out, "maximum lambdaD value in analysis set-up: " + lambda + "\nFilling transform matrix elements for "
                   "data adjustment. \n" + progress_counter(9) + "\nFilling transform matrix elements. \n" +
                   progress_counter(9) + "\nadjustment calculated: totaladjustdensity 0.9\n");
  PowderTables t = p.setup->powder_tables();
  for (int j = 0; j < p.setup->n_cycles; j++) {
    double adjust = 0;
    for (int i = 0; i < p.setup->n_grid; i++)
      EXPECT_TRUE(same_bits(gsl_matrix_get(p.setup->transform_cycles, j, i),
                            p.setup->kernel_powder(t, j, gsl_vector_get(p.setup->dipolar_couplings, i)))) << j << " " << i;
    for (int a = 0; a < 3; a++) {
      double k = p.setup->kernel_powder(t, j, coupling(p, (V{3.0, 4.5, 6.0})[a]));
      EXPECT_TRUE(same_bits(gsl_matrix_get(p.setup->transform_adjust, j, a), k)) << j << " " << a;
      adjust += (V{0.6, 0.3, 0})[a] * k;
    }
    // Three products summed in a different order: a few ulp of 1.
    EXPECT_NEAR(gsl_vector_get(p.setup->smooth_adjust, j), adjust, 1e-15) << j;
  }
  // Data point k takes row N_c / 2 of the grid matrix and of the prescribed curve.
  const int nc[5] = {8, 0, 4, 8, 2};
  for (int k = 0; k < 5; k++) {
    for (int i = 0; i < p.setup->n_grid; i++)
      EXPECT_EQ(gsl_matrix_get(p.setup->transform_data, k, i), gsl_matrix_get(p.setup->transform_cycles, nc[k] / 2, i));
    EXPECT_EQ(gsl_vector_get(p.setup->fit_adjust, k), gsl_vector_get(p.setup->smooth_adjust, nc[k] / 2));
  }
  EXPECT_EQ(values(p.data), (V{0.7, 1.0, 0.9, 0.71, 0.98}));  // S/S0, the ratio column ignored
}

TEST(TransformMatrices, UniversalCurveAndSimulationWithoutOne) {
  // S/S0 = 1 - lambda/2 tabulated every 0.05 up to 1: interpolation in it is
  // exact up to rounding. PER 2PI is not used with a curve, so 1 is taken.
  std::string curve = "# lambda_D S/S0\n";
  for (int i = 0; i <= 20; i++) curve += std::to_string(i * 0.05) + " " + std::to_string(1 - 0.025 * i) + "\n";
  Model m({{"MODE", "sim"}, {"PER 2PI", "1"}}, "0 1000 1000 1 0.02\n8 1000 900 1 0.02\n", "3.0 1.0\n", curve);
  // Only the points up to lambda_max 8 D(2.5 A) / 5000 = 0.31 and the first
  // one beyond are read.
  EXPECT_NE(m.out.find("Size of input universal dephasing vector: 8\n"), std::string::npos) << m.out;
  // The prescribed distances are filled from the curve too, and only when there are some (none in a DISTDIST of comments).
  EXPECT_NE(m.out.find("forced distances.\n" + progress_counter(1, 5) + "\nFilling transform matrix elements (distance,cycles). \n" + progress_counter(m->setup->n_grid, 5) + "\n"), std::string::npos) << m.out;
  EXPECT_EQ(Model({{"PER 2PI", "1"}}, kSmallData, "# no distances\n", curve).out.find("forced distances"), std::string::npos);
  for (int j = 0; j < m->setup->n_cycles; j++) {
    // Values <= 1 after a few roundings.
    EXPECT_NEAR(gsl_vector_get(m->setup->smooth_adjust, j), 1 - 0.5 * j * coupling(*m, 3.0) / 5000, 1e-14) << j;
    for (int i = 0; i < m->setup->n_grid; i++)
      EXPECT_NEAR(gsl_matrix_get(m->setup->transform_cycles, j, i), 1 - 0.5 * j * gsl_vector_get(m->setup->dipolar_couplings, i) / 5000, 1e-14);
  }
  // The kernel at any other distance (the Gaussians' models, the assessment) reads the same curve.
  EXPECT_NEAR(m->setup->kernel_value(m->setup->powder, 3, coupling(*m, 3.2)), 1 - 1.5 * coupling(*m, 3.2) / 5000, 1e-14);
  // "sim" by powder average: only the prescribed curve is computed, the grid matrix stays zero.
  Model s({{"MODE", "sim"}}, "0 1000 1000 1 0.02\n8 1000 900 1 0.02\n", "3.0 1.0\n");
  EXPECT_EQ((V{gsl_matrix_min(s->setup->transform_cycles), gsl_matrix_max(s->setup->transform_cycles)}), (V{0, 0}));
  EXPECT_NE(gsl_vector_get(s->setup->smooth_adjust, 4), 0.0);
}

TEST(FitProblem, TargetIsTheFittedSharesDataAndTheKernelTakesHalfTheCycles) {
  // Exact kernel, SCALING 0.8, 0.6 prescribed at 3.0 A: the target is
  // (S/S0 - 0.8 * 0.6 * K(3.0)) / 0.4, K at lambda = (N_c / 2) D / MAS, here by
  // the powder quadrature; the models' kernel takes the same row.
  Model m({{"PER 2PI", "0"}, {"SCALING", "0.8"}}, kSmallData, "3.0 0.6\n");
  FitProblem fp = m->fit_problem();
  const double nc[5] = {0, 4, 8, 12, 16}, ratio[5] = {1.0, 0.96, 0.87, 0.76, 0.65};
  std::vector<double> at;
  fp.kernel_at({3.7}, at);
  ASSERT_EQ(fp.n_data, 5);
  for (int i = 0; i < 5; i++) {
    auto kr = [&](double r) { return analytic_powder(4.0 * std::sqrt(2.0) * nc[i] / 2 * coupling(*m, r) / 5000); };
    EXPECT_NEAR(fp.target[i], (ratio[i] - 0.8 * 0.6 * kr(3.0)) / 0.4, 1e-9) << i;
    EXPECT_NEAR(at[i], kr(3.7), 1e-10) << i;
  }
}
