// Running gnuplot on a script: started directly (no shell, so a run
// directory name with shell characters is harmless) and waited for.
#ifndef REDORDIST_OUTPUT_GNUPLOT_RUN_H
#define REDORDIST_OUTPUT_GNUPLOT_RUN_H

#include <string>
#include <vector>

// Runs gnuplot with the given arguments (after the program name) and waits.
// When gnuplot is not installed, says "gnuplot: not found" on standard error.
void run_gnuplot(std::vector<std::string> const& args);

#endif
