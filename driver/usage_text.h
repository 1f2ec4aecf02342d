// The texts of --help and --template: a short guide to the command line and
// the parameter file, and a complete, runnable parameter file to start from.
#ifndef REDORDIST_DRIVER_USAGE_TEXT_H
#define REDORDIST_DRIVER_USAGE_TEXT_H

#include <ostream>
#include <string>

// Usage, modes, parameter-file rules, data columns, solvers and exit statuses.
void print_help(std::ostream& out);

// A parameter file with sensible values for a run with this solver: all 33
// keys for the annealing, the 20 the others read for maxent and gaussians.
// Each value is followed on its line by a short explanation, a remark the
// reader ignores.
void print_template(std::ostream& out, std::string const& solver);

#endif
