#include "solver/scaling/scaling_trap.h"

#include <cmath>

#include "model/dephasing_cycle.h"
#include "numeric/margin.h"
#include "solver/scaling/scaling_fit.h"

double watch_full_cycle(Paar& m) {
  ScalingTrap& t = m.results.scaling_trap;
  t.lambda_min = first_minimum_lambda(*m.setup);
  t.cycle_distance = full_cycle_distance(*m.setup, t.lambda_min);
  t.checked = std::isfinite(t.cycle_distance);
  return t.checked ? t.cycle_distance : INFINITY;
}

void check_scaling_trap(Paar& m, SolverFit (*fit)(Paar const&)) {
  ScalingTrap& t = m.results.scaling_trap;
  if (!t.checked) return;
  int n = m.setup->n_grid;
  std::vector<double> r(n), p(n);
  for (int j = 0; j < n; j++)
    r[j] = gsl_vector_get(m.setup->distances, j), p[j] = gsl_vector_get(m.distribution, j);
  t.share = share_beyond(r, p, t.cycle_distance, &t.at);
  t.found = t.share > kTrapShare;
  if (!t.found) return;
  t.profile = m.results.scaling_fit.fitted ? m.results.scaling_fit : fit_scaling(m, fit, t.cycle_distance);
  if (!t.profile.fitted) return;
  // The allowed SCALING (criterion within 4 of the best) whose fit leaves
  // the least beyond the cycle; of nearly equal shares, the better fit.
  double level = margin_level(t.profile.aic, 4.0);
  ScalingPoint const* best = nullptr;
  for (ScalingPoint const& q : t.profile.points) {
    if (!(q.aic <= level)) continue;
    if (!best || q.beyond < best->beyond - 0.01 || (q.beyond < best->beyond + 0.01 && q.aic < best->aic))
      best = &q;
  }
  // When no allowed SCALING clears the far side, the other explanation is
  // the allowed SCALING farthest from the model's: the same data with the
  // distribution moved.
  if (best && !(best->beyond < 0.5 * t.share)) {
    double far_end = m.scaling - t.profile.lo4 >= t.profile.hi4 - m.scaling ? t.profile.lo4 : t.profile.hi4;
    for (ScalingPoint const& q : t.profile.points)
      if (q.aic <= level && std::fabs(q.scaling - far_end) < std::fabs(best->scaling - far_end)) best = &q;
  }
  if (best) t.other = *best;
  // An other explanation within one scan step of the model's SCALING is no
  // other explanation.
  t.found = best && std::fabs(best->scaling - m.scaling) >= kScalingScanStep - 1e-9;
}
