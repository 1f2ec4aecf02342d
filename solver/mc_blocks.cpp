#include "solver/mc_blocks.h"

#include "numeric/numeric.h"

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
