// Building the primary model from the checked inputs, in the order the parts
// depend on each other. Nothing is written here: the run directory does not
// exist yet, so anything refused leaves no trace.
#include <cmath>
#include <fstream>
#include <sstream>

#include "input/nuclei.h"
#include "input/param_limits.h"
#include "input/text_lines.h"
#include "model/run_setup.h"

RunSetup::RunSetup(RunInputs const& in) : RunParams(in.params) {
  gamma_x = in.gamma_x;
  gamma_y = in.gamma_y;
  dipolar_constant = dipolar_constant_of(gamma_x, gamma_y);
  path = path + output_base + "/";
  set_data(in.data);
  total_adjust_density = 0.0;
  n_cycles = effective_last_point() / 2 + 1;
  n_grid = static_cast<int>(grid_size(near, far, grain));
  n_adj = in.prescribed.readable ? static_cast<int>(in.prescribed.distance.size()) : -1;
  // A universal curve unless LAMBDA_D is none (the input checks made sure it opens).
  have_curve = lambda_d_file != "none";
  problem_ = check_sizes();  // before the matrices are allocated
  if (!problem_.empty()) return;
  smooth_adjust = GslVec(n_cycles);
  set_prescribed(in.prescribed);
  build_grid();
  ones_grid = GslVec(n_grid);
  gsl_vector_set_all(ones_grid, 1.0);
  ones_data = GslVec(n_data);
  gsl_vector_set_all(ones_data, 1.0);
  if (have_curve)
    if (InputStatus s = parse_curve_lines(lambda_d_file, in.curve_lines, max_lambda_d(), needed_lambda_d(), curve))
      problem_ = s->message;
}

// Refuses a set-up whose matrices or powder average would not fit in a
// sensible run, before anything is allocated for them: the reason, or "".
std::string RunSetup::check_sizes() const {
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
    return s.str();
  }
  if (powder) {
    double n_values = n_cycles * (cols + (n_adj > 0 ? n_adj : 0));
    double work = n_values * (per_2pi / 2) * static_cast<double>(per_2pi);
    if (work > kMaxPowderWork) {
      std::ostringstream s;
      s << "the powder average would need " << work << " cosine evaluations, more than the limit of "
        << kMaxPowderWork << "; lower PER 2PI or use a universal dephasing curve (LAMBDA_D)\n";
      return s.str();
    }
  }
  return "";
}
