// The printed figure's facts about a run (see figure_info.h).
#include "output/figure_info.h"

#include <algorithm>
#include <cmath>

#include <gsl/gsl_vector.h>

#include "numeric/numeric.h"
#include "output/tidy_tables.h"

namespace {

// What the figure's panels draw, as its script computes it from the table:
// the curve and the residuals of the whole population where a prescribed
// share was taken off before the fit (F and S as in the script).
void figure_extents(Paar const& m, FigureInfo& f) {
  bool whole = m.setup->mode != "sim" && f.has_prescribed;
  double F = 1 - m.setup->total_adjust_density, S = m.scaling;
  f.last_cycle = std::max(gsl_vector_max(m.setup->cycles), 2.0 * (m.setup->n_cycles - 1));
  f.curve_min = f.residual_min = HUGE_VAL;
  f.curve_max = f.residual_max = -HUGE_VAL;
  auto extend = [](double& lo, double& hi, double x) {
    lo = std::min(lo, x), hi = std::max(hi, x);
  };
  for (int i = 0; i < m.setup->n_cycles; i++) {
    double c = gvg(m.smooth_fit, i);
    extend(f.curve_min, f.curve_max, whole ? F * c + S * gvg(m.setup->smooth_adjust, i) : c);
  }
  extend(f.residual_min, f.residual_max, 0.0);
  for (int i = 0; i < m.setup->n_data; i++) {
    double d = gvg(m.data, i), e = gvg(m.setup->data_error, i);
    if (std::fabs(e - 1.0) < 1e-06) e = 0.0;  // shown without an error bar
    double fit = gvg(m.fit_to_data, i);
    double r = d - (whole ? F * fit + S * gvg(m.setup->fit_adjust, i) : fit);
    extend(f.curve_min, f.curve_max, d - e), extend(f.curve_min, f.curve_max, d + e);
    extend(f.residual_min, f.residual_max, r - e), extend(f.residual_min, f.residual_max, r + e);
  }
  f.fraction_max = 0.0;
  for (int i = 0; i < m.setup->n_adj; i++)
    f.fraction_max = std::max(f.fraction_max, gvg(m.setup->adj_density, i));
}

// The highest density the distribution panel draws, per Angstrom of the
// whole population: the best P(r)'s peak and, in err, the top of the band
// (mean + sd), but the band only up to 1.5 times the peak: a few spiky runs
// can drive mean + sd far above every run's curve, and the band is then cut
// flat rather than squash the curve. The Gaussians' part cells at the grid
// ends are not drawn, so they do not count.
double density_top(Paar const& m) {
  RunSetup const& s = *m.setup;
  McEstimate const& e = m.results.mc;
  double F = s.n_adj > 0 ? 1.0 - s.total_adjust_density : 1.0;
  auto sized = [&](GslVec const& v) { return v && v->size == static_cast<size_t>(s.n_grid); };
  bool band = s.mode == "err" && sized(e.average) && sized(e.stdev);
  std::vector<double> w = cell_widths(m);
  double peak = 0.0, edge = 0.0;
  for (int j = 0; j < s.n_grid; j++) {
    if (w[j] < 0.999 * s.grain) continue;
    peak = std::max(peak, F * gvg(m.distribution, j) / s.grain);
    if (band) edge = std::max(edge, F * (gvg(e.average, j) + gvg(e.stdev, j)) / s.grain);
  }
  double top = peak > 0.0 ? std::max(peak, std::min(edge, 1.5 * peak)) : edge;
  return std::isfinite(top) ? top : 0.0;
}

// The spacing of the prescribed distances when there are three or more,
// ascending and evenly spaced (to 1e-6 of the step); 0 otherwise.
double even_step(RunSetup const& s) {
  if (s.n_adj < 3) return 0.0;
  double first = gvg(s.adj_distances, 0), step = (gvg(s.adj_distances, s.n_adj - 1) - first) / (s.n_adj - 1);
  if (!(step > 0.0)) return 0.0;
  for (int i = 1; i < s.n_adj; i++)
    if (std::fabs(gvg(s.adj_distances, i) - gvg(s.adj_distances, i - 1) - step) > 1e-6 * step) return 0.0;
  return step;
}

}  // namespace

FigureInfo figure_info(Paar const& m) {
  FigureInfo f;
  f.dir = m.setup->path;
  f.base = m.setup->output_base;
  f.mode = m.setup->mode;
  f.solver = m.setup->mode == "sim" ? "none" : m.results.solver;
  f.chi2_per_point = m.setup->n_data > 0 ? m.chi2 / m.setup->n_data : 0.0;
  f.mas = m.setup->mas;
  f.grain = m.setup->grain;
  f.has_prescribed = m.setup->n_adj > 0;
  f.n_data = m.setup->n_data;
  f.component_labels = m.results.figure_labels;
  f.prescribed_share = m.setup->total_adjust_density;
  f.scaling = m.scaling;
  figure_extents(m, f);
  if (m.setup->mode != "sim" && std::isfinite(m.chi2))
    f.longest_measurable = m.setup->longest_measurable_distance(m.scaling);
  if (m.setup->mode != "sim") f.density_top = density_top(m);
  if (m.setup->mode == "sim") f.prescribed_step = even_step(*m.setup);
  auto taper = m.results.details.find("default_model_taper_angstrom");
  if (f.solver == "maxent" && taper != m.results.details.end() && taper->is_number())
    f.taper = taper->get<double>();
  return f;
}
