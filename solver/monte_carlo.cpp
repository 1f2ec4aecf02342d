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
    run++;
  }
  sums_.end_block(model_.per_mc_block);
  return true;
}

bool BlockRun::test_convergence() {
  maxsig_ = sums_.max_sigma_err(block_);
  tested_ = true;
  long long total = static_cast<long long>(block_) * model_.per_mc_block + rejected_;
  std::ostringstream l;
  l << "BLOCK " << block_ << " max sigma err " << maxsig_ << "\n";
  l << "rejection rate: " << static_cast<double>(rejected_) / static_cast<double>(total) << "\n";
  say(model_, l.str());
  sums_.estimates(block_, model_.mc_average, model_.mc_average_err, model_.mc_stdev,
                  model_.mc_stdev_err);
  if (write_) write_(model_);
  return maxsig_ <= model_.min_stdev2;
}

void BlockRun::finish() {
  if (status_ == kMcDone) {
    std::ostringstream l;
    if (block_ < model_.max_mc_blocks) {
      l << "Distributions at each discrete distance converged in " << block_ << " x "
        << model_.per_mc_block << " mc points \n";
    } else {
      // Fewer than five blocks: no convergence test ran; report the scatter
      // of the final sums.
      if (!tested_) maxsig_ = sums_.max_sigma_err(block_);
      l << "Maximum monte carlo steps reached. Largest stdev is " << maxsig_ << "\n";
    }
    l << "number rejected: " << rejected_ << " of total "
      << static_cast<long long>(block_) * model_.per_mc_block << "\n";
    say(model_, l.str());
  }
  if (status_ == kMcNotFinite) return;
  // An interrupted estimate keeps the blocks it finished.
  if (finished_ >= 2) {
    sums_.estimates(finished_, model_.mc_average, model_.mc_average_err, model_.mc_stdev,
                    model_.mc_stdev_err);
  } else {
    for (gsl_vector* v : {model_.mc_average, model_.mc_average_err, model_.mc_stdev,
                          model_.mc_stdev_err})
      gsl_vector_set_zero(v);
  }
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
