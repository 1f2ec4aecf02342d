// The gnuplot scripts. Every inserted number is written like printf "%g"
// (six significant digits), the stream's default.
#include "output/plot_scripts.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <vector>

#include <gsl/gsl_vector.h>

#include "output/atomic_file.h"
#include "output/gnuplot_run.h"
#include "output/figure_info.h"
#include "output/paper_figure.h"
#include "output/safe_files.h"
#include "numeric/numeric.h"

namespace {

// A number as the stream writes it by default (like printf "%g").
std::string g(double v) {
  std::ostringstream o;
  o << v;
  return o.str();
}

// A value as gnuplot reads it back from the result table (8 decimals).
double printed(double v) { return std::strtod(format("%.8f", v).c_str(), nullptr); }

struct Values {
  std::string S;  // stem: run directory and basename
  double K;       // ms per rotor cycle
  double F;       // share of the population not prescribed
  double B;       // S/S0 at complete dephasing
  double V;       // scale of the right-hand axis
  double E;       // end of the time axis of the figure
  bool negative = false, positive = false;  // some multiplier is < 0, > 0
  bool no_time = false;      // every N_c of the data and of the curve is 0
  bool flat_residual = false;  // every residual prints the same (gnuplot
  double residual = 0.0;       // cannot autoscale one value): that value
};

Values values(Paar const& p) {
  Values v;
  v.S = p.stem();
  v.K = 1000 / p.setup->mas;
  v.F = 1 - p.setup->total_adjust_density;
  v.B = 1 - p.scaling;
  // Lowest point the right-hand axis must show: residuals and the data less
  // their error bars (a point without a usable error shows no bar).
  double m = gsl_vector_min(p.residual);
  for (int i = 0; i < p.setup->n_data; i++) {
    double d = gvg(p.data, i), e = gvg(p.setup->data_error, i);
    double t = std::fabs(e - 1) < 1e-06 ? d : d - e;
    if (t < m) m = t;
  }
  m = m - 0.0002;
  v.V = (gsl_vector_max(p.distribution) + 0.002) / 10.0;
  if (std::fabs(m) > v.V) v.V = std::fabs(m);
  // The time axis ends 8 rotor cycles after the largest N_c of the data
  // (data need not be in ascending order).
  v.E = (gsl_vector_max(p.setup->cycles) + 8.0) * v.K;
  v.no_time = gsl_vector_max(p.setup->cycles) <= 0 && p.setup->n_cycles <= 1;
  v.flat_residual = true;
  v.residual = printed(gvg(p.residual, 0));
  for (int i = 0; i < p.setup->n_data; i++) {
    double l = gvg(p.lagrange, i);
    v.negative = v.negative || l < 0;
    v.positive = v.positive || l > 0;
    v.flat_residual = v.flat_residual && printed(gvg(p.residual, i)) == v.residual;
  }
  return v;
}

// One plot command over the result table: the first element names the
// table, the others reuse it (''); every element ends its line with ",\".
void plot_elements(std::ostream& o, std::string const& first, std::string const& again,
                   std::vector<std::string> const& elements) {
  for (size_t i = 0; i < elements.size(); i++)
    o << (i == 0 ? first : again) << elements[i] << ",\\\n";
}

// The data as error bars, split by the sign of their multiplier (columns 18
// and 19) where there are signs; a sign no point has is left out (gnuplot
// warns of an empty column), and without any sign (a simulation, a solver
// without multipliers) the data go in whole (column 12).
std::vector<std::string> data_elements(Values const& v, bool split, bool screen) {
  auto bars = [&](int column, int style, char const* title) {
    return "u ($9*" + g(v.K) + "):" + std::to_string(column) + ":13 w yerrorbars ls " +
           std::to_string(style) + (screen ? std::string(" axes x2y1 t '") + title + "'" : " not");
  };
  std::vector<std::string> e;
  if (split && v.negative) e.push_back(bars(18, 2, "data H-"));
  if (split && v.positive) e.push_back(bars(19, 3, "data H+"));
  if (e.empty()) e.push_back(bars(12, 2, "data"));
  return e;
}

// The plot command of the screen graph in the modes that fit.
void fitted_plot(std::ostream& o, Paar const& p, Values const& v) {
  std::vector<std::string> e = {"u 1:3 axes x1y2 w l lw 2 t 'normalized density'",
                                "u 1:4 w l axes x1y1 t 'density integral'"};
  for (auto const& d : data_elements(v, true, true)) e.push_back(d);
  e.push_back("u ($20*" + g(v.K) + "):($21*" + g(v.F) +
              " +$22) w l axes x2y1 t 'ME reconstruction'");
  e.push_back("u ($9*" + g(v.K) + "):16 w boxes ls 4 axes x2y2 t 'residual'");
  plot_elements(o, "plot '" + v.S + ".me' ", "'' ", e);
  if (p.setup->mode == "fit") {
    o << v.B << " lt 0 notitle\n"
      << "#'' u 1:5:7 w yerrorbars axes x1y2 t 'Monte Carlo error'\n";
  } else {
    o << v.B << " lt 0,\\\n"
      << "'' u 1:5:7 w yerrorbars axes x1y2 t 'Monte Carlo error'\n";
  }
}

// The plot command of the screen graph in mode sim; the prescribed
// distribution only when there is one.
void simulated_plot(std::ostream& o, Paar const& p, Values const& v) {
  std::vector<std::string> e;
  if (p.setup->n_adj > 0) e.push_back("u 23:24 axes x1y2 w l lw 2 t 'density'");
  e.push_back("u ($9*" + g(v.K) + "):12:13 w yerrorbars ls 2 axes x2y1 t 'data'");
  e.push_back("u ($20*" + g(v.K) + "):21 w l axes x2y1 t 'redor sim'");
  e.push_back("u ($9*" + g(v.K) + "):16 w boxes ls 4 axes x2y2 t 'residual'");
  o << "set xrange [" << p.setup->near << ":" << p.setup->far << "]\n";
  plot_elements(o, "plot '" + v.S + ".me' ", "'' ", e);
  o << v.B << " lt 0\n";
}

}  // namespace

std::string plot_script_text(Paar const& p, bool& recognized) {
  Values v = values(p);
  std::ostringstream o;
  o << "#set term postscript enhanced solid color\n"
    << "#set out '" << v.S << ".ps'\n"
    << "set style line 2 lw 1 lt 3 pt 6 ps 2\n"
    << "set style line 3 lw 1 lt 3 pt 8 ps 2\n"
    << "set style line 4 lw 1 lt 7 pt 0 ps 2\n"
    << "set xlabel 'Angstroms (red/green)'\n"
    << "set x2label 'Dephasing Time (ms) (blue/purple/aqua)'\n"
    << "set y2tics\n"
    << "set y2label 'density (red) residual (aqua)'\n"
    << "set ytics nomirror\n"
    << "set mxtics 10\n"
    << "set mx2tics 10\n"
    << "set mytics 10\n"
    << "set xrange [" << p.setup->near << ":" << p.setup->far << "]\n"
    << "set yrange [" << v.B - 0.05 << ":1]\n"
    // Without any dephasing time the time axis cannot be autoscaled.
    << "set x2range [0:" << (v.no_time ? g(v.E) : "*") << "]\n"
    << "set x2tics\n"
    << "set xtics nomirror\n"
    << "set ylabel 'S/So (blue/purple) integral (green)'\n"
    << "set y2range [-" << v.V << ":" << 10 * v.V << "]\n";
  recognized = true;
  if (p.setup->mode == "fit" || p.setup->mode == "err")
    fitted_plot(o, p, v);
  else if (p.setup->mode == "sim")
    simulated_plot(o, p, v);
  else
    recognized = false;
  return o.str();
}

namespace {

// The distance distribution panel of the print script. In mode sim, which
// computes no distribution, it shows the prescribed fractions on the left
// axis (or, without any, the empty distribution as a line at zero).
void print_distribution_panel(std::ostream& o, Paar const& p, Values const& v) {
  o << "# distance distribution panel\n"
    << "set size 1.0,0.5\n"
    << "set origin 0.0,0.0\n"
    << "set xlabel 'distance (A)'\n"
    << "set ylabel 'intensity \\& integral'\n";
  if (p.setup->mode != "sim") {
    o << "set xrange [*:*]\n"
      << "set yrange [0:1]\n"
      << "set y2range [0:*]\n"
      << "plot '" << v.S << ".me'\\\n"
      << "     u 1:3 axes x1y2 w l ls 2 not,\\\n"
      << "  '' u 1:(1-$4) w l ls 2 not\n"
      << " #'' u 1:5:7 w yerrorbars not\n";
    return;
  }
  double lo = p.setup->near, hi = p.setup->far;
  for (int i = 0; i < p.setup->n_adj; i++) {
    lo = std::min(lo, gvg(p.setup->adj_distances, i));
    hi = std::max(hi, gvg(p.setup->adj_distances, i));
  }
  o << "set xrange [" << lo << ":" << hi << "]\n"
    << "set yrange [0:1]\n"
    << "plot '" << v.S << ".me'\\\n"
    << (p.setup->n_adj > 0 ? "     u 23:24 w impulses ls 2 not\n" : "     u 1:3 w l ls 2 not\n");
}

}  // namespace

std::string print_script_text(Paar const& p) {
  Values v = values(p);
  std::ostringstream o;
  o << "set term postscript eps enhanced solid color\n"
    << "set out '" << v.S << "-ps.eps'\n"
    << "set style line 2 lw 1 lt 3 pt 6 ps 2\n"
    << "set style line 3 lw 1 lt 3 pt 8 ps 2\n"
    << "set style line 4 lw 1 lt 7 pt 0 ps 2\n"
    << "set mxtics 10\n"
    << "set mx2tics 10\n"
    << "set mytics 10\n"
    << "set yrange [" << v.B - 0.05 << ":1]\n"
    << "set size 1,1.5\n"
    << "unset key\n"
    << "#\n"
    << "set multiplot\n"
    << "# data/fit panel\n"
    << "set size 1,0.75\n"
    << "set origin 0,0.5\n"
    << "set xlabel 'dephasing time (ms)'\n"
    << "set ylabel 'S/S0'\n"
    << "set xrange [0:" << v.E << "]\n"
    << "set xtics mirror\n"
    << "plot '" << v.S << ".me'\\\n";
  std::vector<std::string> e = data_elements(v, p.setup->mode != "sim", false);
  e.push_back("u ($20*" + g(v.K) + "):($21*" + g(v.F) + " +$22) w l ls 2 not");
  plot_elements(o, "     ", "  '' ", e);
  o << "  " << v.B << " lt 0 notitle\n";
  print_distribution_panel(o, p, v);
  // One residual (or all alike) cannot be autoscaled: one percent around it.
  std::string range =
      v.flat_residual ? g(100 * v.residual - 1) + ":" + g(100 * v.residual + 1) : "*:*";
  o << "# residuals panel\n"
    << "set size 1,0.25\n"
    << "set origin 0,1.25\n"
    << "set ylabel 'residual x 100'\n"
    << "unset xlabel\n"
    << "set mytics 2\n"
    << "set format x ''\n"
    << "set xrange [0:" << v.E << "]\n"
    << "set yrange [" << range << "]\n"
    << "plot '" << v.S << ".me'\\\n"
    << "     u ($9*" << v.K << "):(100*$16) w boxes ls 2 not\n";
  return o.str();
}

namespace {

// The screen graph, where there is a screen (not in mode err, whose
// estimate rewrites the scripts block after block).
bool show_screen_plot(Paar const& m) {
  if (m.setup->mode == "err") return true;
  std::string gp = m.stem() + ".gp";
  if (!have_display()) {
    if (claim_display_note()) m.report().out() << "note: no display (DISPLAY and WAYLAND_DISPLAY are unset); " << gp
                         << " is written but not shown\n";
    return true;
  }
  return run_gnuplot({"-persist", gp}, gp) != GnuplotEnd::kFailed;
}

}  // namespace

int gnuplot_out(Paar& m) {
  bool recognized = true;
  std::string plot = plot_script_text(m, recognized);
  if (!recognized) m.report().out() << "mode not recognized on output\n";
  bool ok = write_file_atomically(m.stem() + ".gp", plot);
  if (!show_screen_plot(m)) ok = false;
  if (!write_file_atomically(m.stem() + "-ps.gp", print_script_text(m))) ok = false;
  remove_planted_link(m.stem() + "-ps.eps");
  if (run_gnuplot({m.stem() + "-ps.gp"}, m.stem() + "-ps.gp") == GnuplotEnd::kFailed) ok = false;
  // The figure for papers, run in the run directory (its script names the
  // table without the directory, so it can be replayed there).
  FigureInfo f = figure_info(m);
  std::string fig = paper_figure_path(f);
  if (!write_file_atomically(fig, paper_figure_script(f))) ok = false;
  remove_planted_link(m.stem() + ".pdf");
  remove_planted_link(m.stem() + ".png");
  if (run_gnuplot({m.setup->output_base + "-fig.gp"}, fig, m.setup->path) == GnuplotEnd::kFailed) ok = false;
  return ok ? 1 : 0;
}
