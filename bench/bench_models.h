// Hand-built models for the benchmarks: 13C-15N (dipolar constant 3062.61
// Hz A^3), MAS 4 kHz, n_data points at N_c = 4, 8, 12, ... and n_grid
// distances from 3 A every 0.02 A, with transform_data filled by the powder
// average at 24 steps per turn so its values are real kernel values.
#ifndef REDORDIST_BENCH_MODELS_H
#define REDORDIST_BENCH_MODELS_H

#include <cmath>
#include <iostream>
#include <memory>
#include <sstream>

#include "model/paar.h"

namespace bench {

inline void set_spinning(Paar& p, int per_2pi) {
  p.mas = 4000.0;
  p.mid_pulse = 0.0;
  p.per_2pi = per_2pi;
  p.dipolar_constant = 3062.61;
}

// A grid of n_grid distances and its couplings (owned by p).
inline void set_grid(Paar& p, int n_grid) {
  p.n_grid = n_grid;
  p.distances = gsl_vector_alloc(n_grid);
  p.dipolar_couplings = gsl_vector_alloc(n_grid);
  for (int g = 0; g < n_grid; g++) {
    double r = 3.0 + 0.02 * g;
    gsl_vector_set(p.distances, g, r);
    gsl_vector_set(p.dipolar_couplings, g, p.dipolar_constant / std::pow(r, 3.0));
  }
}

// A model ready for calc_state_dataonly_nosim, with multipliers spread over
// [-2, 2] so that the exponentials are not trivial.
inline std::unique_ptr<Paar> evaluation_model(int n_data, int n_grid) {
  std::unique_ptr<Paar> p(new Paar(Paar::Blank{}));
  p->owner = true;
  set_spinning(*p, 24);
  set_grid(*p, n_grid);
  p->n_data = n_data;
  p->scaling = 0.92;
  p->total_adjust_density = 0.0;
  PowderTables tables = p->powder_tables();
  p->transform_data = gsl_matrix_alloc(n_data, n_grid);
  for (int i = 0; i < n_data; i++)
    for (int g = 0; g < n_grid; g++)
      gsl_matrix_set(p->transform_data, i, g,
                     p->kernel_powder(tables, 2 * (i + 1), gsl_vector_get(p->dipolar_couplings, g)));
  p->data = gsl_vector_alloc(n_data);
  p->data_error = gsl_vector_alloc(n_data);
  p->fit_adjust = gsl_vector_calloc(n_data);
  p->lagrange = gsl_vector_alloc(n_data);
  for (int i = 0; i < n_data; i++) {
    gsl_vector_set(p->data, i, 1.0 - 0.5 * i / n_data);
    gsl_vector_set(p->data_error, i, 0.02);
    gsl_vector_set(p->lagrange, i, 2.0 * std::sin(1.7 * i + 0.3));
  }
  p->fit_to_data = gsl_vector_calloc(n_data);
  p->residual = gsl_vector_calloc(n_data);
  p->distribution = gsl_vector_calloc(n_grid);
  p->alloc_scratch();
  return p;
}

// Standard output swallowed while it lives (the fills show progress).
class QuietCout {
 public:
  QuietCout() : old_(std::cout.rdbuf(sink_.rdbuf())) {}
  ~QuietCout() { std::cout.rdbuf(old_); }
  QuietCout(QuietCout const&) = delete;
  QuietCout& operator=(QuietCout const&) = delete;

 private:
  std::ostringstream sink_;
  std::streambuf* old_;
};

}  // namespace bench

#endif
