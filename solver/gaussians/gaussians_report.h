// The lines that report the Gaussian mixture fits, for the log and standard
// output: chi2 and AIC of each k, then the chosen mixture's components.
#ifndef REDORDIST_SOLVER_GAUSSIANS_GAUSSIANS_REPORT_H
#define REDORDIST_SOLVER_GAUSSIANS_GAUSSIANS_REPORT_H

#include <string>
#include <vector>

#include "solver/gaussians/gaussian_fit.h"
#include "solver/gaussians/gaussians_run.h"

// One string per line, without newlines. near, far in Angstrom.
std::vector<std::string> gaussian_report_lines(MixtureSelection const& sel, double near, double far);

// The bootstrap's view of the mixture: how often each k was chosen, and the
// spread of each component over the replicates with the fit's k.
std::vector<std::string> gaussian_bootstrap_lines(MixtureSpread const& s);

#endif
