#include "solver/uncertainty/block_estimate.h"

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
  int block_ = 0, in_row_ = 0;
  long long rejected_ = 0;
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
    report_estimate_end(model_, sums_, block_, tested, maxsig, rejected_);
    spread_.report(model_);
  }
  // An interrupted estimate keeps the blocks it finished.
  if (status_ != McStatus::kNotFinite) store_final_estimates(model_, sums_, finished);
  return status_;
}

}  // namespace

McStatus run_block_estimate(Paar& model, EstimateSource const& source,
                       std::function<void(Paar&)> const& write_results) {
  return BlockLoop(model, source).run(write_results);
}
