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
  // Maximum entropy: the default model falls to zero within this distance
  // (Angstrom) of each grid end; the fall of P(r) there is the model's, not
  // the data's, and is drawn apart (0: no taper).
  double taper = 0.0;
  // Modes fit and err: the highest density the distribution panel draws,
  // per Angstrom of the whole population: the best P(r)'s peak and, in err,
  // the band's top up to 1.5 times that peak, so that a few spiky runs do
  // not squash the curve (0: nothing to draw).
  double density_top = 0.0;
  // Mode sim: the spacing of the prescribed distances when they are evenly
  // spaced (three or more), drawn as a density per Angstrom; 0: drawn as
  // fractions (impulses) on their own axis.
  double prescribed_step = 0.0;
};

// The script's text. It names files without the directory, so it is run in
// the run directory: cd DIR && gnuplot OUTPUT-fig.gp
std::string paper_figure_script(FigureInfo const& info);

// Where the caller writes it: dir + base + "-fig.gp".
std::string paper_figure_path(FigureInfo const& info);

#endif
