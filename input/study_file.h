// A study file: many REDOR curves in one tidy CSV, one row per data point,
//   curve,n_c,s0,s,s_s0,error[,mas][,xn][,yn][,scaling]
// in any column order after a header line. Each curve's rows become the text
// of a data file (N_c S0 S S/S0 error) whose lines keep the study file's line
// numbers, so the data file's reader checks them and names the study file
// and line in its messages. The optional columns hold a value for the whole
// curve that replaces the parameter file's MAS, XN, YN or SCALING.
#ifndef REDORDIST_INPUT_STUDY_FILE_H
#define REDORDIST_INPUT_STUDY_FILE_H

#include <string>
#include <utility>
#include <vector>

#include "input/input_files.h"
#include "input/input_status.h"

struct StudyCurve {
  std::string name;       // also its run directory's name
  size_t first_line = 0;  // of its first row
  std::string data_text;  // a data file: blank lines where other curves' rows are
  // Parameter keys the curve sets itself ("MAS", "XN", "YN", "SCALING") and their values.
  std::vector<std::pair<std::string, std::string>> keys;
};

// Reads the study file; the curves in order of first appearance. Refuses, with
// one line naming the file, the line, the value and the rule: an unreadable
// file, no header or no row, a header with an unknown, repeated or missing
// column, a row with another number of fields, an empty or blank-holding
// field, a curve name that cannot name a directory, a per-curve value that
// changes within a curve, and more curves than kMaxStudyCurves.
InputStatus read_study_file(InputFiles& files, std::string const& file, std::vector<StudyCurve>& curves);

constexpr size_t kMaxStudyCurves = 1000;

#endif
