// The texts of --help and --template: a short guide to the command line and
// the parameter file, and a complete, runnable parameter file to start from.
#ifndef REDORDIST_DRIVER_USAGE_TEXT_H
#define REDORDIST_DRIVER_USAGE_TEXT_H

#include <ostream>

// Usage, modes, parameter-file rules, data columns, solvers and exit statuses.
void print_help(std::ostream& out);

// A 33-line parameter file with sensible defaults; each value is followed on
// its line by a short explanation, which the reader ignores.
void print_template(std::ostream& out);

#endif
