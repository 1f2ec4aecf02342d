// What judging a fit costs beside the fit itself, on the bundled example
// (examples/fit.par: 13C-15N, 17 points, 2.5-6 Angstrom every 0.05): the fit
// by each solver alone, and the assessment of that fit (goodness of fit, the
// one-Gaussian profile at each SCALING the data allow, the peak models, the
// longest measurable distance). Run with OMP_NUM_THREADS=1 and 2 to see what
// the profile's threads buy.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "bench_models.h"
#include "driver/solve.h"
#include "driver/solve_and_assess.h"
#include "assessment/assess.h"

namespace {

namespace fs = std::filesystem;

// The example's model for solver, its matrices filled, read from a copy of
// the example in a temporary directory (a run writes beside its inputs),
// removed once the inputs are read: the fits and assessments write nothing.
std::unique_ptr<Paar> example_model(std::string const& solver) {
  fs::path dir = fs::temp_directory_path() / ("redordist-assess-" + std::to_string(long(getpid())));
  fs::create_directories(dir / "runs");
  for (char const* f : {"fit.par", "cn_redor.dat"})
    fs::copy_file(fs::path(REDORDIST_SOURCE_DIR) / "examples" / f, dir / f, fs::copy_options::overwrite_existing);
  fs::path cwd = fs::current_path();
  fs::current_path(dir);
  bench::QuietCout quiet;
  RunInputs in;
  if (InputStatus refusal = read_run_inputs("fit.par", solver, in)) std::abort();
  auto setup = std::make_shared<RunSetup>(in);
  setup->build_transforms(Report::silent());
  auto m = std::make_unique<Paar>(setup, Report::silent());
  fs::current_path(cwd);
  fs::remove_all(dir);
  return m;
}

char const* const kSolvers[] = {"annealing", "maxent", "gaussians"};

void BM_FitAlone(benchmark::State& state) {
  std::unique_ptr<Paar> m = example_model(kSolvers[state.range(0)]);
  bench::QuietCout quiet;
  for (auto _ : state) {
    Paar fit(*m);
    solve(fit, kSolvers[state.range(0)], [](Paar&) {});
    benchmark::DoNotOptimize(fit.chi2);
  }
  state.SetLabel(kSolvers[state.range(0)]);
}

void BM_Assessment(benchmark::State& state) {
  std::unique_ptr<Paar> m = example_model(kSolvers[state.range(0)]);
  bench::QuietCout quiet;
  solve(*m, kSolvers[state.range(0)], [](Paar&) {});
  for (auto _ : state) {
    Assessment a = assess(*m);
    benchmark::DoNotOptimize(a.width.width_lo);
  }
  state.SetLabel(kSolvers[state.range(0)]);
}

// The fit and its assessment as a run makes them: the assessment's part that
// depends on the data alone beside the solver when a core is spare. Its time
// less BM_FitAlone's is what judging the fit adds to a run.
void BM_FitWithAssessment(benchmark::State& state) {
  std::unique_ptr<Paar> m = example_model(kSolvers[state.range(0)]);
  bench::QuietCout quiet;
  for (auto _ : state) {
    Paar fit(*m);
    RunSummary summary;
    solve_and_assess(fit, kSolvers[state.range(0)], [](Paar&) {}, false, summary);
    benchmark::DoNotOptimize(summary.assessment.width.width_lo);
  }
  state.SetLabel(kSolvers[state.range(0)]);
}

BENCHMARK(BM_FitAlone)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Assessment)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FitWithAssessment)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace
