// redordist --compare PARAMETER_FILE: the three solvers on the same inputs,
// each a normal run into PATH + OUTPUT + "-SOLVER/", then their comparison
// (a table on standard output, PATH/OUTPUT-compare.json, and the figure
// PATH/OUTPUT-compare.png and .pdf from the script PATH/OUTPUT-compare.gp).
#ifndef REDORDIST_DRIVER_COMPARE_H
#define REDORDIST_DRIVER_COMPARE_H

#include <string>
#include <vector>

// command is the argument vector, for the summaries. Returns the exit
// status: the worst of the three runs' and the comparison's own (1 when its
// files could not be written or gnuplot failed); 128 + signal when a signal
// stopped a run, after which no further run starts and no comparison is
// made.
int run_comparison(std::string const& param_file, std::vector<std::string> const& command);

#endif
