// Block statistics of the Monte Carlo estimate: the runs of a block give a
// per-distance mean and standard deviation; the blocks' means and standard
// deviations are averaged, and the scatter of the standard deviation over
// the blocks is the convergence test.
#ifndef REDORDIST_SOLVER_MC_BLOCKS_H
#define REDORDIST_SOLVER_MC_BLOCKS_H

#include <cstddef>
#include <vector>

#include <gsl/gsl_vector.h>

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

#endif
