#include "solver/uncertainty/mc_blocks.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "model/effective_distance.h"
#include "numeric/numeric.h"
#include "numeric/percentile.h"
#include "model/peaks.h"
#include "solver/uncertainty/interval95.h"

BlockSums::BlockSums(size_t n) {
  for (gsl_vector** v : {&s1_, &s2_, &sm_, &sm2_, &ss_, &ss2_, &m_, &s_, &sq_, &scratch_})
    *v = gsl_vector_calloc(n);
}

BlockSums::~BlockSums() {
  for (gsl_vector* v : {s1_, s2_, sm_, sm2_, ss_, ss2_, m_, s_, sq_, scratch_}) gsl_vector_free(v);
}

void BlockSums::start_block() {
  gsl_vector_set_zero(s1_);
  gsl_vector_set_zero(s2_);
}

void BlockSums::add_run(std::vector<double> const& d) {
  for (size_t j = 0; j < s1_->size; j++) {
    gsl_vector_set(s1_, j, gvg(s1_, j) + d[j]);
    gsl_vector_set(sq_, j, d[j]);
  }
  _gv_pow(sq_, 2);
  gsl_vector_add(s2_, sq_);
}

void BlockSums::end_block(int runs) {
  gsl_vector_memcpy(m_, s1_);
  gsl_vector_scale(m_, 1.0 / runs);
  _gv_stdev(s_, s1_, s2_, runs, scratch_);
  gsl_vector_add(sm_, m_);
  gsl_vector_add(ss_, s_);
  _gv_pow(m_, 2);
  _gv_pow(s_, 2);
  gsl_vector_add(sm2_, m_);
  gsl_vector_add(ss2_, s_);
}

double BlockSums::max_sigma_err(int blocks) {
  _gv_stdev(sq_, ss_, ss2_, blocks, scratch_);
  return gsl_vector_max(sq_);
}

void BlockSums::estimates(int blocks, gsl_vector* average, gsl_vector* average_err,
                          gsl_vector* stdev, gsl_vector* stdev_err) {
  gsl_vector_memcpy(average, sm_);
  gsl_vector_scale(average, 1.0 / blocks);
  _gv_stdev(average_err, sm_, sm2_, blocks, scratch_);
  gsl_vector_memcpy(stdev, ss_);
  gsl_vector_scale(stdev, 1.0 / blocks);
  _gv_stdev(stdev_err, ss_, ss2_, blocks, scratch_);
}

namespace {

void say(Paar& model, std::string const& text) {
  model.report().log() << text;
  model.report().out() << text;
}

double average(std::vector<double> const& v) {
  double s = 0.0;
  for (double x : v) s += x;
  return v.empty() ? 0.0 : s / v.size();
}

}  // namespace

void DistanceSpread::add(std::vector<double> const& d, gsl_vector const* r) {
  double total = 0.0, m = 0.0, m2 = 0.0;
  for (size_t j = 0; j < d.size(); j++) {
    total += d[j];
    m += d[j] * gvg(r, j);
  }
  m /= total;
  for (size_t j = 0; j < d.size(); j++) m2 += d[j] * (gvg(r, j) - m) * (gvg(r, j) - m);
  mean_.push_back(m);
  sd_.push_back(std::sqrt(m2 / total));
  std::vector<double> rv(d.size());
  for (size_t j = 0; j < d.size(); j++) rv[j] = gvg(r, j);
  effective_.push_back(effective_distance(d.data(), rv.data(), d.size()));
  median_.push_back(distribution_median(d.data(), rv.data(), d.size()));
  mode_.push_back(distribution_mode(d.data(), rv.data(), d.size()));
  peaks_.push_back(distribution_peaks(rv, d));
  runs_.push_back(d);
}

namespace {

std::array<double, 2> interval(std::vector<double> const& v) {
  return {percentile(v, 0.025), percentile(v, 0.975)};
}

}  // namespace

void DistanceSpread::store(Paar& model) const {
  if (runs() < 2) return;
  McDistance& d = model.results.mc.distance;
  d = McDistance{};
  d.runs = runs();
  d.mean = mean_of_mean(), d.mean_sd = sd_of_mean(), d.sd = mean_of_sd(), d.sd_sd = sd_of_sd();
  d.effective = mean_of_effective(), d.effective_sd = sd_of_effective();
  d.median_sd = sample_sd(median_);
  d.mode_sd = sample_sd(mode_);
  d.mean_p = interval(mean_);
  d.sd_p = interval(sd_);
  d.effective_p = interval(effective_);
  d.median_p = interval(median_);
  d.mode_p = interval(mode_);
  d.run_peaks = peaks_;
  size_t n = runs_.front().size();
  McEstimate& e = model.results.mc;
  e.band_p025.assign(n, 0.0);
  e.band_p975.assign(n, 0.0);
  std::vector<double> at(runs());
  for (size_t j = 0; j < n; j++) {
    for (size_t k = 0; k < runs(); k++) at[k] = runs_[k][j];
    e.band_p025[j] = percentile(at, 0.025);
    e.band_p975[j] = percentile(at, 0.975);
  }
}

double DistanceSpread::mean_of_mean() const { return average(mean_); }
double DistanceSpread::sd_of_mean() const { return sample_sd(mean_); }
double DistanceSpread::mean_of_sd() const { return average(sd_); }
double DistanceSpread::sd_of_sd() const { return sample_sd(sd_); }
double DistanceSpread::mean_of_effective() const { return average(effective_); }
double DistanceSpread::sd_of_effective() const { return sample_sd(effective_); }

void DistanceSpread::report(Paar& model) const {
  if (runs() < 2) return;
  store(model);
  char b[160];
  std::snprintf(b, sizeof b, "MC mean distance: %.4f +- %.4f Angstrom\n", mean_of_mean(),
                sd_of_mean());
  say(model, b);
  std::snprintf(b, sizeof b, "MC distance sd: %.4f +- %.4f Angstrom\n", mean_of_sd(), sd_of_sd());
  say(model, b);
}

double report_block(Paar& model, BlockSums& sums, int block, long long rejected) {
  double maxsig = sums.max_sigma_err(block);
  long long total = static_cast<long long>(block) * model.setup->per_mc_block + rejected;
  std::ostringstream l;
  l << "BLOCK " << block << " max sigma err " << maxsig << "\n";
  l << "rejection rate: " << static_cast<double>(rejected) / static_cast<double>(total) << "\n";
  say(model, l.str());
  sums.estimates(block, model.results.mc.average, model.results.mc.average_err, model.results.mc.stdev,
                 model.results.mc.stdev_err);
  return maxsig;
}

void report_estimate_end(Paar& model, BlockSums& sums, int blocks, bool tested, double maxsig,
                         long long rejected, bool bootstrap) {
  std::ostringstream l;
  if (blocks < model.setup->max_mc_blocks) {
    l << "Distributions at each discrete distance converged in " << blocks << " x "
      << model.setup->per_mc_block << (bootstrap ? " bootstrap replicates\n" : " mc points \n");
  } else {
    // Fewer than five blocks: no convergence test ran; report the scatter
    // of the final sums.
    if (!tested) maxsig = sums.max_sigma_err(blocks);
    l << (bootstrap ? "Maximum bootstrap replicates reached" : "Maximum monte carlo steps reached")
      << ". Largest stdev is " << maxsig << "\n";
  }
  l << "number rejected: " << rejected << " of total "
    << static_cast<long long>(blocks) * model.setup->per_mc_block << "\n";
  say(model, l.str());
}

void store_final_estimates(Paar& model, BlockSums& sums, int finished) {
  if (finished >= 2) {
    sums.estimates(finished, model.results.mc.average, model.results.mc.average_err, model.results.mc.stdev,
                   model.results.mc.stdev_err);
  } else {
    for (gsl_vector* v :
         {model.results.mc.average, model.results.mc.average_err, model.results.mc.stdev, model.results.mc.stdev_err})
      gsl_vector_set_zero(v);
  }
}
