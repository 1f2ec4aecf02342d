// The two gnuplot scripts that plot the result table by column number: the
// screen graph (".gp") and the three-panel EPS figure ("-ps.gp").
#ifndef REDORDIST_OUTPUT_PLOT_SCRIPTS_H
#define REDORDIST_OUTPUT_PLOT_SCRIPTS_H

#include <string>

#include "model/paar.h"

// Text of the screen script; sets recognized to false for a mode other than
// "fit", "err" and "sim" (the script then ends before its plot command).
std::string plot_script_text(Paar const& p, bool& recognized);
std::string print_script_text(Paar const& p);

// Writes both scripts and runs gnuplot on them (the screen graph except in
// mode "err"); 0 when a script could not be written.
int gnuplot_out(Paar& model);

#endif
