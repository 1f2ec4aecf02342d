// Running gnuplot on a script: started directly (no shell, so a run
// directory name with shell characters is harmless), waited for at most a
// time limit, then killed.
#ifndef REDORDIST_OUTPUT_GNUPLOT_RUN_H
#define REDORDIST_OUTPUT_GNUPLOT_RUN_H

#include <string>
#include <vector>

enum class GnuplotEnd { kOk, kMissing, kFailed };

// Seconds a gnuplot may run (30, or REDORDIST_GNUPLOT_TIMEOUT when set to a
// positive whole number).
int gnuplot_time_limit();

// Runs gnuplot with the given arguments (after the program name) and waits.
// A gnuplot that is not installed is a note on standard output (kMissing);
// one that exits non-zero, dies from a signal or outlives the time limit is
// reported with the script's name (kFailed). script names it in messages.
// dir (when not empty) is the working directory gnuplot starts in.
GnuplotEnd run_gnuplot(std::vector<std::string> const& args, std::string const& script,
                       std::string const& dir = "");

// True when a screen is there to show a plot on (DISPLAY or WAYLAND_DISPLAY).
bool have_display();

// True the first time in a process only: the note that no screen graph is
// shown is said once. A study claims it before its curves run side by side,
// so that no curve's lines depend on which finished first.
bool claim_display_note();

#endif
