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

#include "numeric/interrupt.h"
#include "numeric/numeric.h"
#include "solver/boltzmann_me.h"
#include "solver/mc_blocks.h"
#include "solver/mc_pipeline.h"

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

void say(Paar& model, std::string const& text) {
  model.log << text;
  std::cout << text;
}

// The block loop of the estimate: runs on thread 0, takes the attempts in
// order, and ends in one of the McStatus states.
class BlockRun {
 public:
  BlockRun(Paar& model, AttemptPipeline& pipeline, std::function<void(Paar&)> const& write_results)
      : model_(model), pipeline_(pipeline), write_(write_results),
        sums_(model.distribution->size) {}

  void run() {
    while (block_ < model_.max_mc_blocks && status_ == kMcDone) {
      block_++;
      if (!fill_block()) break;
      finished_ = block_;
      if (block_ > 4 && test_convergence()) break;
    }
  }

  // The closing lines and the estimates stored in the model.
  void finish();
  int status() const { return status_; }

 private:
  // One block of accepted runs; false when the estimate must stop.
  bool fill_block();
  // After the fifth block: the convergence line, the results so far written
  // out; true when converged.
  bool test_convergence();

  Paar& model_;
  AttemptPipeline& pipeline_;
  std::function<void(Paar&)> const& write_;
  BlockSums sums_;
  DistanceSpread spread_;
  Attempt a_;
  int block_ = 0, finished_ = 0, in_row_ = 0;
  long long rejected_ = 0;
  double maxsig_ = 0.0;
  bool tested_ = false;
  int status_ = kMcDone;
};

bool BlockRun::fill_block() {
  sums_.start_block();
  int run = 0;
  while (run < model_.per_mc_block) {
    if (interrupt_signal() != 0) {
      status_ = kMcInterrupted;
      return false;
    }
    pipeline_.take(a_);
    if (a_.bang.happened) {
      std::cout << bang_message(a_.bang) << std::flush;
      status_ = kMcNotFinite;
      return false;
    }
    std::ostringstream l;
    l << block_ << "." << run << "Err CHI2 " << a_.chi2 << " AVGDEV " << a_.avgdev;
    say(model_, l.str());
    if (a_.chi2 > model_.max_mc_chi2) {
      rejected_++;
      say(model_, " REJECTED\n");
      if (++in_row_ >= kMaxRejectionsInRow) {
        std::ostringstream msg;
        msg << "Monte Carlo stopped: " << kMaxRejectionsInRow
            << " runs in a row exceeded MAX MC CHI2\n";
        say(model_, msg.str());
        status_ = kMcTooManyRejections;
        return false;
      }
      continue;
    }
    in_row_ = 0;
    std::cout << "\n";
    model_.log << "\n";
    sums_.add_run(a_.distribution);
    spread_.add(a_.distribution, model_.distances);
    run++;
  }
  sums_.end_block(model_.per_mc_block);
  return true;
}

bool BlockRun::test_convergence() {
  maxsig_ = report_block(model_, sums_, block_, rejected_);
  tested_ = true;
  if (write_) write_(model_);
  return maxsig_ <= model_.min_stdev2;
}

void BlockRun::finish() {
  if (status_ == kMcDone) {
    report_estimate_end(model_, sums_, block_, tested_, maxsig_, rejected_);
    spread_.report(model_);
  }
  if (status_ == kMcNotFinite) return;
  // An interrupted estimate keeps the blocks it finished.
  store_final_estimates(model_, sums_, finished_);
}

}  // namespace

int BoltzmannME::Lagrange_siman_MC(Paar& model) {
  McBang bang;
  if (!anneal_mc(model, bang)) fatal_exit(bang_message(bang), 1);
  return 0;
}

int BoltzmannME::MC_error(Paar& model) {
  model.timestamp = std::time(nullptr);
  model.log << "Beginning Boltzmann MC: " << std::ctime(&model.timestamp) << "\n";
  std::cout << "Beginning Boltzmann MC:\n";

  // GSL's default generator and seed, as the run's environment has set them.
  gsl_rng* noise = gsl_rng_alloc(gsl_rng_default);
  // Every annealing of the estimate starts its own generator from this seed.
  unsigned long seed = gsl_rng_default_seed;
  // The state every attempt starts from: the fitted multipliers and the
  // unperturbed data (the model itself is re-evaluated by the writes meanwhile).
  Paar base(model);
  int nthreads = thread_count();
  int status = kMcDone;
  {
    AttemptPipeline pipeline(base, noise, seed, nthreads);
    BlockRun blocks(model, pipeline, write_results);
#ifdef _OPENMP
#pragma omp parallel num_threads(nthreads)
#endif
    {
      if (thread_index() == 0) {
        blocks.run();
        pipeline.finish();
      } else {
        pipeline.work(thread_index());
      }
    }
    blocks.finish();
    status = blocks.status();
  }
  model.log.flush();
  std::cout.flush();
  gsl_rng_free(noise);
  return status;
}
