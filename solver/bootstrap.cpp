#include "solver/bootstrap.h"

#include <ctime>
#include <iostream>
#include <sstream>

#include <gsl/gsl_rng.h>

#include "numeric/interrupt.h"
#include "numeric/numeric.h"
#include "solver/boltzmann_me.h"
#include "solver/mc_blocks.h"

namespace {

class Bootstrap {
 public:
  Bootstrap(Paar& model, ReplicateSolver const& solve, std::vector<ReplicateResult>* accepted)
      : model_(model), solve_(solve), accepted_(accepted), fit_(model.fit_problem()),
        sums_(model.distribution->size), noise_(gsl_rng_alloc(gsl_rng_default)) {
    for (int i = 0; i < model.n_data; i++) fitted_.push_back(gvg(model.fit_to_data, i));
  }
  ~Bootstrap() { gsl_rng_free(noise_); }
  Bootstrap(Bootstrap const&) = delete;
  Bootstrap& operator=(Bootstrap const&) = delete;

  int run(std::function<void(Paar&)> const& write_results);

 private:
  // One block of accepted replicates; false when the estimate must stop.
  bool fill_block();
  // `count` replicates in order: noise drawn here, solved on all threads.
  std::vector<ReplicateResult> batch(int count);

  Paar& model_;
  ReplicateSolver const& solve_;
  std::vector<ReplicateResult>* accepted_;
  FitProblem fit_;
  std::vector<double> fitted_;
  BlockSums sums_;
  DistanceSpread spread_;
  gsl_rng* noise_;
  int block_ = 0, in_row_ = 0;
  long long rejected_ = 0;
  int status_ = kMcDone;
};

std::vector<ReplicateResult> Bootstrap::batch(int count) {
  std::vector<FitProblem> problems(count, fit_);
  // The noise is on the data; the target is the fitted share's data, so it
  // takes the noise divided by that share.
  double share = 1.0 - model_.total_adjust_density;
  for (FitProblem& p : problems)
    for (int i = 0; i < p.n_data; i++)
      p.target[i] = fitted_[i] + _grandom_sigma(noise_, p.sigma[i]) / share;
  std::vector<ReplicateResult> out(count);
#pragma omp parallel for schedule(dynamic, 1)
  for (int t = 0; t < count; t++) out[t] = solve_(problems[t]);
  return out;
}

bool Bootstrap::fill_block() {
  sums_.start_block();
  int run = 0;
  while (run < model_.per_mc_block) {
    if (interrupt_signal() != 0) {
      status_ = kMcInterrupted;
      return false;
    }
    for (ReplicateResult& r : batch(model_.per_mc_block - run)) {
      std::ostringstream l;
      l << block_ << "." << run << "Boot CHI2 " << r.chi2;
      if (!r.ok || !(r.chi2 <= model_.max_mc_chi2)) {
        rejected_++;
        in_row_++;
        model_.log << l.str() << " REJECTED\n";
        continue;
      }
      in_row_ = 0;
      model_.log << l.str() << "\n";
      sums_.add_run(r.distribution);
      spread_.add(r.distribution, model_.distances);
      if (accepted_) accepted_->push_back(std::move(r));
      run++;
    }
    if (in_row_ >= kMaxRejectionsInRow) {
      std::ostringstream msg;
      msg << "Bootstrap stopped: " << in_row_
          << " replicates in a row failed or exceeded MAX MC CHI2\n";
      model_.log << msg.str();
      std::cout << msg.str();
      status_ = kMcTooManyRejections;
      return false;
    }
  }
  sums_.end_block(model_.per_mc_block);
  return true;
}

int Bootstrap::run(std::function<void(Paar&)> const& write_results) {
  int finished = 0;
  bool tested = false;
  double maxsig = 0.0;
  while (block_ < model_.max_mc_blocks) {
    block_++;
    if (!fill_block()) break;
    finished = block_;
    std::cout << "Bootstrap block " << block_ << " of at most " << model_.max_mc_blocks << "\n";
    if (block_ > 4) {
      maxsig = report_block(model_, sums_, block_, rejected_);
      tested = true;
      if (write_results) write_results(model_);
      if (maxsig <= model_.min_stdev2) break;
    }
  }
  if (status_ == kMcDone) {
    report_estimate_end(model_, sums_, block_, tested, maxsig, rejected_);
    spread_.report(model_);
  }
  store_final_estimates(model_, sums_, finished);
  return status_;
}

}  // namespace

int parametric_bootstrap(Paar& model, ReplicateSolver const& solve,
                         std::function<void(Paar&)> const& write_results,
                         std::vector<ReplicateResult>* accepted) {
  model.timestamp = std::time(nullptr);
  model.log << "Beginning parametric bootstrap: " << std::ctime(&model.timestamp) << "\n";
  std::cout << "Beginning parametric bootstrap:\n";
  Bootstrap b(model, solve, accepted);
  int status = b.run(write_results);
  model.log.flush();
  std::cout.flush();
  return status;
}
