// The paper figure script. Table columns used: 1 distance, 3 density,
// 5 Monte Carlo mean, 7 its standard deviation, 9 N_c, 12 S/S0, 13 error,
// 14 fit at the data, 15 prescribed curve at the data, 20 rotor cycles of
// the smooth curves, 21 smooth fit, 22 smooth prescribed curve, 23 and 24
// prescribed distances and fractions. Densities are shown per Angstrom
// (divided by the grid step) and, with a prescribed share, as a share of
// the whole population.
#include "output/paper_figure.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace {

// A gnuplot single-quoted string: only the quote itself needs doubling.
std::string quoted(std::string const& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("''") : std::string(1, c);
  return q + "'";
}

std::string number(double v) {
  std::ostringstream o;
  o.precision(10);
  o << v;
  return o.str();
}

// Fitted S/S0 of the whole population, smooth (cycles in column 20) and at
// the data points. In sim the columns hold the prescribed curve already.
std::string smooth_curve(FigureInfo const& f) {
  bool whole = f.mode != "sim" && f.has_prescribed;
  return whole ? "(F*$21+S*$22)" : "21";
}
std::string fit_at_data(FigureInfo const& f) {
  bool whole = f.mode != "sim" && f.has_prescribed;
  return whole ? "(F*$14+S*$15)" : "$14";
}

// Autoscaling, unless the panel shows a single value (one point, or all
// alike), where gnuplot finds no range: then pad around it.
std::string y_range(double lo, double hi, double pad) {
  if (hi - lo >= 1e-6) return "set autoscale y";
  return "set yrange [" + number(lo - pad) + ":" + number(hi + pad) + "]";
}

// The legends sit in room kept free at the top of their panel, so they are
// never drawn over data: each row of legend takes this share of a panel's
// height (10 pt text in a panel about 2.3 in high), plus a margin.
const double kKeyRow = 0.08, kKeyMargin = 0.03;

double key_room(size_t rows) { return rows ? kKeyMargin + kKeyRow * static_cast<double>(rows) : 0.0; }

// Panel (a): the data with their errors and the curve, 5 % padding below,
// and above that the room for one row of legend.
std::string curve_y_range(FigureInfo const& f) {
  double lo = f.curve_min, hi = f.curve_max;
  double pad = hi - lo >= 1e-6 ? 0.05 * (hi - lo) : 0.05;
  lo -= pad, hi += pad;
  return "set yrange [" + number(lo) + ":" + number(lo + (hi - lo) / (1.0 - key_room(1))) + "]";
}

std::string title(FigureInfo const& f) {
  std::ostringstream o;
  o.precision(4);
  o << f.base << ":  mode " << f.mode << ",  solver " << f.solver << ",  \xcf\x87\xc2\xb2/point "
    << f.chi2_per_point << " (" << f.n_data << " points)";
  return o.str();
}

void preamble(std::ostream& o, FigureInfo const& f) {
  bool share = f.mode != "sim" && f.has_prescribed;
  o << "# Figure of the run " << f.base << " for papers: " << f.base << ".pdf and " << f.base
    << ".png\n# from the result table " << f.base << ".me. Run it in the run directory:\n"
    << "#   gnuplot " << f.base << "-fig.gp\n"
    << "show_title = 0    # 1: a title line naming the run, mode, solver and chi2 above the panels\n"
    << "set encoding utf8\n"
    << "set datafile missing '?'\n"
    << "table = " << quoted(f.base + ".me") << "\n"
    << "K = " << number(1000.0 / f.mas) << "    # ms per rotor cycle (1000 / MAS)\n"
    << "G = " << number(f.grain) << "    # grid step, Angstrom\n"
    << "F = " << number(share ? 1.0 - f.prescribed_share : 1.0)
    << "    # share of the population that is fitted\n"
    << "S = " << number(f.scaling) << "    # SCALING\n"
    << "stats table using 9 name 'DATA' nooutput\n"
    << "stats table using 20 name 'CURVE' nooutput\n"
    << (f.last_cycle > 0 ? "tmax = K * (DATA_max > CURVE_max ? DATA_max : CURVE_max)\n"
                         : "tmax = 8 * K    # every N_c is 0: eight rotor cycles\n")
    << "stats table using 1 name 'GRID' nooutput\n"
    << "rmin = GRID_min\nrmax = GRID_max\n";
  if (f.has_prescribed)
    o << "stats table using 23 name 'PRESCRIBED' nooutput\n"
      << "stats table using 24 name 'FRACTION' nooutput\n"
      << "rmin = PRESCRIBED_min < rmin ? PRESCRIBED_min : rmin\n"
      << "rmax = PRESCRIBED_max > rmax ? PRESCRIBED_max : rmax\n";
  o << "rpad = 0.03 * (rmax > rmin ? rmax - rmin : 1)\n";
}

// Panel (a): data with error bars and the fitted (or simulated) curve.
void panel_curve(std::ostream& o, FigureInfo const& f) {
  bool sim = f.mode == "sim";
  o << "  # (a) data and " << (sim ? "simulated" : "fitted") << " curve\n"
    << "  set tmargin at screen 0.94\n  set bmargin at screen 0.62\n"
    << "  set label 1 '(a)' at screen 0.015, screen 0.95\n"
    << "  set xrange [-0.02*tmax:1.02*tmax]\n  " << curve_y_range(f) << "    # the top row for the legend\n"
    << "  set format x ''\n  unset xlabel\n"
    << "  set ylabel 'S/S_0'\n  set key top right horizontal nobox\n"
    << "  plot table using ($9*K):12:13 with yerrorbars pt 7 ps 0.6 lc rgb 'black' "
       "title 'data', \\\n"
    << "       table using ($20*K):" << smooth_curve(f)
    << (f.last_cycle > 0 ? " with lines" : " with linespoints pt 6 ps 2")  // one point: mark it
    << " lw 2 lc rgb '#c00000' "
    << "title " << (sim ? "'simulation'" : "'fit'") << "\n";
}

// Panel (b): data less fit at the data points, with the data's error bars.
void panel_residual(std::ostream& o, FigureInfo const& f) {
  o << "  # (b) residuals\n"
    << "  set tmargin at screen 0.61\n  set bmargin at screen 0.45\n"
    << "  set label 1 '(b)' at screen 0.015, screen 0.61\n"
    << "  " << y_range(f.residual_min, f.residual_max, 0.01) << "\n"
    << "  set format x '% h'\n  set xlabel 'dephasing time (ms)'\n"
    << "  set ylabel 'data − " << (f.mode == "sim" ? "sim." : "fit") << "'\n"
    << "  unset key\n"
    << "  set offsets 0, 0, graph 0.08, graph 0.08    # room for every error bar\n"
    << "  plot table using ($9*K):($12-" << fit_at_data(f)
    << "):13 with yerrorbars pt 7 ps 0.6 lc rgb 'black', \\\n"
    << "       0 with lines dt 2 lc rgb 'gray40'\n";
}

// The plot commands of panel (c) in mode sim: the prescribed distribution as
// a density per Angstrom when its distances are evenly spaced, otherwise as
// fractions (impulses) on the right axis; none: a line at zero.
std::string prescribed_plot(FigureInfo const& f) {
  if (!(f.has_prescribed && f.fraction_max > 0))
    return "plot table using 1:(0) with lines lw 2 lc rgb '#0060c0' notitle\n";
  if (f.prescribed_step > 0)
    return "plot table using 23:($24/" + number(f.prescribed_step) +
           ") with linespoints pt 7 ps 0.5 lw 2 lc rgb '#0060c0' title 'prescribed distribution'\n";
  return "plot table using 23:24 axes x1y2 with impulses lw 4 lc rgb '#0060c0' "
         "title 'prescribed distribution', \\\n"
         "       table using 23:24 axes x1y2 with points pt 7 lc rgb '#0060c0' notitle\n";
}

// The plot commands of panel (c) in fit and err.
std::string distribution_plot(FigureInfo const& f) {
  // The Gaussians' end points hold half a cell (NEAR) or less (FAR): their
  // density is left out rather than drawn as a step. Maximum entropy's P(r)
  // is drawn dashed where its default model tapers to zero (the fall there
  // is the model's); the two pieces share the grid point nearest the border.
  std::string in = f.solver == "gaussians" ? "($1 < GRID_min + G/2 || $1 > GRID_max - G/2)"
                   : f.taper > 0          ? "($1 < GRID_min + taper - G/2 || $1 > GRID_max - taper + G/2)"
                                          : "";
  auto cut_if = [&](std::string const& c, std::string const& v) {
    return c.empty() ? "(" + v + ")" : "(" + c + " ? NaN : " + v + ")";
  };
  auto cut = [&](std::string const& v) { return cut_if(in, v); };
  // The spread is drawn wherever there are runs, the taper included.
  std::string part = f.solver == "gaussians" ? in : "";
  auto cut_band = [&](std::string const& v) { return cut_if(part, v); };
  // Above the panel's top the band is cut flat and the mean left out, so a
  // few spiky runs cannot squash the curve.
  auto clip = [&](std::string const& v) { return "(" + v + " > dtop ? dtop : " + v + ")"; };
  std::string best = "table using 1:" + cut("F*$3/G") + " with lines lw 2 lc rgb '#c00000' title 'P(r)'";
  if (f.taper > 0)
    best += ", \\\n       table using 1:(($1 < GRID_min + taper + G/2 || $1 > GRID_max - taper - G/2) ? F*$3/G : NaN)"
            " with lines lw 1.5 dt 2 lc rgb '#c00000' title 'P(r) in the default model''s taper'";
  std::string p = "plot ";
  // The annealing's spread comes from Monte Carlo runs, the other solvers'
  // from bootstrap replicates; either is the noise part only.
  std::string spread = f.solver == "annealing" ? "Monte Carlo" : "bootstrap";
  if (f.mode == "err")
    p += "table using 1:" + cut_band(clip("F*($5-$7)/G")) + ":" + cut_band(clip("F*($5+$7)/G")) +
         " with filledcurves fc rgb '#a0c0f0' fs solid 0.6 noborder title '" + spread +
         " ± 1 sd (noise only)', \\\n       " + best + ", \\\n       table using 1:" +
         cut_band("(F*$5/G > dtop ? NaN : F*$5/G)") + " with lines lw 2 dt 2 lc rgb '#0040a0' title '" + spread + " mean'";
  else
    p += best;
  if (f.has_prescribed)
    p += ", \\\n       table using 23:24 axes x1y2 with impulses lw 4 lc rgb '#0060c0' "
         "title 'prescribed (fraction, right axis)'";
  return p + "\n";
}

// Entries of panel (c)'s key (at the top right).
size_t key_entries(FigureInfo const& f) {
  if (f.mode == "sim") return f.has_prescribed && f.fraction_max > 0 ? 1 : 0;
  return (f.mode == "err" ? 3 : 1) + (f.taper > 0 ? 1 : 0) + (f.has_prescribed ? 1 : 0);
}

// The panel's vertical axes: density per Angstrom on the left (fractions
// on the right where a prescribed distribution is drawn as such), each
// with room at the top for the legend.
void distribution_axes(std::ostream& o, FigureInfo const& f) {
  bool sim = f.mode == "sim", fractions = f.has_prescribed && f.fraction_max > 0;
  bool impulses_only = sim && fractions && !(f.prescribed_step > 0);
  double top = sim ? (fractions && f.prescribed_step > 0 ? f.fraction_max / f.prescribed_step : 0.0) : f.density_top;
  o << "  dtop = " << number(top > 0 && std::isfinite(top) ? top : 1.0) << "    # highest density drawn, 1/Å\n"
    << "  room = " << number(key_room(key_entries(f) + f.component_labels.size())) << "    # share of the panel kept free for the legend\n"
    << "  set yrange [0:dtop/(1-room)]\n";
  if (impulses_only)
    o << "  unset ytics\n  set ylabel ''\n";
  else
    o << "  set ylabel 'P(r) (1/Å)'\n";
  if (f.has_prescribed && (!sim || impulses_only))
    o << "  set y2range [0:" << (fractions ? number(f.fraction_max) : std::string("1")) << "/(1-room)]\n"
      << "  set y2tics\n" << (impulses_only ? "" : "  set ytics nomirror\n") << "  set y2label 'fraction of pairs'\n";
}

// Panel (c): the distance distribution as a density per Angstrom.
void panel_distribution(std::ostream& o, FigureInfo const& f) {
  o << "  # (c) distance distribution\n"
    << "  set tmargin at screen 0.35\n  set bmargin at screen 0.07\n"
    << "  set label 1 '(c)' at screen 0.015, screen 0.35\n"
    << "  set xrange [rmin-rpad:rmax+rpad]\n"
    << "  set xlabel 'distance r (Å)'\n";
  if (f.taper > 0)
    o << "  taper = " << number(0.5 * f.taper)
      << "    # within this of a grid end the default model is below half its height, Å\n";
  distribution_axes(o, f);
  o << "  set key top right nobox\n";
  // The Gaussians' components: one line each, under the key.
  for (size_t i = 0; i < f.component_labels.size(); i++)
    o << "  set label " << 10 + i << " " << quoted(f.component_labels[i]) << " at graph 0.98, graph "
      << number(1.0 - kKeyMargin - kKeyRow * (static_cast<double>(key_entries(f) + i) + 0.5))
      << " right front noenhanced\n";
  if (f.mode == "sim" && !(f.has_prescribed && f.fraction_max > 0))
    o << "  set label 2 'no prescribed distribution' at graph 0.5, graph 0.5 center front\n";
  // What lies beyond the longest measurable distance is not measured: shaded.
  if (f.longest_measurable > 0.0)
    o << "  lmd = " << number(f.longest_measurable) << "    # longest measurable distance, Å\n"
      << "  if (lmd < rmax) {\n"
      << "    set object 1 rect from first lmd, graph 0 to graph 1, graph 1 behind "
         "fc rgb '#f0f0f0' fs solid 1.0 noborder\n"
      << "    set label 3 'not measurable' at first lmd, graph 0.5 "
         "rotate by 90 offset char 1.2, 0 center front textcolor rgb 'gray40'\n"
      << "  }\n";
  o << "  " << (f.mode == "sim" ? prescribed_plot(f) : distribution_plot(f));
}

}  // namespace

std::string paper_figure_path(FigureInfo const& info) { return info.dir + info.base + "-fig.gp"; }

std::string paper_figure_script(FigureInfo const& f) {
  std::ostringstream o;
  preamble(o, f);
  o << "do for [fmt in 'pdf png'] {\n"
    << "  if (fmt eq 'pdf') {\n"
    << "    set terminal pdfcairo enhanced color size 7in,8in font 'sans,10' linewidth 1.5\n"
    << "    set output " << quoted(f.base + ".pdf") << "\n"
    << "  } else {\n"
    << "    set terminal pngcairo enhanced color size 1400,1600 font 'sans,20' linewidth 2.5\n"
    << "    set output " << quoted(f.base + ".png") << "\n"
    << "  }\n"
    << "  set multiplot title (show_title ? " << quoted(title(f)) << " : '') noenhanced\n"
    << "  set lmargin at screen 0.13\n  set rmargin at screen 0.88\n"
    << "  unset y2tics\n  unset y2label\n  set ytics mirror\n  unset label\n  unset object\n"
    << "  set offsets 0, 0, 0, 0\n  set style textbox opaque noborder\n";
  panel_curve(o, f);
  panel_residual(o, f);
  panel_distribution(o, f);
  o << "  unset multiplot\n  set output\n}\n";
  return o.str();
}
