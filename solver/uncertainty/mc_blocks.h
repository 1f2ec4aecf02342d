// Block statistics of the Monte Carlo estimate and of the bootstrap: the runs of a block give a
// per-distance mean and standard deviation; the blocks' means and standard
// deviations are averaged, and the scatter of the standard deviation over
// the blocks is the convergence test.
#ifndef REDORDIST_SOLVER_MC_BLOCKS_H
#define REDORDIST_SOLVER_MC_BLOCKS_H

#include <cstddef>
#include <vector>

#include <gsl/gsl_vector.h>

#include "model/paar.h"

class BlockSums {
 public:
  explicit BlockSums(size_t n);
  ~BlockSums();
  BlockSums(BlockSums const&) = delete;
  BlockSums& operator=(BlockSums const&) = delete;

  void start_block();
  void add_run(std::vector<double> const& distribution);
  // Closes a block of `runs` runs: its mean and standard deviation join the
  // sums over blocks.
  void end_block(int runs);
  // The largest standard deviation over `blocks` blocks of the per-distance
  // standard deviation: the convergence measure.
  double max_sigma_err(int blocks);
  // The four per-distance estimates from `blocks` finished blocks.
  void estimates(int blocks, gsl_vector* average, gsl_vector* average_err, gsl_vector* stdev,
                 gsl_vector* stdev_err);

 private:
  gsl_vector *s1_, *s2_;    // sums over the runs of the current block
  gsl_vector *sm_, *sm2_;   // sums over blocks of the block mean and its square
  gsl_vector *ss_, *ss2_;   // the same of the block standard deviation
  gsl_vector *m_, *s_, *sq_, *scratch_;
};

// The spread over the accepted runs of the distribution's mean distance,
// standard deviation and effective distance: what a user quotes as "mean
// distance +- uncertainty".
class DistanceSpread {
 public:
  void add(std::vector<double> const& distribution, gsl_vector const* distances);
  // The two lines "MC mean distance: ..." and "MC distance sd: ..." on
  // standard output and in the log (nothing before two runs).
  void report(Paar& model) const;
  // The spreads and the 2.5 and 97.5 percentiles over the runs, of the
  // numbers and of each distance's share, stored in the model (two runs on).
  void store(Paar& model) const;
  // Average and standard deviation over the runs of the mean distance and of
  // the distribution's standard deviation (Angstrom).
  double mean_of_mean() const, sd_of_mean() const, mean_of_sd() const, sd_of_sd() const;
  // The same of the effective distance <r^-6>^(-1/6).
  double mean_of_effective() const, sd_of_effective() const;
  size_t runs() const { return mean_.size(); }

 private:
  std::vector<double> mean_, sd_, effective_, median_, mode_;
  // Every accepted run's distribution: percentiles need the whole sample.
  std::vector<std::vector<double>> runs_;
  std::vector<std::vector<PeakInfo>> peaks_;  // each run's peaks
};

// After block `block` (from the fifth on): the convergence lines, the
// estimates so far stored in the model; returns the largest sigma error.
double report_block(Paar& model, BlockSums& sums, int block, long long rejected);

// The closing lines of a finished estimate (converged or out of blocks);
// bootstrap: its runs are bootstrap replicates.
void report_estimate_end(Paar& model, BlockSums& sums, int blocks, bool tested, double maxsig,
                         long long rejected, bool bootstrap = false);
// The estimates of `finished` blocks stored in the model (zero before two).
void store_final_estimates(Paar& model, BlockSums& sums, int finished);

#endif
