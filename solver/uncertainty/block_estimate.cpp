#include "solver/uncertainty/block_estimate.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>

#include "numeric/interrupt.h"
#include "solver/annealing/boltzmann_me.h"
#include "solver/uncertainty/mc_blocks.h"

namespace {

class BlockLoop {
 public:
  BlockLoop(Paar& model, EstimateSource const& source)
      : model_(model), src_(source), sums_(model.distribution->size) {}

  McStatus run(std::function<void(Paar&)> const& write_results);

 private:
  // One block of accepted runs; false when the estimate must stop.
  bool fill_block();
  // The runs' lines go to the log only; a terminal sees where the estimate is.
  void log(std::string const& text) { model_.report().log() << text; }
  void show_progress(int run) {
    std::ostringstream p;
    p << src_.block_note << " " << block_ << ": run " << run << " of " << model_.setup->per_mc_block;
    model_.report().progress(p.str());
  }

  Paar& model_;
  EstimateSource const& src_;
  BlockSums sums_;
  DistanceSpread spread_;
  EstimateRun r_;
  // Says whether the estimate converged, then warn_rejections().
  void report_outcome(bool converged, int finished);
  // Warns when MAX MC CHI2 rejected more than kRejectedShareLimit of the runs.
  void warn_rejections();

  int block_ = 0, in_row_ = 0;
  long long rejected_ = 0, accepted_ = 0;
  McStatus status_ = McStatus::kDone;
};

bool BlockLoop::fill_block() {
  sums_.start_block();
  int run = 0;
  while (run < model_.setup->per_mc_block) {
    if (interrupt_signal() != 0) {
      status_ = McStatus::kInterrupted;
      return false;
    }
    src_.next(r_);
    if (r_.stop) {
      status_ = McStatus::kNotFinite;
      return false;
    }
    std::ostringstream l;
    l << block_ << "." << run << r_.line;
    log(l.str());
    if (!r_.usable || r_.chi2 > model_.setup->max_mc_chi2) {
      rejected_++;
      log(" REJECTED\n");
      if (++in_row_ >= kMaxRejectionsInRow) {
        log(src_.stop_message);
        model_.report().out() << src_.stop_message;
        status_ = McStatus::kTooManyRejections;
        return false;
      }
      continue;
    }
    in_row_ = 0;
    accepted_++;
    log("\n");
    sums_.add_run(r_.distribution);
    spread_.add(r_.distribution, model_.setup->distances);
    if (src_.accepted) src_.accepted(r_);
    run++;
    show_progress(run);
  }
  sums_.end_block(model_.setup->per_mc_block);
  return true;
}

McStatus BlockLoop::run(std::function<void(Paar&)> const& write_results) {
  int finished = 0;
  bool tested = false;
  double maxsig = 0.0;
  while (block_ < model_.setup->max_mc_blocks && status_ == McStatus::kDone) {
    block_++;
    if (!fill_block()) break;
    finished = block_;
    model_.report().out() << src_.block_note << " " << block_ << " of at most " << model_.setup->max_mc_blocks
                          << "\n";
    if (block_ > 4) {
      maxsig = report_block(model_, sums_, block_, rejected_);
      tested = true;
      spread_.store(model_);
      if (write_results) write_results(model_);
      if (maxsig <= model_.setup->min_stdev2) break;
    }
  }
  if (status_ == McStatus::kDone) {
    report_estimate_end(model_, sums_, block_, tested, maxsig, rejected_, src_.bootstrap);
    report_outcome(tested && maxsig <= model_.setup->min_stdev2, finished);
    spread_.report(model_);
  }
  if (status_ == McStatus::kTooManyRejections) warn_rejections();
  // An interrupted estimate keeps the blocks it finished.
  if (status_ != McStatus::kNotFinite) store_final_estimates(model_, sums_, finished);
  return status_;
}

void BlockLoop::report_outcome(bool converged, int finished) {
  std::ostringstream l;
  long long runs = static_cast<long long>(finished) * model_.setup->per_mc_block;
  char const* name = src_.bootstrap ? "Bootstrap" : "Monte Carlo";
  char const* runs_name = src_.bootstrap ? "bootstrap replicates" : "Monte Carlo runs";
  if (converged)
    l << name << " converged after " << finished << " blocks";
  else
    l << name << " did not converge within the " << finished << " blocks allowed (MAX MC BLOCKS)";
  l << "; the spreads are from " << runs << " " << runs_name << "\n";
  model_.report().both(l.str());
  warn_rejections();
}

void BlockLoop::warn_rejections() {
  char const* runs_name = src_.bootstrap ? "bootstrap replicates" : "Monte Carlo runs";
  long long total = accepted_ + rejected_;
  if (total == 0 || static_cast<double>(rejected_) <= kRejectedShareLimit * static_cast<double>(total)) return;
  int n = model_.setup->n_data;
  double limit = model_.setup->max_mc_chi2, suggested = suggested_max_mc_chi2(n), fit = model_.chi2;
  double share = 100.0 * static_cast<double>(rejected_) / static_cast<double>(total);
  char b[500];
  // A limit below what the noise of n points allows is the cause, unless the
  // fit itself lies above both: then no limit cures it.
  if (fit > std::max(limit, suggested))
    std::snprintf(b, sizeof b,
                  "warning: the fit does not explain the data, so %.0f %% of the %s (%lld of %lld) were rejected "
                  "and done again: its chi2 is %.1f, above MAX MC CHI2 %g and above the %g that the noise of %d "
                  "points allows (2N + 4 sqrt(2N)); check SCALING, the errors, NEAR and FAR rather than MAX MC CHI2",
                  share, runs_name, rejected_, total, fit, limit, suggested, n);
  else if (suggested > limit)
    std::snprintf(b, sizeof b,
                  "warning: %.0f %% of the %s (%lld of %lld) were rejected and done again: MAX MC CHI2 %g is "
                  "too low for %d points; set it to about %g (2N + 4 sqrt(2N), N the number of points)",
                  share, runs_name, rejected_, total, limit, n, suggested);
  else
    std::snprintf(b, sizeof b,
                  "warning: %.0f %% of the %s (%lld of %lld) were rejected and done again although MAX MC CHI2 %g "
                  "allows for the noise of %d points (2N + 4 sqrt(2N) = %g): their fits, not the limit, fail; check "
                  "SCALING, the errors, NEAR and FAR",
                  share, runs_name, rejected_, total, limit, n, suggested);
  model_.report().warn(b);
  log(std::string(b) + "\n");
}

}  // namespace

double suggested_max_mc_chi2(int n) { return std::ceil(2.0 * n + 4.0 * std::sqrt(2.0 * n)); }

McStatus run_block_estimate(Paar& model, EstimateSource const& source,
                       std::function<void(Paar&)> const& write_results) {
  return BlockLoop(model, source).run(write_results);
}
