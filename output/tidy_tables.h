// Tidy tables beside the result table, for spreadsheets, Python's csv and
// numpy.loadtxt(name, delimiter=',', skiprows=1): one header line, then rows
// of numbers only, comma-separated.
//   OUTPUT-distribution.csv  r_angstrom,density_per_angstrom and in mode err
//                            band_mean,band_sd,band_low95,band_high95 (the
//                            2.5 and 97.5 percentiles over the runs); in
//                            mode sim the prescribed distribution as
//                            r_angstrom,fraction
//   OUTPUT-curve.csv         n_c,time_ms,s_s0,error,fit,residual at the data
//   OUTPUT-curve-smooth.csv  n_c,time_ms,fit on the cycles 0, 2, ..., LAST POINT
// The summary carries the same rows (distribution, curve, curve_smooth).
#ifndef REDORDIST_OUTPUT_TIDY_TABLES_H
#define REDORDIST_OUTPUT_TIDY_TABLES_H

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "model/paar.h"

struct TidyTable {
  std::string suffix;  // after OUTPUT in the file name
  std::string key;     // its name in the summary
  std::vector<std::string> columns;
  std::vector<std::vector<double>> rows;  // each rounded to 10 significant digits
};

// The three tables of the model's evaluated state (after write_out). A table
// holding a number that is not finite keeps its header and loses every row,
// and so do all three when chi2 is not finite (no result).
std::vector<TidyTable> tidy_tables(Paar const& m);

// Width (Angstrom) of the distance cell whose mass grid point j holds: GRAIN,
// or for the Gaussians, which put into each point the mass of
// [r_j - GRAIN/2, r_j + GRAIN/2] within NEAR..FAR, that part of the cell (half
// a cell at NEAR, 0 past FAR). Density per Angstrom = mass / width (0 where
// the width is 0).
std::vector<double> cell_widths(Paar const& m);

std::string csv_text(TidyTable const& t);
// The rows as an array of objects keyed by the column names.
nlohmann::json table_json(TidyTable const& t);

// Writes the three files atomically; false when one could not be written.
bool write_tidy_tables(Paar const& m);

#endif
