// Checks of what the data can say about the fitted distribution.
#include <algorithm>
#include <cmath>
#include <vector>

#include "model/paar.h"
#include "numeric/numeric.h"

double Paar::edge_share() const {
  int n_grid = setup->n_grid;
  if (n_grid < 4) return 1.0;
  double s = 0.0;
  for (int j : {0, 1, n_grid - 2, n_grid - 1}) s += gvg(distribution, j);
  return s;
}

double RunSetup::longest_measurable_distance(double scaling) const {
  std::lock_guard<std::mutex> hold(measurable_.lock);
  for (auto const& k : measurable_.known)
    if (k.first == scaling) return k.second;
  double r = measurable_distance(scaling);
  measurable_.known.emplace_back(scaling, r);
  return r;
}

double RunSetup::measurable_distance(double scaling) const {
  // Twice the median error of the points: a change of S/S0 smaller than
  // that at the longest dephasing time is lost in the noise.
  std::vector<double> err;
  for (int i = 0; i < n_data; i++) err.push_back(gvg(data_error, i));
  std::sort(err.begin(), err.end());
  double threshold = 2.0 * err[err.size() / 2];
  int j = static_cast<int>(gsl_vector_max(cycles)) / 2;
  // Dephasing falls with distance; step out from NEAR in 0.01 Angstrom until
  // the change at the longest time drops below the threshold. The search
  // stops at 3 FAR, past any grid a run uses, or earlier: below lambda_D 0.5
  // every angle's cosine in the powder average (and the closed form) falls
  // monotonically with lambda_D, so once the change there is below the
  // threshold it stays below for every longer distance.
  double last = near;
  for (double r = near; r <= 3.0 * far; r += 0.01) {
    double coupling = dipolar_constant / std::pow(r, 3.0);
    double change = scaling * (1.0 - kernel_value(powder, j, coupling));
    if (std::fabs(change) >= threshold) last = r;
    else if (!have_curve && j * coupling / mas < 0.5) break;
  }
  return last;
}
