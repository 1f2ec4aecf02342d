// Building the primary model from the checked inputs, in the order the parts
// depend on each other. Nothing is written here: the run directory does not
// exist yet, so anything refused leaves no trace.
#include <cmath>
#include <fstream>
#include <sstream>

#include "input/param_limits.h"
#include "input/text_lines.h"
#include "model/paar.h"

Paar::Paar(RunInputs const& in) : RunParams(in.params), owner(true) {
  gamma_x = in.gamma_x;
  gamma_y = in.gamma_y;
  dipolar_constant = dipolar_constant_of(gamma_x, gamma_y);
  scaling = scaling_a;
  path = path + output_base + "/";
  set_data(in.data);
  total_adjust_density = 0.0;
  n_cycles = effective_last_point() / 2 + 1;
  n_grid = static_cast<int>(grid_size(near, far, grain));
  n_adj = in.prescribed.readable ? static_cast<int>(in.prescribed.distance.size()) : -1;
  // A universal curve unless LAMBDA_D is none (the input checks made sure it opens).
  have_curve = lambda_d_file != "none";
  check_sizes();  // before the matrices are allocated
  smooth_adjust = gsl_vector_calloc(n_cycles);
  smooth_fit = gsl_vector_calloc(n_cycles);
  set_prescribed(in.prescribed);
  build_grid();
  alloc_scratch();
  if (have_curve)
    if (InputStatus s = read_curve_file(lambda_d_file, max_lambda_d(), curve)) fatal_exit(s->message, s->status);
}

void Paar::alloc_scratch() {
  scratch_exponent = gsl_vector_alloc(n_grid);
  scratch_weights = gsl_vector_alloc(n_grid);
  ones_grid = gsl_vector_alloc(n_grid);
  gsl_vector_set_all(ones_grid, 1.0);
  ones_data = gsl_vector_alloc(n_data);
  gsl_vector_set_all(ones_data, 1.0);
  scratch_weighted = gsl_vector_alloc(n_data);
}

// Refuses a set-up whose matrices or powder average would not fit in a
// sensible run, before anything is allocated for them.
void Paar::check_sizes() const {
  bool powder = !have_curve && per_2pi > 0 && (n_adj > 0 || mode != "sim");
  double cols = static_cast<double>(n_grid);
  double rows = std::max(n_cycles, n_data);
  double adj = n_adj > 0 ? static_cast<double>(n_cycles) * n_adj : 0.0;
  if (rows * cols > kMaxMatrixElements || adj > kMaxMatrixElements) {
    std::ostringstream s;
    if (adj > rows * cols) rows = n_cycles, cols = n_adj;
    s << "the transform matrix would have " << rows << " x " << cols
      << " elements, more than the limit of " << kMaxMatrixElements
      << "; use a coarser GRAIN, a smaller LAST POINT or fewer data points\n";
    fatal_exit(s.str(), 1);
  }
  if (powder) {
    double n_values = n_cycles * (cols + (n_adj > 0 ? n_adj : 0));
    double work = n_values * (per_2pi / 2) * static_cast<double>(per_2pi);
    if (work > kMaxPowderWork) {
      std::ostringstream s;
      s << "the powder average would need " << work << " cosine evaluations, more than the limit of "
        << kMaxPowderWork << "; lower PER 2PI or use a universal dephasing curve (LAMBDA_D)\n";
      fatal_exit(s.str(), 1);
    }
  }
}
