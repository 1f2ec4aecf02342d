// The powder average: one kernel value (floor(P/2) x P cosines) and the fill
// of transform_cycles over 33 cycle rows x 201 distances, on 1 and 2 threads.
#include <benchmark/benchmark.h>

#ifdef _OPENMP
#include <omp.h>
#endif

#include "bench/bench_models.h"

namespace {

// One kernel value at cycle index 16 (32 rotor cycles) for 100 Hz.
void BM_PowderKernel(benchmark::State& state) {
  auto m = bench::evaluation_model(2, 2, static_cast<int>(state.range(0)));
  PowderTables tables = m->setup->powder_tables();
  for (auto _ : state) benchmark::DoNotOptimize(m->setup->kernel_powder(tables, 16, 100.0));
  state.counters["cos"] = static_cast<double>(m->setup->per_2pi / 2) * m->setup->per_2pi;
}
BENCHMARK(BM_PowderKernel)->ArgName("P")->Arg(36)->Arg(100)->Arg(360);

// The grid fill as construction runs it: args are PER 2PI and threads.
void BM_FillCyclesPowder(benchmark::State& state) {
  int threads = static_cast<int>(state.range(1));
#ifdef _OPENMP
  omp_set_num_threads(threads);
#else
  if (threads > 1) {
    state.SkipWithError("built without OpenMP");
    return;
  }
#endif
  // 16 data points up to N_c 64: 33 cycle rows.
  auto m = bench::evaluation_model(16, 201, static_cast<int>(state.range(0)));
  Paar& p = *m;
  PowderTables tables = p.setup->powder_tables();
  {
    bench::QuietCout quiet;
    // The model's set-up is shared read-only; the benchmark refills its matrix.
    RunSetup& s = const_cast<RunSetup&>(*p.setup);
    for (auto _ : state) s.fill_cycles_powder(tables, Report::silent());
  }
  state.counters["values"] = static_cast<double>(p.setup->n_cycles) * p.setup->n_grid;
}
BENCHMARK(BM_FillCyclesPowder)
    ->ArgNames({"P", "threads"})
    ->Args({36, 1})
    ->Args({36, 2})
    ->Args({360, 1})
    ->Args({360, 2})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
