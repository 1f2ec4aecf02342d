// Monte Carlo estimate of the uncertainty of the distribution: the data are
// perturbed within their errors, each set is annealed again from the fitted
// multipliers, and the distributions are accumulated in blocks until the
// block-to-block scatter of the per-distance standard deviation converges.
//
// Attempt t (accepted or rejected) always uses the t-th block of 12 x n_data
// draws of the noise generator, and every annealing starts its own generator,
// so attempts are independent once their noise is drawn. They are annealed
// ahead of time on all threads and consumed strictly in attempt order, which
// keeps every output identical to a one-thread run.
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#ifdef _OPENMP
#include <omp.h>
#endif

#include <gsl/gsl_rng.h>

#include "solver/boltzmann_me.h"
#include "solver/numeric.h"

namespace {

struct Attempt {
  double chi2 = 0.0;
  double avgdev = 0.0;
  std::vector<double> distribution;
  McBang bang;
};

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

// The four estimates from the block sums of `blocks` finished blocks.
void store_estimates(Paar& model, gsl_vector const* sm, gsl_vector const* sm2, gsl_vector const* ss,
                     gsl_vector const* ss2, int blocks, gsl_vector* scratch) {
  gsl_vector_memcpy(model.mc_average, sm);
  gsl_vector_scale(model.mc_average, 1.0 / blocks);
  _gv_stdev(model.mc_average_err, sm, sm2, blocks, scratch);
  gsl_vector_memcpy(model.mc_stdev, ss);
  gsl_vector_scale(model.mc_stdev, 1.0 / blocks);
  _gv_stdev(model.mc_stdev_err, ss, ss2, blocks, scratch);
}

}  // namespace

void add_noise(Paar& work, gsl_rng const* noise) {
  for (int j = 0; j < work.n_data; j++)
    gsl_vector_set(work.data, j, gvg(work.data, j) + _grandom_sigma(noise, gvg(work.data_error, j)));
}

std::string bang_message(McBang const& bang) {
  std::ostringstream s;
  s << std::string(62, '\b') << "BANG. MC Chi2 is not finite at temp " << bang.temp
    << " avgdev: " << bang.avgdev;
  for (double m : bang.multipliers) s << m << "\n";
  return s.str();
}

namespace {

enum AnnealEnd { kAnnealed, kBang, kCancelled };

// One annealing with the ERR schedule, drawing from r as it stands (a fresh
// generator, or one reset to the same seed). When cancel is given and turns
// true, the annealing stops after its current temperature step.
AnnealEnd anneal_with(Paar& work, McBang& bang, gsl_rng* r, std::atomic<bool> const* cancel) {
  Paar current(work), trial(work), best(work);
  double e_cur = work.calc_state_dataonly_nosim();
  double e_best = e_cur;
  int iters = work.err_iters_at_temp;
  double S = work.err_max_step_size, B = work.err_boltzmann;
  double T = work.err_init_temp;
  while (true) {
    for (int it = 0; it < iters; it++) {
      double e = try_move(trial, current, r, S);
      if (!std::isfinite(e)) {
        bang.happened = true;
        bang.temp = T;
        bang.avgdev = trial.avgdev;
        bang.multipliers.assign(trial.lagrange->data,
                                trial.lagrange->data + trial.lagrange->size * trial.lagrange->stride);
        return kBang;
      }
      if (e <= e_best) {
        best.copy_min(trial);
        e_best = e;
      }
      if (e < e_cur) {
        current.swap_state(trial);
        e_cur = e;
      } else {
        double u2 = gsl_rng_uniform(r);
        if (std::exp(-(e - e_cur) / (B * T)) > u2) {
          current.swap_state(trial);
          e_cur = e;
        }
      }
    }
    T = T / work.err_atten_temp;
    if (T < work.err_min_temp) break;
    if (cancel && cancel->load(std::memory_order_relaxed)) return kCancelled;
  }
  work.copy_min(best);
  work.calc_state_dataonly_nosim();
  return kAnnealed;
}

// The Monte Carlo attempts, annealed ahead of their use on all threads.
// Attempt t takes the t-th block of noise draws: attempts are claimed, and
// their noise drawn, in attempt order under the lock, and every annealing
// starts from the same seed, so an attempt's result does not depend on the
// thread that annealed it. The consumer takes them strictly in order; while
// the one it needs is still running elsewhere it anneals a later one itself.
// At most `window` attempts run ahead of the consumer.
class AttemptPipeline {
 public:
  AttemptPipeline(Paar const& base, gsl_rng* noise, unsigned long seed, int nthreads)
      : base_(base), noise_(noise), seed_(seed), window_(nthreads > 1 ? 2 * nthreads : 1),
        slots_(window_), slot_attempt_(window_, -1), slot_ready_(window_, 0) {
    for (int i = 0; i < nthreads; i++) {
      work_.emplace_back(new Paar(base));
      gens_.push_back(gsl_rng_alloc(gsl_rng_taus2));
    }
  }
  ~AttemptPipeline() {
    for (gsl_rng* g : gens_) gsl_rng_free(g);
  }
  AttemptPipeline(AttemptPipeline const&) = delete;
  AttemptPipeline& operator=(AttemptPipeline const&) = delete;

  // The next attempt in order, into out (thread 0 only).
  void take(Attempt& out) {
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

  // Anneals attempts until finish() (threads other than 0).
  void work(int thread) {
    std::unique_lock<std::mutex> lk(mu_);
    while (!stop_.load())
      if (!claim_and_anneal(lk, thread)) cv_.wait(lk);
  }

  // No more attempts are needed: running ones stop at their next step.
  void finish() {
    {
      std::lock_guard<std::mutex> lk(mu_);
      stop_.store(true);
    }
    cv_.notify_all();
  }

 private:
  // Claims the next attempt when the window allows and anneals it with the
  // lock released; false when nothing could be claimed.
  bool claim_and_anneal(std::unique_lock<std::mutex>& lk, int thread) {
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
    if (anneal_with(w, a.bang, gens_[thread], &stop_) == kAnnealed) {
      a.chi2 = w.chi2;
      a.avgdev = w.avgdev;
      a.distribution.assign(w.distribution->data, w.distribution->data + w.distribution->size);
    }
    lk.lock();
    slot_ready_[s] = 1;
    cv_.notify_all();
    return true;
  }

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

}  // namespace

bool anneal_mc(Paar& work, McBang& bang) {
  gsl_rng* r;
#ifdef _OPENMP
#pragma omp critical(gsl_rng_environment)
#endif
  {
    gsl_rng_env_setup();
    r = gsl_rng_alloc(gsl_rng_taus2);
  }
  AnnealEnd end = anneal_with(work, bang, r, nullptr);
  gsl_rng_free(r);
  return end == kAnnealed;
}

int BoltzmannME::Lagrange_siman_MC(Paar& model) {
  McBang bang;
  if (!anneal_mc(model, bang)) fatal_exit(bang_message(bang), 1);
  return 0;
}

int BoltzmannME::MC_error(Paar& model) {
  model.timestamp = std::time(nullptr);
  model.log << "Beginning Boltzmann MC: " << std::ctime(&model.timestamp) << "\n";
  std::cout << "Beginning Boltzmann MC:\n";

  size_t n = model.distribution->size;
  gsl_vector* s1 = gsl_vector_calloc(n);
  gsl_vector* s2 = gsl_vector_calloc(n);
  gsl_vector* m = gsl_vector_calloc(n);
  gsl_vector* s = gsl_vector_calloc(n);
  gsl_vector* sm = gsl_vector_calloc(n);
  gsl_vector* sm2 = gsl_vector_calloc(n);
  gsl_vector* ss = gsl_vector_calloc(n);
  gsl_vector* ss2 = gsl_vector_calloc(n);
  gsl_vector* scratch = gsl_vector_calloc(n);
  gsl_vector* sq = gsl_vector_calloc(n);
  gsl_rng_env_setup();
  gsl_rng* noise = gsl_rng_alloc(gsl_rng_default);

  // Every annealing of the estimate starts its own generator after setting
  // up GSL's environment; with the environment fixed for the run, that is
  // this seed.
  unsigned long seed = gsl_rng_default_seed;
  // The state every attempt starts from: the fitted multipliers and the
  // unperturbed data (the model itself is re-evaluated by write_out meanwhile).
  Paar base(model);
  int nthreads = thread_count();
  AttemptPipeline pipeline(base, noise, seed, nthreads);
  Attempt a;

  int block = 0, finished = 0;
  long long rejected = 0;
  int in_row = 0;
  double maxsig = 0.0;
  bool tested = false;
  int status = kMcDone;

  // The block loop runs on thread 0 and takes the attempts in order; the
  // other threads anneal attempts ahead of it.
  auto run_blocks = [&]() {
    while (block < model.max_mc_blocks && status == kMcDone) {
      block++;
      gsl_vector_set_zero(s1);
      gsl_vector_set_zero(s2);
      int run = 0;
      while (run < model.per_mc_block) {
        pipeline.take(a);
        // What the annealing's own set-up of GSL's environment reports (the
        // seed and type variables, on standard error), once per attempt used.
        gsl_rng_env_setup();
        if (a.bang.happened) {
          std::cout << bang_message(a.bang) << std::flush;
          status = kMcNotFinite;
          break;
        }
        std::ostringstream l;
        l << block << "." << run << "Err CHI2 " << a.chi2 << " AVGDEV " << a.avgdev;
        model.log << l.str();
        std::cout << l.str();
        if (a.chi2 > model.max_mc_chi2) {
          rejected++;
          in_row++;
          model.log << " REJECTED\n";
          std::cout << " REJECTED\n";
          if (in_row >= kMaxRejectionsInRow) {
            std::ostringstream msg;
            msg << "Monte Carlo stopped: " << kMaxRejectionsInRow
                << " runs in a row exceeded MAX MC CHI2\n";
            model.log << msg.str();
            std::cout << msg.str();
            status = kMcTooManyRejections;
            break;
          }
          continue;
        }
        in_row = 0;
        std::cout << "\n";
        model.log << "\n";
        for (size_t j = 0; j < n; j++) {
          gsl_vector_set(s1, j, gvg(s1, j) + a.distribution[j]);
          gsl_vector_set(sq, j, a.distribution[j]);
        }
        _gv_pow(sq, 2);
        gsl_vector_add(s2, sq);
        run++;
      }
      if (status != kMcDone) break;
      gsl_vector_memcpy(m, s1);
      gsl_vector_scale(m, 1.0 / model.per_mc_block);
      _gv_stdev(s, s1, s2, model.per_mc_block, scratch);
      gsl_vector_add(sm, m);
      gsl_vector_add(ss, s);
      _gv_pow(m, 2);
      _gv_pow(s, 2);
      gsl_vector_add(sm2, m);
      gsl_vector_add(ss2, s);
      finished = block;
      if (block > 4) {
        _gv_stdev(sq, ss, ss2, block, scratch);
        maxsig = gsl_vector_max(sq);
        tested = true;
        long long total = static_cast<long long>(block) * model.per_mc_block + rejected;
        std::ostringstream l;
        l << "BLOCK " << block << " max sigma err " << maxsig << "\n";
        l << "rejection rate: " << static_cast<double>(rejected) / static_cast<double>(total) << "\n";
        model.log << l.str();
        std::cout << l.str();
        store_estimates(model, sm, sm2, ss, ss2, block, scratch);
        if (!model.write_out()) std::cout << "write_out failed\n";
        if (!model.gnuplot_out()) std::cout << "gnuplot_out failed\n";
        if (maxsig <= model.min_stdev2) break;
      }
    }
  };
#ifdef _OPENMP
#pragma omp parallel num_threads(nthreads)
#endif
  {
    if (thread_index() == 0) {
      run_blocks();
      pipeline.finish();
    } else {
      pipeline.work(thread_index());
    }
  }

  if (status == kMcDone) {
    std::ostringstream l;
    if (block < model.max_mc_blocks) {
      l << "Distributions at each discrete distance converged in " << block << " x "
        << model.per_mc_block << " mc points \n";
    } else {
      if (!tested) {
        // Fewer than five blocks: no convergence test ran; report the scatter
        // of the final sums.
        _gv_stdev(sq, ss, ss2, block, scratch);
        maxsig = gsl_vector_max(sq);
      }
      l << "Maximum monte carlo steps reached. Largest stdev is " << maxsig << "\n";
    }
    l << "number rejected: " << rejected << " of total "
      << static_cast<long long>(block) * model.per_mc_block << "\n";
    model.log << l.str();
    std::cout << l.str();
  }
  if (status != kMcNotFinite) {
    if (finished >= 2) {
      store_estimates(model, sm, sm2, ss, ss2, finished, scratch);
    } else {
      gsl_vector_set_zero(model.mc_average);
      gsl_vector_set_zero(model.mc_average_err);
      gsl_vector_set_zero(model.mc_stdev);
      gsl_vector_set_zero(model.mc_stdev_err);
    }
  }
  model.log.flush();
  std::cout.flush();

  gsl_rng_free(noise);
  for (gsl_vector* v : {s1, s2, m, s, sm, sm2, ss, ss2, scratch, sq}) gsl_vector_free(v);
  return status;
}
