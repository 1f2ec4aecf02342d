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
    out.assign(static_cast<size_t>(self->n_data) * r.size(), 0.0);
    for (int i = 0; i < self->n_data; i++) {
      int j = static_cast<int>(gvg(self->cycles, i)) / 2;
      for (size_t c = 0; c < r.size(); c++)
        out[i * r.size() + c] =
            self->kernel_value(self->powder, j, self->dipolar_constant / std::pow(r[c], 3.0));
    }
  };
  return fp;
}
