#include "output/study_figure.h"

#include <cmath>
#include <fstream>
#include <iostream>
#include <sstream>

#include "output/atomic_file.h"
#include "output/gnuplot_run.h"

namespace {

using json = nlohmann::json;

// A string in single quotes for gnuplot.
std::string quoted(std::string const& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("''") : std::string(1, c);
  return q + "'";
}

// The top plot: effective distances by curve, the undetermined widths ringed.
void effective_plot(std::ostringstream& o, StudyResult const& s, double top, bool any, bool shared) {
  size_t n = s.rows.size();
  o << "unset title\nset origin 0, " << 1.0 - top << "\nset size 1, " << top << "\nset xrange [-0.5:" << n - 0.5 << "]\n"
    << "set yrange [*:*]\nset offsets 0, 0, graph 0.1, graph 0.1\n"
    << "stats $eff using 2 nooutput\nif (STATS_max - STATS_min < 1e-3) { set yrange [STATS_min - 0.1:STATS_max + 0.1] }\n"
    << "set xtics rotate by -30 noenhanced (";
  for (size_t i = 0; i < n; i++) o << (i ? ", " : "") << quoted(s.rows[i].curve) << " " << i;
  o << ")\nset xlabel ''\nset ylabel 'effective distance (Å)'\nset key top left noenhanced\n";
  if (!any) {
    o << "set yrange [0:1]\nplot NaN title 'no curve was fitted'\n";
    return;
  }
  o << "plot $eff using 1:2:3 with yerrorbars pt 7 ps 1.5 lc rgb '#1f77b4' title 'effective distance ±1 sd', \\\n"
    << "     $eff using 1:($4 == 0 ? $2 : NaN) with points pt 6 ps 3.5 lw 2 lc rgb '#d62728' "
       "title 'width not determined'"
    << (shared ? ", \\\n     NaN with linespoints dt 2 pt 4 lw 1.5 lc rgb '#2ca02c' title 'the shared fit (in each panel)'" : "")
    << "\n";
}

// True when a table holds a row below its header.
bool has_rows(std::string const& file) {
  std::ifstream in(file);
  std::string line;
  return std::getline(in, line) && std::getline(in, line) && !line.empty();
}

// One panel per curve: data with errors and the fitted curve, and the shared
// fit at its points when there is one (dashed).
void curve_panels(std::ostringstream& o, StudyResult const& s, double top, int cols, int rows, bool shared) {
  o << "set xtics norotate autofreq\nunset xrange\nset autoscale x\nset offsets 0, 0, graph 0.05, graph 0.05\n"
    << "set xlabel 'dephasing time (ms)'\nset ylabel 'S/S_0'\nunset key\n";
  double w = 1.0 / cols, h = (1.0 - top) / rows;
  for (size_t i = 0; i < s.rows.size(); i++) {
    StudyRow const& r = s.rows[i];
    int col = static_cast<int>(i) % cols, row = static_cast<int>(i) / cols;
    std::string dir = s.base + "/" + r.curve + "/" + r.curve;
    o << "set origin " << col * w << ", " << (1.0 - top) - (row + 1) * h << "\nset size " << w << ", " << h
      << "\nset title " << quoted(r.curve + (r.status == 0 ? "" : " (failed)")) << " noenhanced\n";
    if (!has_rows(s.path + dir + "-curve.csv")) {
      o << "unset border\nunset tics\nset xlabel ''\nset ylabel ''\nset xrange [0:1]\nset yrange [0:1]\n"
        << "set label 1 'no fit' at graph 0.5, graph 0.5 center\n"
        << "plot NaN notitle\nunset label 1\nset border\nset tics\nset autoscale\n"
        << "set xlabel 'dephasing time (ms)'\nset ylabel 'S/S_0'\n";
      continue;
    }
    o << "plot " << quoted(dir + "-curve.csv") << " skip 1 using 2:3:4 with yerrorbars pt 7 ps 0.8 lc rgb 'black'";
    if (has_rows(s.path + dir + "-curve-smooth.csv"))
      o << ", \\\n     " << quoted(dir + "-curve-smooth.csv") << " skip 1 using 2:3 with lines lw 2 lc rgb '#d62728'";
    // The shared fit at this curve's points (its rows of the shared table).
    if (shared)
      o << ", \\\n     " << quoted(s.base + "-shared.csv") << " skip 1 using 3:(strcol(1) eq " << quoted(r.curve)
        << " ? $6 : NaN) with linespoints dt 2 pt 4 ps 0.6 lw 1.5 lc rgb '#2ca02c'";
    o << "\n";
  }
}

}  // namespace

std::string study_figure_script(StudyResult const& s) {
  int n = static_cast<int>(s.rows.size());
  int cols = std::max(1, static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n))))), rows = (n + cols - 1) / cols;
  double top = 1.0 / (1.0 + 0.6 * rows);  // the effective distances take the height of 1/0.6 panel rows
  std::ostringstream o;
  std::string stem = s.base + "-study";
  o << "# The study's figure; made by redordist, run it in the directory that holds " << s.base << "/:  gnuplot "
    << stem << ".gp\nset encoding utf8\nset datafile separator comma\nset grid lc rgb '#dddddd'\n"
    << "# curve index, effective distance (Å), its sd (0 in mode fit), width determined (1) or not (0)\n$eff << EOD\n";
  bool any = false;
  for (int i = 0; i < n; i++) {
    json const& j = s.rows[i].summary;
    double eff = summary_number(j, "/distance/effective"), sd = summary_number(j, "/distance/effective_sd");
    json det = summary_at(j, "/distance/sd_determined");
    if (std::isfinite(eff))
      any = true, o << i << "," << eff << "," << (std::isfinite(sd) ? sd : 0.0) << "," << (det == json(false) ? 0 : 1) << "\n";
  }
  o << "EOD\ndo for [fmt in 'pdf png'] {\n  if (fmt eq 'pdf') {\n"
    << "    set terminal pdfcairo enhanced color size 8in," << 3.0 + 2.0 * rows << "in font 'sans,9' linewidth 1.5\n"
    << "    set output " << quoted(stem + ".pdf") << "\n  } else {\n"
    << "    set terminal pngcairo enhanced color size 1400," << 520 + 350 * rows << " font 'sans,14' linewidth 2\n"
    << "    set output " << quoted(stem + ".png") << "\n  }\n  set multiplot\n";
  bool shared = has_rows(s.path + s.base + "-shared.csv");
  effective_plot(o, s, top, any, shared);
  curve_panels(o, s, top, cols, rows, shared);
  o << "  unset multiplot\n  set output\n}\n";
  return o.str();
}

bool render_study_figure(StudyResult const& s) {
  std::string stem = s.path + s.base + "-study";
  if (!write_file_atomically(stem + ".gp", study_figure_script(s))) {
    std::cout << "could not write the study's figure script " << stem << ".gp\n";
    return false;
  }
  return run_gnuplot({s.base + "-study.gp"}, stem + ".gp", s.path) != GnuplotEnd::kFailed;
}
