// The measured REDOR curve and the optional prescribed distance distribution.
#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <vector>

#include "input/data_file.h"
#include "input/param_limits.h"
#include "input/text_lines.h"
#include "numeric/fatal.h"
#include "numeric/warnings.h"

namespace {

[[noreturn]] void refuse_line(std::string const& file, size_t lineno, std::string const& what) {
  std::ostringstream s;
  s << file << " line " << lineno << ": " << what << "\n";
  fatal_exit(s.str(), 1);
}

// Error of S/S0: anything missing, below 1e-12 or from 1.0 up means "no
// usable error" and becomes 1.0 (weight 1 in chi2, printed as 0 in the table).
double error_rule(double err) { return (err < 1e-12 || err >= 1.0) ? 1.0 : err; }

// One data line: N_c, S0, S, the ratio (read, ignored) and the error.
DataPoint parse_data_line(std::string const& xydata_file, size_t lineno, std::string const& l) {
    std::vector<std::string> tok = split_tokens(l);
    if (tok.size() < 3)
      refuse_line(xydata_file, lineno,
                  "a data line needs at least N_c, S0 and S (found only " +
                      std::to_string(tok.size()) + ")");
    DataPoint p;
    p.lineno = lineno;
    if (!parse_int_token(tok[0], p.nc))
      refuse_line(xydata_file, lineno,
                  "N_c " + quote_token(tok[0]) + " is not a whole number of rotor cycles");
    char const* names[5] = {"N_c", "S0", "S", "ratio", "error"};
    double vals[5] = {0, 0, 0, 0, 0};
    for (size_t c = 1; c < tok.size() && c < 5; c++) {
      if (!parse_double_token(tok[c], vals[c]))
        refuse_line(xydata_file, lineno,
                    std::string(names[c]) + " " + quote_token(tok[c]) + " is not a number");
      if (c != 3 && !std::isfinite(vals[c]))
        refuse_line(xydata_file, lineno, std::string(names[c]) + " is not a finite number");
    }
    p.s0 = vals[1];
    p.s = vals[2];
    p.err = error_rule(vals[4]);
    p.err_usable = tok.size() >= 5 && p.err == vals[4];
    if (p.s0 == 0.0) refuse_line(xydata_file, lineno, "S0 is 0, so S/S0 cannot be formed");
    if (!std::isfinite(p.s / p.s0)) refuse_line(xydata_file, lineno, "S/S0 is not finite");
    if (p.nc < 0) refuse_line(xydata_file, lineno, "N_c " + std::to_string(p.nc) + " is negative");
    if (p.nc % 2 != 0)
      refuse_line(xydata_file, lineno,
                  "N_c " + std::to_string(p.nc) +
                      " is odd; REDOR points lie at even rotor-cycle counts");
    if (p.nc > kMaxCycleCount)
      refuse_line(xydata_file, lineno,
                  "N_c " + std::to_string(p.nc) + " is above the limit of " +
                      std::to_string(kMaxCycleCount) + " rotor cycles");
    return p;
}

}  // namespace

std::vector<DataPoint> read_data_file(std::string const& xydata_file, int last_point) {
  std::vector<std::string> lines;
  if (!read_text_lines(xydata_file, lines)) fatal_exit("Can't open datafile " + printable(xydata_file) + "\n", 1);

  std::vector<DataPoint> pts;
  for (size_t i = 0; i < lines.size(); i++) {
    std::string const& l = lines[i];
    if (iscomment(l) || is_blank(l)) continue;
    size_t lineno = i + 1;
    pts.push_back(parse_data_line(xydata_file, lineno, l));
    if (pts.size() > static_cast<size_t>(kMaxDataPoints))
      refuse_line(xydata_file, lineno,
                  "more than " + std::to_string(kMaxDataPoints) + " data points");
  }
  if (pts.empty()) fatal_exit(xydata_file + ": no data lines\n", 1);

  // Every point must lie on the simulation grid 0, 2, ..., effective last point.
  if (last_point != 0) {
    for (auto const& p : pts)
      if (p.nc > last_point)
        refuse_line(xydata_file, p.lineno,
                    "N_c " + std::to_string(p.nc) + " lies beyond LAST POINT " +
                        std::to_string(last_point) +
                        " (LAST POINT is smaller than the data's largest cycle count)");
  }

  return pts;
}

PrescribedDist read_prescribed_file(std::string const& distdist_file) {
  PrescribedDist d;
  std::vector<std::string> lines;
  if (!read_text_lines(distdist_file, lines)) return d;
  d.readable = true;
  for (size_t i = 0; i < lines.size(); i++) {
    std::string const& l = lines[i];
    if (iscomment(l) || is_blank(l)) continue;
    std::vector<std::string> tok = split_tokens(l);
    double a = 0, b = 0;
    if (tok.size() < 2)
      refuse_line(distdist_file, i + 1, "a prescribed-distribution line needs a distance and a density");
    if (!parse_double_token(tok[0], a) || !std::isfinite(a))
      refuse_line(distdist_file, i + 1, "distance " + quote_token(tok[0]) + " is not a finite number");
    if (!parse_double_token(tok[1], b) || !std::isfinite(b))
      refuse_line(distdist_file, i + 1, "density " + quote_token(tok[1]) + " is not a finite number");
    if (!(a >= kMinDistance))
      refuse_line(distdist_file, i + 1,
                  "distance " + quote_token(tok[0]) + " must be at least 0.5 Angstrom");
    if (!(b >= 0 && b <= 1))
      refuse_line(distdist_file, i + 1,
                  "fraction " + quote_token(tok[1]) + " must lie between 0 and 1");
    if (d.distance.size() >= static_cast<size_t>(kMaxGrid))
      refuse_line(distdist_file, i + 1, "more than " + std::to_string(kMaxGrid) + " distances");
    d.distance.push_back(a);
    d.fraction.push_back(b);
  }
  return d;
}

void warn_about_data(std::string const& file, std::vector<DataPoint> const& pts) {
  size_t no_error = 0, outside = 0, undephased = 0;
  for (auto const& p : pts) {
    if (!p.err_usable) no_error++;
    double r = p.s / p.s0;
    if (r < -0.2 || r > 1.2) outside++;
    if (p.nc == 0) undephased++;
  }
  std::string head = "warning: XYDATA " + printable(file) + ": ";
  if (no_error > 0)
    warn(head + std::to_string(no_error) + " of " + std::to_string(pts.size()) +
         " points have no usable error (the fifth column: N_c S0 S ratio error; missing, 0, "
         "negative or 1 and above); they count with error 1.0, so chi2 means little");
  if (outside > 0)
    warn(head + std::to_string(outside) +
         " points have S/S0 outside -0.2 to 1.2; check the S0 and S columns");
  if (undephased == pts.size())
    warn(head + "every point has N_c 0, so there is no dephasing to fit");
}
