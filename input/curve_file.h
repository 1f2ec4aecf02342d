// The optional universal dephasing curve: S/S0 against the dimensionless
// dephasing parameter lambda_D, tabulated from lambda_D 0 upwards.
#ifndef REDORDIST_INPUT_CURVE_FILE_H
#define REDORDIST_INPUT_CURVE_FILE_H

#include <string>
#include <vector>

#include "input/input_status.h"

struct DephasingCurve {
  std::vector<double> lambda;
  std::vector<double> signal;
};

// Reads the curve up to the first point beyond lambda_max (points further
// out are never needed and not read). Refuses, with one line naming the file
// and the line, a malformed line, a curve that does not start at 0 or does
// not ascend, and a curve with no point at or below lambda_max.
InputStatus read_curve_file(std::string const& file, double lambda_max, DephasingCurve& c);
// The same on the lines of the file, read before; a curve that ends before
// lambda_needed, the largest lambda_D the run looks up, is refused too
// (naming the lambda_D it reaches and the one needed).
InputStatus parse_curve_lines(std::string const& file, std::vector<std::string> const& lines, double lambda_max,
                              double lambda_needed, DephasingCurve& c);

#endif
