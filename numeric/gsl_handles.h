// Owning handles for GSL vectors and matrices: freed when the handle goes,
// copied element by element, moved by handing the pointer over. A handle
// converts to the raw pointer, so GSL calls take it as they are.
#ifndef REDORDIST_NUMERIC_GSL_HANDLES_H
#define REDORDIST_NUMERIC_GSL_HANDLES_H

#include <cstddef>
#include <utility>

#include <gsl/gsl_matrix.h>
#include <gsl/gsl_vector.h>

class GslVec {
 public:
  GslVec() = default;
  // n elements, zero.
  explicit GslVec(size_t n) : v_(n > 0 ? gsl_vector_calloc(n) : nullptr) {}
  GslVec(GslVec const& o) : v_(o.v_ ? gsl_vector_alloc(o.v_->size) : nullptr) {
    if (v_) gsl_vector_memcpy(v_, o.v_);
  }
  GslVec(GslVec&& o) noexcept : v_(std::exchange(o.v_, nullptr)) {}
  GslVec& operator=(GslVec o) noexcept {
    std::swap(v_, o.v_);
    return *this;
  }
  ~GslVec() {
    if (v_) gsl_vector_free(v_);
  }
  operator gsl_vector*() const { return v_; }
  gsl_vector* operator->() const { return v_; }
  size_t size() const { return v_ ? v_->size : 0; }
  friend void swap(GslVec& a, GslVec& b) noexcept { std::swap(a.v_, b.v_); }

 private:
  gsl_vector* v_ = nullptr;
};

class GslMat {
 public:
  GslMat() = default;
  // rows x cols, zero.
  GslMat(size_t rows, size_t cols)
      : m_(rows > 0 && cols > 0 ? gsl_matrix_calloc(rows, cols) : nullptr) {}
  GslMat(GslMat const& o) : m_(o.m_ ? gsl_matrix_alloc(o.m_->size1, o.m_->size2) : nullptr) {
    if (m_) gsl_matrix_memcpy(m_, o.m_);
  }
  GslMat(GslMat&& o) noexcept : m_(std::exchange(o.m_, nullptr)) {}
  GslMat& operator=(GslMat o) noexcept {
    std::swap(m_, o.m_);
    return *this;
  }
  ~GslMat() {
    if (m_) gsl_matrix_free(m_);
  }
  operator gsl_matrix*() const { return m_; }
  gsl_matrix* operator->() const { return m_; }

 private:
  gsl_matrix* m_ = nullptr;
};

#endif
