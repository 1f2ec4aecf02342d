// Monte Carlo estimate of the uncertainty of the distribution: the data are
// perturbed within their errors, each set is annealed again from the fitted
// multipliers, and the distributions are accumulated in blocks until the
// block-to-block scatter of the per-distance standard deviation converges.
// The attempts come from the pipeline in attempt order (see mc_pipeline.h).
#include <cstdio>
#include <ctime>
#include <iostream>
#include <sstream>
#include <string>

#ifdef _OPENMP
#include <omp.h>
#endif

#include <gsl/gsl_rng.h>

#include "numeric/fatal.h"
#include "numeric/numeric.h"
#include "solver/annealing/boltzmann_me.h"
#include "solver/uncertainty/block_estimate.h"
#include "solver/annealing/mc_pipeline.h"

namespace {

int thread_count() {
#ifdef _OPENMP
  return omp_get_max_threads();
#else
  return 1;
#endif
}

int thread_index() {
#ifdef _OPENMP
  return omp_get_thread_num();
#else
  return 0;
#endif
}

// The annealed attempts as runs of the block loop, in attempt order.
EstimateSource attempts(AttemptPipeline& pipeline, Attempt& a, Report& rep) {
  EstimateSource src;
  src.next = [&pipeline, &a, &rep](EstimateRun& r) {
    pipeline.take(a);
    if (a.bang.happened) {
      rep.out() << bang_message(a.bang) << std::flush;
      r.stop = true;
      return;
    }
    std::ostringstream l;
    l << "Err CHI2 " << a.chi2 << " AVGDEV " << a.avgdev;
    r.stop = false;
    r.chi2 = a.chi2;
    r.line = l.str();
    r.distribution.swap(a.distribution);
  };
  std::ostringstream msg;
  msg << "Monte Carlo stopped: " << kMaxRejectionsInRow << " runs in a row exceeded MAX MC CHI2\n";
  src.stop_message = msg.str();
  src.block_note = "Monte Carlo block";
  return src;
}

}  // namespace

int BoltzmannME::Lagrange_siman_MC(Paar& model) {
  McBang bang;
  if (!anneal_mc(model, bang)) fatal_exit(bang_message(bang), 1);
  return 0;
}

McStatus BoltzmannME::MC_error(Paar& model) {
  model.report().log() << "Beginning Boltzmann MC: " << clock_text() << "\n";
  model.report().out() << "Beginning Boltzmann MC:\n";

  // GSL's default generator and seed, as the run's environment has set them.
  gsl_rng* noise = gsl_rng_alloc(gsl_rng_default);
  // Every annealing of the estimate starts its own generator from this seed.
  unsigned long seed = gsl_rng_default_seed;
  // The state every attempt starts from: the fitted multipliers and the
  // unperturbed data (the model itself is re-evaluated by the writes meanwhile).
  Paar base(model);
  int nthreads = thread_count();
  McStatus status = McStatus::kDone;
  {
    AttemptPipeline pipeline(base, noise, seed, nthreads);
    Attempt a;
    EstimateSource src = attempts(pipeline, a, model.report());
#ifdef _OPENMP
#pragma omp parallel num_threads(nthreads)
#endif
    {
      // Thread 0 runs the blocks and takes the attempts in order; the
      // others anneal attempts ahead of it.
      if (thread_index() == 0) {
        status = run_block_estimate(model, src, write_results);
        pipeline.finish();
      } else {
        pipeline.work(thread_index());
      }
    }
  }
  model.report().log().flush();
  model.report().out().flush();
  gsl_rng_free(noise);
  return status;
}
