// One evaluation (calc_state_dataonly_nosim) for n_data x n_grid of 16 x 61,
// 32 x 201 and 64 x 401, beside the same evaluation through the GSL calls
// and beside its arithmetic floor: a plain loop doing the same work, that is
// 2 n_data n_grid multiply-adds (the two products) and n_grid exponentials,
// plus O(n_grid + n_data) sums and scalings. BM_ExpOnly times the
// exponentials alone.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "bench/bench_models.h"
#include "tests/gsl_reference_evaluation.h"

namespace {

void set_counters(benchmark::State& state, int nd, int ng) {
  state.counters["madd"] = 2.0 * nd * ng;
  state.counters["exp"] = ng;
}

void BM_Evaluate(benchmark::State& state) {
  int nd = static_cast<int>(state.range(0)), ng = static_cast<int>(state.range(1));
  auto p = bench::evaluation_model(nd, ng);
  for (auto _ : state) benchmark::DoNotOptimize(p->calc_state_dataonly_nosim());
  set_counters(state, nd, ng);
}

void BM_EvaluateGsl(benchmark::State& state) {
  int nd = static_cast<int>(state.range(0)), ng = static_cast<int>(state.range(1));
  auto p = bench::evaluation_model(nd, ng);
  for (auto _ : state) benchmark::DoNotOptimize(calc_state_gsl_reference(*p));
  set_counters(state, nd, ng);
}

// The arithmetic floor: straightforward loops over plain arrays.
struct Plain {
  int nd, ng;
  std::vector<double> K, lam, t, w, p, data, err;
  double scaling = 0.92, avgdev = 0.0;

  explicit Plain(Paar const& m)
      : nd(m.setup->n_data), ng(m.setup->n_grid), K(m.setup->transform_data->data, m.setup->transform_data->data + nd * ng),
        lam(m.lagrange->data, m.lagrange->data + nd), t(ng), w(ng), p(ng),
        data(m.data->data, m.data->data + nd), err(m.setup->data_error->data, m.setup->data_error->data + nd) {}

  double evaluate() {
    for (int g = 0; g < ng; g++) t[g] = 0.0;
    for (int i = 0; i < nd; i++) {
      double l = lam[i];
      double const* k = &K[i * ng];
      for (int g = 0; g < ng; g++) t[g] += l * k[g];
    }
    double z = 0.0;
    for (int g = 0; g < ng; g++) {
      w[g] = std::exp(t[g]);
      z += w[g];
    }
    double inv = 1.0 / z;
    for (int g = 0; g < ng; g++) p[g] = w[g] * inv;
    double sum = 0.0, chi2 = 0.0;
    for (int i = 0; i < nd; i++) {
      double const* k = &K[i * ng];
      double f = 0.0;
      for (int g = 0; g < ng; g++) f += k[g] * p[g];
      double r = scaling * f + (1.0 - scaling) - data[i];
      sum += r;
      double q = r / err[i];
      chi2 += q * q;
    }
    avgdev = sum / nd;
    return chi2;
  }
};

void BM_ArithmeticFloor(benchmark::State& state) {
  int nd = static_cast<int>(state.range(0)), ng = static_cast<int>(state.range(1));
  auto m = bench::evaluation_model(nd, ng);
  Plain plain(*m);
  for (auto _ : state) benchmark::DoNotOptimize(plain.evaluate());
  set_counters(state, nd, ng);
}

void BM_ExpOnly(benchmark::State& state) {
  int nd = static_cast<int>(state.range(0)), ng = static_cast<int>(state.range(1));
  auto m = bench::evaluation_model(nd, ng);
  m->calc_state_dataonly_nosim();
  std::vector<double> t(m->scratch_exponent->data, m->scratch_exponent->data + ng), w(ng);
  for (auto _ : state) {
    for (int g = 0; g < ng; g++) w[g] = std::exp(t[g]);
    benchmark::DoNotOptimize(w.data());
    benchmark::ClobberMemory();
  }
  set_counters(state, nd, ng);
}

#define SIZES ArgNames({"n_data", "n_grid"})->Args({16, 61})->Args({32, 201})->Args({64, 401})
BENCHMARK(BM_Evaluate)->SIZES;
BENCHMARK(BM_EvaluateGsl)->SIZES;
BENCHMARK(BM_ArithmeticFloor)->SIZES;
BENCHMARK(BM_ExpOnly)->SIZES;

}  // namespace
