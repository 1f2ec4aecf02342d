// The measured REDOR curve and the optional prescribed distance
// distribution, read and checked line by line.
#ifndef REDORDIST_INPUT_DATA_FILE_H
#define REDORDIST_INPUT_DATA_FILE_H

#include <cstddef>
#include <string>
#include <vector>

#include "input/input_files.h"
#include "input/input_status.h"

struct DataPoint {
  int nc = 0;          // rotor cycles, even
  double s0 = 0.0;     // undephased signal
  double s = 0.0;      // dephased signal
  double err = 0.0;    // error of S/S0 after the "no usable error" rule
  bool err_usable = false;  // the fifth column held a usable error
  size_t lineno = 0;   // line in the file, for messages
};

// Reads the data file: per line N_c S0 S S/S0 and the error of S/S0 (which
// may be left out). Refuses, with one line naming the file and the line,
// an unreadable file, a line of fewer than four columns or with a value
// that is not a number, an S/S0 column that disagrees with S/S0 from S0
// and S beyond its rounding, a point beyond a nonzero last_point, and
// errors or S/S0 that look like percent.
InputStatus read_data_file(InputFiles& files, std::string const& file, int last_point,
                           std::vector<DataPoint>& pts);
InputStatus read_data_file(std::string const& file, int last_point, std::vector<DataPoint>& pts);

// A prescribed distribution: distances in Angstrom and their fractions.
struct PrescribedDist {
  bool readable = false;  // a file was named and read (it may still hold no line)
  std::vector<double> distance;
  std::vector<double> fraction;
};

// Reads the prescribed distribution named by DISTDIST; "none" gives an
// empty one. A file that does not open or a malformed line is refused:
// distances must be finite and at least 0.5 Angstrom, fractions between 0
// and 1.
InputStatus read_prescribed_file(InputFiles& files, std::string const& file, PrescribedDist& d);
InputStatus read_prescribed_file(std::string const& file, PrescribedDist& d);

// Warnings (on standard output, kept for the log) for data that are legal
// but probably a mistake: points without a usable error, S/S0 far outside
// 0..1, no dephasing at all.
void warn_about_data(std::string const& file, std::vector<DataPoint> const& pts);

#endif
