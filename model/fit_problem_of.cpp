// The model's fit as the plain problem the non-annealing solvers take.
#include <cmath>

#include "model/run_setup.h"
#include "numeric/numeric.h"

FitProblem RunSetup::fit_problem(gsl_vector const* data, double scaling) const {
  FitProblem fp;
  fp.n_data = n_data;
  fp.n_grid = n_grid;
  fp.scaling = scaling;
  fp.kernel.assign(transform_data->data,
                   transform_data->data + static_cast<size_t>(n_data) * n_grid);
  // The evaluation's residual is f - (data - scaling * adjust) / (1 - share):
  // the target is the data of the fitted share alone.
  for (int i = 0; i < n_data; i++) {
    fp.target.push_back((gvg(data, i) - scaling * gvg(fit_adjust, i)) /
                        (1.0 - total_adjust_density));
    fp.sigma.push_back(gvg(data_error, i));
  }
  for (int j = 0; j < n_grid; j++) fp.distance.push_back(gvg(distances, j));
  RunSetup const* self = this;
  fp.kernel_at = [self](std::vector<double> const& r, std::vector<double>& out) {
    long n = static_cast<long>(r.size()), total = self->n_data * n;
    out.assign(static_cast<size_t>(total), 0.0);
    // Each value alone, by the same code: the same kernel for any thread count
    // (a powder average per value makes this the Gaussians' costliest step).
#pragma omp parallel for schedule(static)
    for (long k = 0; k < total; k++) {
      int i = static_cast<int>(k / n), j = static_cast<int>(gvg(self->cycles, i)) / 2;
      out[k] = self->kernel_value(self->powder, j, self->dipolar_constant / std::pow(r[k % n], 3.0));
    }
  };
  return fp;
}
