// The block loop shared by the Monte Carlo estimate and the bootstrap: runs
// come in order from a source; a run above MAX MC CHI2 (or unusable) is
// rejected and replaced; PER MC BLOCK accepted runs make a block; from the
// fifth block on the scatter of the per-distance standard deviation is
// tested against MIN STDEV2 and the results so far are written out. Each
// run's line goes to the log; standard output gets one line per block.
#ifndef REDORDIST_SOLVER_BLOCK_ESTIMATE_H
#define REDORDIST_SOLVER_BLOCK_ESTIMATE_H

#include <functional>
#include <string>
#include <vector>

#include "model/paar.h"

// One run as the loop sees it.
struct EstimateRun {
  bool stop = false;    // the source cannot go on (it has said why): not finite
  bool usable = true;   // false: rejected whatever its chi2
  double chi2 = 0.0;
  std::string line;     // the run's line after its "block.run" number
  std::vector<double> distribution;
};

struct EstimateSource {
  std::function<void(EstimateRun&)> next;      // the next run, in order
  std::function<void(EstimateRun&)> accepted;  // optional: told of every accepted run
  std::string stop_message;  // said after kMaxRejectionsInRow rejections in a row
  // "NOTE n of at most m" on standard output after each block; "NOTE n: run
  // i of k" as progress on a terminal.
  std::string block_note;
  // A parametric bootstrap: its closing lines speak of a bootstrap and its
  // replicates, not of a Monte Carlo and its runs.
  bool bootstrap = false;
};

// Above this share of rejected runs the estimate warns that MAX MC CHI2 is
// too low for the number of points.
constexpr double kRejectedShareLimit = 0.2;

// MAX MC CHI2 that fits n data points: a Monte Carlo run's data carry their
// own noise and the added noise, so its chi2 is about twice a chi-square of
// n degrees of freedom: mean 2n, sd 2 sqrt(2n). Two sds above the mean,
// 2n + 4 sqrt(2n), rejects about 2 % of the runs (a bootstrap replicate,
// noise added once to the fitted curve, fewer), rounded up.
double suggested_max_mc_chi2(int n_data);

// Returns how the estimate ended; the estimates of the finished blocks, the closing
// lines and the spread of the mean distance end up in the model.
McStatus run_block_estimate(Paar& model, EstimateSource const& source,
                       std::function<void(Paar&)> const& write_results);

#endif
