// The grid of X-Y distances and the dipolar coupling of each.
#include <cmath>

#include "model/run_setup.h"

long grid_size(double near, double far, double grain) {
  // Extended precision: for NEAR 2, FAR 8, GRAIN 0.1 the quotient lies just
  // below 60 (0.1 is stored slightly above a tenth) and the grid ends at 8.0.
  long double q = (static_cast<long double>(far) - static_cast<long double>(near)) /
                  static_cast<long double>(grain);
  return static_cast<long>(q) + 2;
}

void RunSetup::build_grid() {
  n_grid = static_cast<int>(grid_size(near, far, grain));
  distances = GslVec(n_grid);
  dipolar_couplings = GslVec(n_grid);
  transform_cycles = GslMat(n_cycles, n_grid);
  for (int j = 0; j < n_grid; j++) {
    double r = j * grain + near;
    gsl_vector_set(distances, j, r);
    gsl_vector_set(dipolar_couplings, j, dipolar_constant / std::pow(r, 3.0));
  }
}
