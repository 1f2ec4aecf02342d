// Fit problems on the exact REDOR kernel.
#include "model/exact_problem.h"

#include <cmath>

#include "model/exact_kernel.h"

FitProblem exact_redor_problem(std::vector<double> const& rotor_cycles, double dipolar_constant,
                               double mas, std::vector<double> const& distance) {
  FitProblem fp;
  fp.n_data = static_cast<int>(rotor_cycles.size());
  fp.n_grid = static_cast<int>(distance.size());
  fp.distance = distance;
  fp.target.assign(fp.n_data, 1.0);
  fp.sigma.assign(fp.n_data, 1.0);
  fp.kernel_at = [rotor_cycles, dipolar_constant, mas](std::vector<double> const& r,
                                                       std::vector<double>& out) {
    out.resize(rotor_cycles.size() * r.size());
    for (size_t i = 0; i < rotor_cycles.size(); i++)
      for (size_t j = 0; j < r.size(); j++)
        out[i * r.size() + j] =
            redor_exact(0.5 * rotor_cycles[i] * dipolar_constant / (r[j] * r[j] * r[j]) / mas);
  };
  fp.kernel_at(distance, fp.kernel);
  return fp;
}
