// One annealing trial: the trial takes the current state, every multiplier
// is moved, the trial is evaluated, and an accepted trial becomes current.
// BM_TrialCopyMin does it with copy_min both ways (the textbook form);
// BM_TrialAsAnnealed with try_move and swap_state, as Lagrange_siman and
// the Monte Carlo annealings do it. Every trial is accepted here, the
// dearest case for the copies.
#include <benchmark/benchmark.h>

#include <gsl/gsl_rng.h>

#include "bench/bench_models.h"
#include "solver/annealing/annealing_loop.h"

namespace {

void BM_TrialCopyMin(benchmark::State& state) {
  int nd = static_cast<int>(state.range(0)), ng = static_cast<int>(state.range(1));
  auto m = bench::evaluation_model(nd, ng);
  Paar current(*m), trial(*m);
  gsl_rng* r = gsl_rng_alloc(gsl_rng_taus2);
  double S = 0.01;
  for (auto _ : state) {
    trial.copy_min(current);
    for (int j = 0; j < nd; j++) {
      double u = gsl_rng_uniform(r);
      gsl_vector_set(trial.lagrange, j, gsl_vector_get(trial.lagrange, j) + ((u + u) * S - S));
    }
    benchmark::DoNotOptimize(trial.calc_state_dataonly_nosim());
    current.copy_min(trial);
  }
  gsl_rng_free(r);
}

void BM_TrialAsAnnealed(benchmark::State& state) {
  int nd = static_cast<int>(state.range(0)), ng = static_cast<int>(state.range(1));
  auto m = bench::evaluation_model(nd, ng);
  Paar current(*m), trial(*m);
  gsl_rng* r = gsl_rng_alloc(gsl_rng_taus2);
  for (auto _ : state) {
    benchmark::DoNotOptimize(try_move(trial, current, r, 0.01));
    current.swap_state(trial);
  }
  gsl_rng_free(r);
}

BENCHMARK(BM_TrialCopyMin)->ArgNames({"n_data", "n_grid"})->Args({16, 61})->Args({32, 201});
BENCHMARK(BM_TrialAsAnnealed)->ArgNames({"n_data", "n_grid"})->Args({16, 61})->Args({32, 201});

}  // namespace
