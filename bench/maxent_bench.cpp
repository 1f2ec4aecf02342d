// One maximum-entropy fit (kernel reduction, alpha search, final solve) on
// the exact REDOR kernel: n_data points at N_c = 0, 4, 8, ... and n_grid
// distances over 2-6 A, the data the curve of a Gaussian at 3 A (width 0.15 A)
// with errors 0.01. Also the warm-started refit a bootstrap replicate does.
#include <benchmark/benchmark.h>

#include <cmath>

#include "model/exact_problem.h"
#include "solver/maxent/maxent.h"

namespace {

FitProblem synthetic(int n_data, int n_grid) {
  std::vector<double> cycles, r;
  for (int i = 0; i < n_data; i++) cycles.push_back(4.0 * i);
  for (int j = 0; j < n_grid; j++) r.push_back(2.0 + 4.0 * j / (n_grid - 1));
  // 13C-15N at 5 kHz; scaled so that the last point reaches N_c = 64 whatever n_data.
  FitProblem fp = exact_redor_problem(cycles, 3066.0 * 16.0 / (n_data - 1), 5000.0, r);
  std::vector<double> p(n_grid);
  double sum = 0.0;
  for (int j = 0; j < n_grid; j++) sum += p[j] = std::exp(-0.5 * std::pow((r[j] - 3.0) / 0.15, 2));
  for (double& v : p) v /= sum;
  fitted_curve(fp, p, fp.target);
  fp.sigma.assign(n_data, 0.01);
  return fp;
}

void BM_MaxentFit(benchmark::State& state) {
  FitProblem fp = synthetic(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  std::vector<double> m = tapered_uniform_model(fp.distance, 1.0);
  MaxentResult res;
  for (auto _ : state) benchmark::DoNotOptimize(res = solve_maxent(fp, m, MaxentOptions{}));
  state.counters["ok"] = res.ok;
  state.counters["rank"] = res.rank;
  state.counters["solves"] = static_cast<double>(res.steps.size());
  state.counters["newton"] = res.newton_steps;
}

void BM_MaxentWarmRefit(benchmark::State& state) {
  FitProblem fp = synthetic(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  std::vector<double> m = tapered_uniform_model(fp.distance, 1.0);
  MaxentResult fit = solve_maxent(fp, m, MaxentOptions{}), res;
  MaxentOptions warm;
  warm.alpha_start = fit.alpha;
  for (auto _ : state) benchmark::DoNotOptimize(res = solve_maxent(fp, m, warm, &fit.multipliers));
  state.counters["solves"] = static_cast<double>(res.steps.size());
  state.counters["newton"] = res.newton_steps;
}

void sizes(benchmark::internal::Benchmark* b) {
  b->ArgNames({"data", "grid"})->Unit(benchmark::kMillisecond);
  for (int n : {16, 32, 64})
    for (int g : {60, 200, 400}) b->Args({n, g});
}

BENCHMARK(BM_MaxentFit)->Apply(sizes);
BENCHMARK(BM_MaxentWarmRefit)->Apply(sizes);

}  // namespace
