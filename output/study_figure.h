// The study's figure PATH/OUTPUT-study.png and .pdf, drawn by gnuplot from
// the script OUTPUT-study.gp (run in PATH): on top the effective distance
// of every curve with its +-1 sd (mode err) and an open ring where the data
// do not determine the width; below, one small panel per curve with its
// data, errors and fitted curve against dephasing time, read from the
// curve's run directory.
#ifndef REDORDIST_OUTPUT_STUDY_FIGURE_H
#define REDORDIST_OUTPUT_STUDY_FIGURE_H

#include <string>

#include "output/study_table.h"

// The script's text.
std::string study_figure_script(StudyResult const& s);

// Writes the script and runs gnuplot; false when the script could not be
// written or gnuplot failed (a missing gnuplot is a note, not a failure).
bool render_study_figure(StudyResult const& s);

#endif
