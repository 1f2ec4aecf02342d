// One whole Gaussian model selection (fits of k = 1, 2, 3 and the AIC
// choice) for 25 points (13C-15N, MAS 5000 Hz, N_c = 4 ... 100) on a 71-point
// grid 2.5 - 6.0 Angstrom, for a one- and a two-Gaussian truth. The sub-grid
// kernel is computed once before timing: the program fills it from its own
// kernel, so only the solver is timed here.
//
// And one bootstrap replicate as the program solves it, on the model of
// examples/err.par with the powder kernel (PER 2PI 100) and with the exact
// one: the replicate reuses the run's sub-grid kernel, so both cost the same.
#include <benchmark/benchmark.h>

#include <gsl/gsl_sf_bessel.h>

#include <cmath>
#include <memory>

#include "bench/bench_models.h"
#include "solver/gaussians/gaussian_fit.h"
#include "model/gaussian_mixture.h"
#include "solver/gaussians/gaussians_run.h"

namespace {

// Exact powder REDOR curve (sqrt(2) pi / 4) J_{1/4}(x) J_{-1/4}(x), x = 2 sqrt(2) lambda.
double redor_exact(double lambda) {
  if (lambda == 0.0) return 1.0;
  double x = 2.0 * std::sqrt(2.0) * lambda;
  double j = gsl_sf_bessel_Jnu(0.25, x), y = gsl_sf_bessel_Ynu(0.25, x);
  return std::sqrt(2.0) * M_PI / 4.0 * j * (std::cos(M_PI / 4) * j - std::sin(M_PI / 4) * y);
}

struct KernelCache {
  std::vector<double> r, values;
};

FitProblem bench_problem(MixtureShape const& truth) {
  auto cache = std::make_shared<KernelCache>();
  FitProblem fp;
  fp.n_data = 25;
  fp.kernel_at = [cache](std::vector<double> const& r, std::vector<double>& out) {
    if (r != cache->r) {
      cache->r = r;
      cache->values.resize(25 * r.size());
      for (int i = 0; i < 25; i++)
        for (size_t j = 0; j < r.size(); j++)
          cache->values[i * r.size() + j] = redor_exact(2.0 * (i + 1) * 3066.0 / std::pow(r[j], 3) / 5000.0);
    }
    out = cache->values;
  };
  for (int j = 0; j <= 70; j++) fp.distance.push_back(2.5 + 0.05 * j);
  fp.n_grid = 71;
  fp.target.assign(25, 1.0);
  fp.sigma.assign(25, 0.01);
  GaussianMixture gm(fp, 2.5, 6.0);
  gm.curve(truth, fp.target);
  // A fixed, alternating 1 % disturbance so the fits do not end at chi2 = 0.
  for (int i = 0; i < 25; i++) fp.target[i] += (i % 2 ? 0.01 : -0.01) * ((i % 3) - 1);
  fp.kernel = std::vector<double>();
  fp.kernel_at(fp.distance, fp.kernel);
  return fp;
}

void BM_GaussianSelection(benchmark::State& state) {
  MixtureShape truth = state.range(0) == 1 ? MixtureShape{{1.0}, {3.5}, {0.2}}
                                           : MixtureShape{{0.6, 0.4}, {3.2, 4.3}, {0.15, 0.25}};
  FitProblem fp = bench_problem(truth);
  int chosen = -1;
  for (auto _ : state) {
    MixtureSelection sel = fit_gaussian_mixtures(fp, 2.5, 6.0);
    chosen = sel.chosen;
    benchmark::DoNotOptimize(sel.grid_mass.data());
  }
  state.counters["chosen_k"] = chosen + 1;
}
BENCHMARK(BM_GaussianSelection)->ArgName("truth_k")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_GaussianBootstrapReplicate(benchmark::State& state) {
  std::unique_ptr<Paar> model = bench::example_model(static_cast<int>(state.range(0)));
  double near = model->setup->near, far = model->setup->far;
  FitProblem fp = gaussian_problem(*model);
  MixtureSelection fit = fit_gaussian_mixtures(fp, near, far);
  ReplicateSolver solve = gaussian_replicate_solver(near, far, GaussianMixture(fp, near, far).fine_kernel());
  // A fixed draw: the fitted curve with half an error up or down.
  FitProblem rep = model->fit_problem();
  for (int i = 0; i < rep.n_data; i++) rep.target[i] = fit.curve[i] + (i % 2 ? 0.5 : -0.5) * rep.sigma[i];
  ReplicateResult r;
  for (auto _ : state) benchmark::DoNotOptimize(r = solve(rep));
  state.counters["chosen_k"] = r.ok ? r.extra[0] : 0;
}
BENCHMARK(BM_GaussianBootstrapReplicate)->ArgName("per_2pi")->Arg(100)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace
