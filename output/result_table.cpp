// The result table (".me"): the grid with the distribution and its Monte
// Carlo statistics, the data with the fit, the smooth curves and the
// prescribed distribution, side by side in 24 columns read by column number
// by the plot scripts. A "?" stands where a vector has no element.
#include <algorithm>
#include <cmath>
#include <string>

#include "model/paar.h"
#include "output/atomic_file.h"
#include "output/result_table.h"
#include "numeric/numeric.h"

namespace {

const char* const kTitles[24] = {
    "distance",   "dipolcoupling", "density",       "integral",      "MCaverage",
    "MCaverage err", "MCstdev",    "MCstdev err",   "N_c",           "data_S0",
    "data_S",     "data_S/S0",     "data_error",    "fit_to_data",   "fit_adjust",
    "residual",   "Lagrange_mult", "data_if_La_H-", "data_if_La_H+", "2_c",
    "Smooth_fit", "Smooth_adjust", "adj distances", "adj density"};

std::string num(double v) { return format("%13.8lf", v); }
std::string q13() { return format("%13s", "?"); }

}  // namespace

std::string result_table_header() {
  std::string h = "# ";
  for (int c = 0; c < 24; c++) {
    int w = c == 0 ? 11 : (c == 8 || c == 19) ? 4 : 13;
    h += format("%*s", w, kTitles[c]);
    h += c == 23 ? "\n" : " ";
  }
  return h;
}

int write_out(Paar& m) {
  m.calc_state();
  std::string t = result_table_header();
  int rows = std::max(m.setup->n_cycles, m.setup->n_grid);
  double integral = 0.0;
  for (int i = 0; i < rows; i++) {
    if (i < m.setup->n_grid) {
      double r = gvg(m.setup->distances, i);
      double p = gvg(m.distribution, i);
      integral += p;
      double vals[8] = {r,
                        m.setup->dipolar_constant / std::pow(r, 3.0),
                        p,
                        integral,
                        gvg(m.results.mc.average, i),
                        gvg(m.results.mc.average_err, i),
                        gvg(m.results.mc.stdev, i),
                        gvg(m.results.mc.stdev_err, i)};
      for (double v : vals) t += num(v) + " ";
    } else {
      for (int c = 0; c < 8; c++) t += q13() + " ";
    }
    if (i < m.setup->n_data) {
      double err = gvg(m.setup->data_error, i);
      double lam = gvg(m.lagrange, i);
      double d = gvg(m.data, i);
      t += format("%4i", static_cast<int>(gvg(m.setup->cycles, i))) + " ";
      double vals[8] = {gvg(m.setup->data_s0, i),
                        gvg(m.setup->data_s, i),
                        d,
                        std::fabs(err - 1.0) < 1e-06 ? 0.0 : err,
                        gvg(m.fit_to_data, i),
                        gvg(m.setup->fit_adjust, i),
                        gvg(m.residual, i),
                        lam};
      for (double v : vals) t += num(v) + " ";
      t += (lam < 0 ? num(d) : q13()) + " ";
      t += (lam > 0 ? num(d) : q13()) + " ";
    } else {
      t += format("%4s", "?") + " ";
      for (int c = 0; c < 10; c++) t += q13() + " ";
    }
    if (i < m.setup->n_cycles) {
      t += format("%4i", 2 * i) + " " + num(gvg(m.smooth_fit, i)) + " " + num(gvg(m.setup->smooth_adjust, i)) +
           " ";
    } else {
      t += format("%4s", "?") + " " + q13() + " " + q13() + " ";
    }
    if (i < m.setup->n_adj) {
      t += num(gvg(m.setup->adj_distances, i)) + " " + num(gvg(m.setup->adj_density, i));
    } else {
      t += q13() + " " + q13();
    }
    t += "\n";
  }
  return write_file_atomically(m.stem() + ".me", t) ? 1 : 0;
}
