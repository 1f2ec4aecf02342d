// The gnuplot scripts. Every inserted number is written like printf "%g"
// (six significant digits), the stream's default.
#include "output/plot_scripts.h"

#include <cmath>
#include <iostream>
#include <sstream>

#include <gsl/gsl_vector.h>

#include "output/atomic_file.h"
#include "output/gnuplot_run.h"
#include "output/paper_figure.h"
#include "output/safe_files.h"
#include "numeric/numeric.h"

namespace {

struct Values {
  std::string S;  // stem: run directory and basename
  double K;       // ms per rotor cycle
  double F;       // share of the population not prescribed
  double B;       // S/S0 at complete dephasing
  double V;       // scale of the right-hand axis
  double E;       // end of the time axis of the figure
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
  return v;
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
    << "set x2range [0:*]\n"
    << "set x2tics\n"
    << "set xtics nomirror\n"
    << "set ylabel 'S/So (blue/purple) integral (green)'\n"
    << "set y2range [-" << v.V << ":" << 10 * v.V << "]\n";
  recognized = true;
  if (p.setup->mode == "fit" || p.setup->mode == "err") {
    o << "plot '" << v.S << ".me' u 1:3 axes x1y2 w l lw 2 t " << "'normalized density',\\\n"
      << "'' u 1:4 w l axes x1y1 t 'density integral',\\\n"
      << "'' u ($9*" << v.K << "):18:13 w yerrorbars ls 2 axes x2y1 t 'data H-',\\\n"
      << "'' u ($9*" << v.K << "):19:13 w yerrorbars ls 3 axes x2y1 t 'data H+',\\\n"
      << "'' u ($20*" << v.K << "):($21*" << v.F << " +$22) w l axes x2y1 t 'ME reconstruction',\\\n"
      << "'' u ($9*" << v.K << "):16 w boxes ls 4 axes x2y2 t 'residual',\\\n";
    if (p.setup->mode == "fit") {
      o << v.B << " lt 0 notitle\n"
        << "#'' u 1:5:7 w yerrorbars axes x1y2 t 'Monte Carlo error'\n";
    } else {
      o << v.B << " lt 0,\\\n"
        << "'' u 1:5:7 w yerrorbars axes x1y2 t 'Monte Carlo error'\n";
    }
  } else if (p.setup->mode == "sim") {
    o << "set xrange [" << p.setup->near << ":" << p.setup->far << "]\n"
      << "plot '" << v.S << ".me' u 23:24 axes x1y2 w l lw 2 t " << "'density',\\\n"
      << "'' u ($9*" << v.K << "):12:13 w " << "yerrorbars ls 2 axes x2y1 t 'data',\\\n"
      << "'' u ($20*" << v.K << "):21 w l axes x2y1 t 'redor sim',\\\n"
      << "'' u ($9*" << v.K << "):16 w boxes ls 4 axes x2y2 t 'residual',\\\n"
      << v.B << " lt 0\n";
  } else {
    recognized = false;
  }
  return o.str();
}

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
  // A simulation (or a solver without multipliers) has no signs to split
  // the data by (columns 18 and 19), so they go in whole (12 and 13).
  bool signs = false;
  for (int i = 0; i < p.setup->n_data; i++) signs = signs || gvg(p.lagrange, i) != 0.0;
  if (p.setup->mode == "sim" || !signs)
    o << "     u ($9*" << v.K << "):12:13 w " << "yerrorbars ls 2 not,\\\n";
  else
    o << "     u ($9*" << v.K << "):18:13 w " << "yerrorbars ls 2 not,\\\n"
      << "  '' u ($9*" << v.K << "):19:13 w " << "yerrorbars ls 3 not,\\\n";
  o
    << "  '' u ($20*" << v.K << "):($21*" << v.F << " +$22) w l ls 2 not,\\\n"
    << "  " << v.B << " lt 0 notitle\n"
    << "# distance distribution panel\n"
    << "set size 1.0,0.5\n"
    << "set origin 0.0,0.0\n"
    << "set xlabel 'distance (A)'\n"
    << "set ylabel 'intensity \\& integral'\n"
    << "set xrange [*:*]\n"
    << "set yrange [0:1]\n"
    << "set y2range [0:*]\n"
    << "plot '" << v.S << ".me'\\\n"
    << "     u 1:3 axes x1y2 w l ls 2 not,\\\n"
    << "  '' u 1:(1-$4) w l ls 2 not\n"
    << " #'' u 1:5:7 w yerrorbars not\n"
    << "# residuals panel\n"
    << "set size 1,0.25\n"
    << "set origin 0,1.25\n"
    << "set ylabel 'residual x 100'\n"
    << "unset xlabel\n"
    << "set mytics 2\n"
    << "set format x ''\n"
    << "set xrange [0:" << v.E << "]\n"
    << "set yrange [*:*]\n"
    << "plot '" << v.S << ".me'\\\n"
    << "     u ($9*" << v.K << "):(100*$16) w boxes ls 2 not\n";
  return o.str();
}

namespace {

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
  return f;
}

// The screen graph, where there is a screen (not in mode err, whose
// estimate rewrites the scripts block after block).
bool show_screen_plot(Paar const& m) {
  if (m.setup->mode == "err") return true;
  std::string gp = m.stem() + ".gp";
  if (!have_display()) {
    static bool said = false;
    if (!said) m.report().out() << "note: no display (DISPLAY and WAYLAND_DISPLAY are unset); " << gp
                         << " is written but not shown\n";
    said = true;
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
