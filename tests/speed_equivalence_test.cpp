// The fast paths give the same bits as the plain ones: the evaluation on raw
// arrays against the GSL BLAS calls, and the powder fill on several threads
// against kernel values computed one by one here. (Whole runs with one and
// two threads are compared in the Monte Carlo tests.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#ifdef _OPENMP
#include <omp.h>
#endif

#include "model/paar.h"
#include "test_support.h"

namespace {

using namespace testsupport;

bool same_bits(gsl_vector const* a, std::vector<double> const& b) {
  return a->size == b.size() && std::memcmp(a->data, b.data(), b.size() * sizeof(double)) == 0;
}

// Random models of every shape the blocked loops treat differently (blocks
// of 8, pairs and single rows or columns), with zero and minus-zero
// multipliers (skipped by the transposed product), a prescribed share, and
// multipliers large enough to overflow exp (non-finite results must match too).
TEST(SpeedEquivalence, EvaluationMatchesGslPathBitForBit) {
  std::mt19937_64 rng(20240611);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  int shapes[][2] = {{1, 1}, {2, 3}, {3, 7}, {8, 8}, {9, 61}, {13, 10}, {16, 61}, {32, 201}};
  for (auto const& shape : shapes)
    for (double spread : {0.0, 3.0, 900.0}) {
      int nd = shape[0], ng = shape[1];
      Paar p{Paar::Blank{}};
      p.owner = true;
      p.n_data = nd;
      p.n_grid = ng;
      p.scaling = 0.9;
      p.total_adjust_density = 0.15;
      p.transform_data = gsl_matrix_alloc(nd, ng);
      for (int i = 0; i < nd * ng; i++) p.transform_data->data[i] = 1.2 * u(rng) - 0.1;
      for (gsl_vector** v : {&p.data, &p.data_error, &p.fit_adjust, &p.lagrange, &p.fit_to_data,
                             &p.residual})
        *v = gsl_vector_alloc(nd);
      p.distribution = gsl_vector_alloc(ng);
      for (int i = 0; i < nd; i++) {
        gsl_vector_set(p.data, i, u(rng));
        gsl_vector_set(p.data_error, i, 0.01 + 0.05 * u(rng));
        gsl_vector_set(p.fit_adjust, i, u(rng));
        // The overflow case: positive multipliers of at least 900 and a
        // first column of ones make exp(t_0) overflow.
        double l = spread < 900 ? spread * (2 * u(rng) - 1) : spread * (1 + u(rng));
        if (spread >= 900) gsl_matrix_set(p.transform_data, i, 0, 1.0);
        gsl_vector_set(p.lagrange, i, i % 5 == 1 ? 0.0 : i % 5 == 3 ? -0.0 : l);
      }
      p.alloc_scratch();
      double fast = p.calc_state_dataonly_nosim();
      double fast_avg = p.avgdev;
      auto dist = values(p.distribution), fit = values(p.fit_to_data), res = values(p.residual);
      double ref = p.calc_state_dataonly_nosim_gsl();
      std::string at = std::to_string(nd) + "x" + std::to_string(ng) + " spread " +
                       std::to_string(spread);
      EXPECT_EQ(std::memcmp(&fast, &ref, sizeof ref), 0) << at << ": " << fast << " " << ref;
      EXPECT_EQ(std::memcmp(&fast_avg, &p.avgdev, sizeof fast_avg), 0) << at;
      EXPECT_TRUE(same_bits(p.distribution, dist)) << at;
      EXPECT_TRUE(same_bits(p.fit_to_data, fit)) << at;
      EXPECT_TRUE(same_bits(p.residual, res)) << at;
      if (spread == 900.0) {
        EXPECT_FALSE(std::isfinite(ref)) << at;
      }
    }
}

// 9 cycle rows x 23 distances and 3 prescribed distances on two threads:
// every element equals the kernel value computed here, and the progress
// counter is the one-thread byte stream.
TEST(SpeedEquivalence, ThreadedPowderFillEqualsKernelValues) {
#ifdef _OPENMP
  omp_set_num_threads(2);
#endif
  Paar p{Paar::Blank{}};
  p.owner = true;
  p.mas = 5000;
  p.per_2pi = 36;
  p.mid_pulse = 3;
  p.dipolar_constant = 3062.61;
  p.n_cycles = 9;
  p.n_grid = 23;
  p.n_adj = 3;
  p.dipolar_couplings = gsl_vector_alloc(p.n_grid);
  for (int i = 0; i < p.n_grid; i++) gsl_vector_set(p.dipolar_couplings, i, 40.0 + 17.5 * i);
  p.adj_distances = gsl_vector_alloc(p.n_adj);
  for (int a = 0; a < p.n_adj; a++) gsl_vector_set(p.adj_distances, a, 2.5 + 0.7 * a);
  p.transform_cycles = gsl_matrix_alloc(p.n_cycles, p.n_grid);
  p.transform_adjust = gsl_matrix_alloc(p.n_cycles, p.n_adj);
  PowderTables t = p.powder_tables();
  testing::internal::CaptureStdout();
  p.fill_cycles_powder(t);
  p.fill_adjust_powder(t);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "Filling transform matrix elements. \n Of 8: " + progress_counter(9) +
                     "Filling transform matrix elements for data adjustment. \n Of 8: " +
                     progress_counter(9));
  for (int j = 0; j < p.n_cycles; j++) {
    for (int i = 0; i < p.n_grid; i++) {
      double want = p.kernel_powder(t, j, gsl_vector_get(p.dipolar_couplings, i));
      double got = gsl_matrix_get(p.transform_cycles, j, i);
      EXPECT_EQ(std::memcmp(&want, &got, sizeof got), 0) << j << " " << i;
    }
    for (int a = 0; a < p.n_adj; a++) {
      double r = gsl_vector_get(p.adj_distances, a);
      double want = p.kernel_powder(t, j, p.dipolar_constant / std::pow(r, 3.0));
      double got = gsl_matrix_get(p.transform_adjust, j, a);
      EXPECT_EQ(std::memcmp(&want, &got, sizeof got), 0) << j << " " << a;
    }
  }
}

}  // namespace
