// The Monte Carlo attempts of the error estimate, annealed ahead of their
// use on all threads and handed out strictly in attempt order.
//
// Attempt t (accepted or rejected) always uses the t-th block of 12 x n_data
// draws of the noise generator, and every annealing starts its own generator
// from the same seed, so attempts are independent once their noise is drawn
// and every output is identical to a one-thread run.
#ifndef REDORDIST_SOLVER_MC_PIPELINE_H
#define REDORDIST_SOLVER_MC_PIPELINE_H

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gsl/gsl_rng.h>

#include "model/paar.h"

// A Monte Carlo annealing that met a non-finite chi2: what its message shows.
struct McBang {
  bool happened = false;
  double temp = 0.0;
  double avgdev = 0.0;
  std::vector<double> multipliers;
};

// One annealed attempt: its fit quality and distribution, or its bang.
struct Attempt {
  double chi2 = 0.0;
  double avgdev = 0.0;
  std::vector<double> distribution;
  McBang bang;
};

// The ERR-schedule annealing of work, drawing from r as it stands. On a
// non-finite chi2 it fills bang and returns false without printing; when
// cancel turns true it stops after its current temperature step (false).
bool anneal_mc_with(Paar& work, McBang& bang, gsl_rng* r, std::atomic<bool> const* cancel);

// The same with a fresh generator from GSL's default seed.
bool anneal_mc(Paar& work, McBang& bang);

// The text printed for a non-finite chi2 in a Monte Carlo annealing.
std::string bang_message(McBang const& bang);

// Adds one block of 12 x n_data noise draws to the data of work.
void add_noise(Paar& work, gsl_rng const* noise);

// Attempt t takes the t-th block of noise draws: attempts are claimed, and
// their noise drawn, in attempt order under the lock, and every annealing
// starts from the same seed, so an attempt's result does not depend on the
// thread that annealed it. The consumer takes them strictly in order; while
// the one it needs is still running elsewhere it anneals a later one itself.
// At most `window` attempts run ahead of the consumer.
class AttemptPipeline {
 public:
  AttemptPipeline(Paar const& base, gsl_rng* noise, unsigned long seed, int nthreads);
  ~AttemptPipeline();
  AttemptPipeline(AttemptPipeline const&) = delete;
  AttemptPipeline& operator=(AttemptPipeline const&) = delete;

  // The next attempt in order, into out (thread 0 only).
  void take(Attempt& out);
  // Anneals attempts until finish() (threads other than 0).
  void work(int thread);
  // No more attempts are needed: running ones stop at their next step.
  void finish();

 private:
  // Claims the next attempt when the window allows and anneals it with the
  // lock released; false when nothing could be claimed.
  bool claim_and_anneal(std::unique_lock<std::mutex>& lk, int thread);

  Paar const& base_;
  gsl_rng* noise_;
  unsigned long seed_;
  int window_;
  std::vector<std::unique_ptr<Paar>> work_;  // one working model per thread
  std::vector<gsl_rng*> gens_;               // one annealing generator per thread
  std::vector<Attempt> slots_;               // attempt t lives in slot t % window_
  std::vector<long> slot_attempt_;
  std::vector<char> slot_ready_;
  long next_claim_ = 0, next_take_ = 0;
  std::mutex mu_;
  std::condition_variable cv_;
  std::atomic<bool> stop_{false};
};

#endif
