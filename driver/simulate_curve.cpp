#include "driver/simulate_curve.h"

#include <cmath>
#include <string>

#include "model/run_setup.h"

std::vector<double> simulate_curve(RunInputs const& inputs, std::vector<double> const& r,
                                   std::vector<double> const& p, std::string& problem) {
  RunSetup setup(inputs);
  problem = setup.problem();
  if (!problem.empty()) return {};
  PowderTables tables;
  if (setup.per_2pi > 0) tables = setup.powder_tables();
  std::vector<double> s;
  for (DataPoint const& d : inputs.data) {
    double sum = 0.0;
    for (size_t k = 0; k < r.size(); k++)
      sum += p[k] * setup.kernel_value(tables, d.nc / 2, setup.dipolar_constant / std::pow(r[k], 3.0));
    s.push_back(sum);
  }
  return s;
}
