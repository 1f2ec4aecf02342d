// The measured REDOR curve and the optional prescribed distance
// distribution, read and checked line by line.
#ifndef REDORDIST_INPUT_DATA_FILE_H
#define REDORDIST_INPUT_DATA_FILE_H

#include <cstddef>
#include <string>
#include <vector>

struct DataPoint {
  int nc = 0;          // rotor cycles, even
  double s0 = 0.0;     // undephased signal
  double s = 0.0;      // dephased signal
  double err = 0.0;    // error of S/S0 after the "no usable error" rule
  bool err_usable = false;  // the fifth column held a usable error
  size_t lineno = 0;   // line in the file, for messages
};

// Reads the data file; refuses (one line, status 1) an unreadable file, a
// malformed line, or a point beyond a nonzero last_point.
std::vector<DataPoint> read_data_file(std::string const& file, int last_point);

// A prescribed distribution: distances in Angstrom and their fractions.
struct PrescribedDist {
  bool readable = false;  // the file could be read (it may still hold no line)
  std::vector<double> distance;
  std::vector<double> fraction;
};

// Reads the prescribed distribution; an unreadable file gives an empty one
// (the file is optional), a malformed line is refused: distances must be
// finite and at least 0.5 Angstrom, fractions between 0 and 1.
PrescribedDist read_prescribed_file(std::string const& file);

// Warnings (on standard output, kept for the log) for data that are legal
// but probably a mistake: points without a usable error, S/S0 far outside
// 0..1, no dephasing at all.
void warn_about_data(std::string const& file, std::vector<DataPoint> const& pts);

#endif
