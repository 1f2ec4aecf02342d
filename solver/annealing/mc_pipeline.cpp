#include "solver/annealing/mc_pipeline.h"

#include <sstream>
#include <utility>

#ifdef _OPENMP
#include <omp.h>
#endif

#include "numeric/numeric.h"
#include "solver/annealing/annealing_loop.h"

void add_noise(Paar& work, gsl_rng const* noise) {
  for (int j = 0; j < work.setup->n_data; j++)
    gsl_vector_set(work.data, j, gvg(work.data, j) + _grandom_sigma(noise, gvg(work.setup->data_error, j)));
}

std::string bang_message(McBang const& bang) {
  std::ostringstream s;
  s << std::string(62, '\b') << "BANG. MC Chi2 is not finite at temp " << bang.temp
    << " avgdev: " << bang.avgdev;
  for (double m : bang.multipliers) s << m << "\n";
  return s.str();
}

bool anneal_mc_with(Paar& work, McBang& bang, gsl_rng* r, std::atomic<bool> const* cancel) {
  Annealer annealer(work, work.setup->err_init_temp);
  AnnealHooks hooks;
  hooks.cancel = cancel;
  hooks.on_not_finite = [&](double temp, Paar const& trial) {
    bang.happened = true;
    bang.temp = temp;
    bang.avgdev = trial.avgdev;
    bang.multipliers.assign(trial.lagrange->data,
                            trial.lagrange->data + trial.lagrange->size * trial.lagrange->stride);
    return true;
  };
  if (annealer.run(mc_schedule(*work.setup), r, hooks) != AnnealEnd::kDone) return false;
  annealer.finish(work);
  return true;
}

bool anneal_mc(Paar& work, McBang& bang) {
  gsl_rng* r = gsl_rng_alloc(gsl_rng_taus2);
  bool ok = anneal_mc_with(work, bang, r, nullptr);
  gsl_rng_free(r);
  return ok;
}

AttemptPipeline::AttemptPipeline(Paar const& base, gsl_rng* noise, unsigned long seed, int nthreads)
    : base_(base), noise_(noise), seed_(seed), window_(nthreads > 1 ? 2 * nthreads : 1),
      slots_(window_), slot_attempt_(window_, -1), slot_ready_(window_, 0) {
  for (int i = 0; i < nthreads; i++) {
    work_.emplace_back(new Paar(base));
    gens_.push_back(gsl_rng_alloc(gsl_rng_taus2));
  }
}
AttemptPipeline::~AttemptPipeline() {
  for (gsl_rng* g : gens_) gsl_rng_free(g);
}

void AttemptPipeline::take(Attempt& out) {
  std::unique_lock<std::mutex> lk(mu_);
  long t = next_take_;
  int s = static_cast<int>(t % window_);
  while (!(slot_ready_[s] && slot_attempt_[s] == t))
    if (!claim_and_anneal(lk, 0)) cv_.wait(lk);
  std::swap(out, slots_[s]);
  slot_ready_[s] = 0;
  next_take_++;
  cv_.notify_all();
}

void AttemptPipeline::work(int thread) {
  std::unique_lock<std::mutex> lk(mu_);
  while (!stop_.load())
    if (!claim_and_anneal(lk, thread)) cv_.wait(lk);
}

void AttemptPipeline::finish() {
  {
    std::lock_guard<std::mutex> lk(mu_);
    stop_.store(true);
  }
  cv_.notify_all();
}

// Claims the next attempt when the window allows and anneals it with the
// lock released; false when nothing could be claimed.
bool AttemptPipeline::claim_and_anneal(std::unique_lock<std::mutex>& lk, int thread) {
  if (stop_.load() || next_claim_ >= next_take_ + window_) return false;
  long t = next_claim_++;
  int s = static_cast<int>(t % window_);
  slot_ready_[s] = 0;
  slot_attempt_[s] = t;
  Paar& w = *work_[thread];
  w.copy_min(base_);
  add_noise(w, noise_);
  lk.unlock();
  Attempt& a = slots_[s];  // this thread's alone until it is marked ready
  a.bang = McBang();
  gsl_rng_set(gens_[thread], seed_);
  if (anneal_mc_with(w, a.bang, gens_[thread], &stop_)) {
    a.chi2 = w.chi2;
    a.avgdev = w.avgdev;
    a.distribution.assign(w.distribution->data, w.distribution->data + w.distribution->size);
  }
  lk.lock();
  slot_ready_[s] = 1;
  cv_.notify_all();
  return true;
}

