#include "solver/uncertainty/bootstrap.h"

#include <cmath>
#include <ctime>
#include <deque>
#include <iostream>
#include <sstream>

#include <gsl/gsl_rng.h>

#include "numeric/numeric.h"
#include "solver/uncertainty/block_estimate.h"
#include "solver/annealing/boltzmann_me.h"

namespace {

// The replicates in order: a batch of PER MC BLOCK is drawn (noise on this
// thread, in order) and solved on all threads whenever the queue runs dry.
class Replicates {
 public:
  Replicates(Paar const& model, ReplicateSolver const& solve)
      : model_(model), solve_(solve), fit_(model.fit_problem()),
        noise_(gsl_rng_alloc(gsl_rng_default)) {
    for (int i = 0; i < model.setup->n_data; i++) fitted_.push_back(gvg(model.fit_to_data, i));
  }
  ~Replicates() { gsl_rng_free(noise_); }
  Replicates(Replicates const&) = delete;
  Replicates& operator=(Replicates const&) = delete;

  ReplicateResult next() {
    if (queue_.empty()) fill(model_.setup->per_mc_block);
    ReplicateResult r = std::move(queue_.front());
    queue_.pop_front();
    return r;
  }

 private:
  void fill(int count) {
    std::vector<FitProblem> problems(count, fit_);
    // The noise is on the data; the target is the fitted share's data, so
    // it takes the noise divided by that share.
    double share = 1.0 - model_.setup->total_adjust_density;
    for (FitProblem& p : problems)
      for (int i = 0; i < p.n_data; i++)
        p.target[i] = fitted_[i] + _grandom_sigma(noise_, p.sigma[i]) / share;
    std::vector<ReplicateResult> out(count);
#pragma omp parallel for schedule(dynamic, 1)
    for (int t = 0; t < count; t++) out[t] = solve_(problems[t]);
    for (ReplicateResult& r : out) queue_.push_back(std::move(r));
  }

  Paar const& model_;
  ReplicateSolver const& solve_;
  FitProblem fit_;
  std::vector<double> fitted_;
  gsl_rng* noise_;
  std::deque<ReplicateResult> queue_;
};

}  // namespace

McStatus parametric_bootstrap(Paar& model, ReplicateSolver const& solve,
                         std::function<void(Paar&)> const& write_results,
                         std::vector<ReplicateResult>* accepted) {
  model.report().log() << "Beginning parametric bootstrap: " << clock_text() << "\n";
  model.report().out() << "Beginning parametric bootstrap:\n";
  Replicates reps(model, solve);
  ReplicateResult current;
  EstimateSource src;
  src.next = [&](EstimateRun& r) {
    current = reps.next();
    std::ostringstream l;
    l << "Boot CHI2 " << current.chi2;
    r.usable = current.ok && std::isfinite(current.chi2);
    r.chi2 = current.chi2;
    r.line = l.str();
    r.distribution = current.distribution;
  };
  if (accepted) src.accepted = [&](EstimateRun&) { accepted->push_back(current); };
  std::ostringstream msg;
  msg << "Bootstrap stopped: " << kMaxRejectionsInRow
      << " replicates in a row failed or exceeded MAX MC CHI2\n";
  src.stop_message = msg.str();
  src.block_note = "Bootstrap block";
  src.bootstrap = true;
  McStatus status = run_block_estimate(model, src, write_results);
  model.report().log().flush();
  model.report().out().flush();
  return status;
}
