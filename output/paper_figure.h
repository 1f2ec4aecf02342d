// The figure for papers: a gnuplot script OUTPUT-fig.gp that draws the
// result table OUTPUT.me in three panels (data and fitted curve, residuals,
// distance distribution) and renders OUTPUT.pdf and OUTPUT.png.
#ifndef REDORDIST_OUTPUT_PAPER_FIGURE_H
#define REDORDIST_OUTPUT_PAPER_FIGURE_H

#include <string>
#include <vector>

struct FigureInfo {
  std::string dir;     // run directory, ends with '/'
  std::string base;    // OUTPUT: the run's name and file prefix
  std::string mode;    // fit, err or sim
  std::string solver;  // annealing, maxent or gaussians
  double chi2_per_point = 0.0;
  double mas = 0.0;    // spinning rate, Hz
  double grain = 0.0;  // grid step, Angstrom
  bool has_prescribed = false;  // a prescribed distribution (DISTDIST) was read
  int n_data = 0;
  std::vector<std::string> component_labels;  // optional: one line per Gaussian
  double prescribed_share = 0.0;  // sum of the prescribed fractions (fit, err)
  double scaling = 1.0;           // SCALING
  // What the panels draw, for the few ranges gnuplot cannot autoscale (a
  // panel of one value); the defaults leave every range to gnuplot.
  double last_cycle = 1.0;                        // largest N_c of data and curve
  double curve_min = 0.0, curve_max = 1.0;        // S/S0: data +- error, curve
  double residual_min = -1.0, residual_max = 1.0; // data - fit +- error, and 0
  double fraction_max = 1.0;                      // largest prescribed fraction
  // Beyond this distance (Angstrom) the data's longest dephasing time
  // changes S/S0 by less than twice the median error: shaded (0: none).
  double longest_measurable = 0.0;
};

// The script's text. It names files without the directory, so it is run in
// the run directory: cd DIR && gnuplot OUTPUT-fig.gp
std::string paper_figure_script(FigureInfo const& info);

// Where the caller writes it: dir + base + "-fig.gp".
std::string paper_figure_path(FigureInfo const& info);

#endif
