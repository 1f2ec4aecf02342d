// The measured REDOR curve and the optional prescribed distance distribution.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "input/data_file.h"
#include "input/param_limits.h"
#include "input/text_inputs.h"
#include "input/text_lines.h"
#include "numeric/warnings.h"

namespace {

InputStatus refuse_line(std::string const& file, size_t lineno, std::string const& what) {
  return refused(printable(file) + " line " + std::to_string(lineno) + ": " + what + "\n");
}

// Error of S/S0: anything missing, below 1e-12 or from 1.0 up means "no
// usable error" and becomes 1.0 (weight 1 in chi2, printed as 0 in the table).
double error_rule(double err) { return (err < 1e-12 || err >= 1.0) ? 1.0 : err; }

// One unit of the last digit a number is written with: "0.96" and
// "9.6e-01" 0.01, "1" 1. A column rounded (or cut) to its digits lies
// within one such unit of the value it stands for.
double last_digit_unit(std::string const& t) {
  size_t e = t.find_first_of("eE");
  std::string mantissa = t.substr(0, e);
  long exp10 = e == std::string::npos ? 0 : std::strtol(t.c_str() + e + 1, nullptr, 10);
  size_t dot = mantissa.find('.');
  long decimals = dot == std::string::npos ? 0 : static_cast<long>(mantissa.size() - dot - 1);
  // An exponent of any size (strtol saturates) cannot overflow the difference.
  exp10 = std::clamp(exp10, -100000L, 100000L);
  decimals = std::min(decimals, 100000L);
  return std::pow(10.0, static_cast<double>(std::clamp(exp10 - decimals, -400L, 400L)));
}

// How to write a line that holds S/S0 alone, from what the line holds
// (taken as N_c S/S0 [error]).
std::string ratio_only_example(std::vector<std::string> const& tok) {
  if (tok.size() < 2) return "8 1 0.87 0.87 0.02";
  return tok[0] + " 1 " + tok[1] + " " + tok[1] + (tok.size() > 2 ? " " + tok[2] : "");
}

// The four values after N_c, each wholly a number.
InputStatus parse_values(std::string const& file, size_t lineno, std::vector<std::string> const& tok,
                         double vals[5]) {
  char const* names[5] = {"N_c", "S0", "S", "S/S0", "error"};
  for (size_t c = 1; c < tok.size() && c < 5; c++) {
    if (!parse_double_token(tok[c], vals[c]))
      return refuse_line(file, lineno, std::string(names[c]) + " " + number_fault(tok[c], false));
    if (c != 3 && !std::isfinite(vals[c]))
      return refuse_line(file, lineno, std::string(names[c]) + " is not a finite number");
  }
  return std::nullopt;
}

// The cycle count: even, not negative, within the limit.
InputStatus check_cycles(std::string const& file, size_t lineno, int nc) {
  if (nc < 0) return refuse_line(file, lineno, "N_c " + std::to_string(nc) + " is negative");
  if (nc % 2 != 0)
    return refuse_line(file, lineno, "N_c " + std::to_string(nc) +
                                         " is odd; REDOR points lie at even rotor-cycle counts");
  if (nc > kMaxCycleCount)
    return refuse_line(file, lineno, "N_c " + std::to_string(nc) + " is above the limit of " +
                                         std::to_string(kMaxCycleCount) + " rotor cycles");
  return std::nullopt;
}

// One data line: N_c, S0, S, S/S0 (checked against S / S0) and the error;
// raw_err is the error as written (0 when left out).
InputStatus parse_data_line(std::string const& file, size_t lineno, std::string const& l,
                            DataPoint& p, double& raw_err) {
  std::vector<std::string> tok = split_tokens(l);
  if (tok.size() < 4)
    return refuse_line(file, lineno,
                       std::to_string(tok.size()) + (tok.size() == 1 ? " column" : " columns") +
                           ", but a data line holds N_c S0 S S/S0 error (the error may be left "
                           "out); for S/S0 alone write S0 = 1 and S = S/S0: \"" +
                           ratio_only_example(tok) + "\"");
  p.lineno = lineno;
  if (!parse_int_token(tok[0], p.nc))
    return refuse_line(file, lineno,
                       "N_c " + quote_token(tok[0]) + " is not a whole number of rotor cycles");
  double vals[5] = {0, 0, 0, 0, 0};
  if (InputStatus s = parse_values(file, lineno, tok, vals)) return s;
  p.s0 = vals[1];
  p.s = vals[2];
  raw_err = vals[4];
  p.err = error_rule(vals[4]);
  p.err_usable = tok.size() >= 5 && p.err == vals[4];
  if (p.s0 == 0.0) return refuse_line(file, lineno, "S0 is 0, so S/S0 cannot be formed");
  double ratio = p.s / p.s0;
  if (!std::isfinite(ratio)) return refuse_line(file, lineno, "S/S0 is not finite");
  if (InputStatus s = check_cycles(file, lineno, p.nc)) return s;
  // S0, S and S/S0 are each written to their own digits: S/S0 in column 4
  // may differ from S / S0 by its own rounding and that S / S0 inherits.
  double inherited = (last_digit_unit(tok[2]) + std::fabs(ratio) * last_digit_unit(tok[1])) / std::fabs(p.s0);
  if (!(std::fabs(vals[3] - ratio) <= last_digit_unit(tok[3]) + inherited + 1e-9 * std::fabs(ratio))) {
    std::ostringstream m;
    m.precision(10);
    m << "S/S0 in column 4 is " << tok[3] << ", but S / S0 from columns 3 and 2 (" << tok[2]
      << " / " << tok[1] << ") is " << ratio << "; the columns are N_c S0 S S/S0 error";
    return refuse_line(file, lineno, m.str());
  }
  return std::nullopt;
}

// Errors or S/S0 given in percent: every error 1 or more while S/S0 stays
// at or below 1.2, or most S/S0 above 1.5.
InputStatus refuse_percent(std::string const& file, std::vector<DataPoint> const& pts,
                           std::vector<double> const& raw_err, std::vector<bool> const& has_err) {
  size_t with_err = 0, big_err = 0, above = 0, first_big = 0, first_above = 0;
  double largest = -HUGE_VAL;
  for (size_t k = 0; k < pts.size(); k++) {
    double r = pts[k].s / pts[k].s0;
    largest = std::max(largest, r);
    if (r > 1.5 && above++ == 0) first_above = k;
    if (!has_err[k]) continue;
    with_err++;
    if (raw_err[k] >= 1.0 && big_err++ == 0) first_big = k;
  }
  std::ostringstream m;
  m << printable(file);
  if (with_err > 0 && big_err == with_err && largest <= 1.2) {
    m << ": every error is 1 or more (line " << pts[first_big].lineno << ": " << raw_err[first_big]
      << ") while S/S0 stays at or below 1.2, so the errors look like percent; write the error "
         "of S/S0 as a fraction (2 % as 0.02), or leave the column out\n";
    return refused(m.str());
  }
  if (2 * above > pts.size()) {
    DataPoint const& p = pts[first_above];
    m << ": " << above << " of " << pts.size() << " points have S/S0 above 1.5 (line " << p.lineno
      << ": " << p.s / p.s0 << "), so S/S0 looks like percent; write it as a fraction, e.g. S0 "
      << "100 and S " << p.s / p.s0 << " for " << p.s / p.s0 << " %\n";
    return refused(m.str());
  }
  return std::nullopt;
}

}  // namespace

InputStatus read_data_file(std::string const& file, int last_point, std::vector<DataPoint>& pts) {
  std::vector<std::string> lines;
  if (!read_text_lines(file, lines)) return refused("Can't open datafile " + printable(file) + "\n");
  return read_data_lines(file, lines, last_point, pts);
}

InputStatus read_data_lines(std::string const& file, std::vector<std::string> const& lines, int last_point,
                            std::vector<DataPoint>& pts) {
  pts.clear();
  std::vector<double> raw_err;
  std::vector<bool> has_err;
  for (size_t i = 0; i < lines.size(); i++) {
    std::string const& l = lines[i];
    if (iscomment(l) || is_blank(l)) continue;
    DataPoint p;
    double raw = 0.0;
    if (InputStatus s = parse_data_line(file, i + 1, l, p, raw)) return s;
    if (pts.size() >= static_cast<size_t>(kMaxDataPoints))
      return refuse_line(file, i + 1, "more than " + std::to_string(kMaxDataPoints) + " data points");
    // Every point must lie on the simulation grid 0, 2, ..., LAST POINT.
    if (last_point != 0 && p.nc > last_point)
      return refuse_line(file, i + 1,
                         "N_c " + std::to_string(p.nc) + " lies beyond LAST POINT " +
                             std::to_string(last_point) +
                             " (LAST POINT is smaller than the data's largest cycle count)");
    pts.push_back(p);
    raw_err.push_back(raw);
    has_err.push_back(split_tokens(l).size() >= 5);
  }
  if (pts.empty()) return refused(printable(file) + ": no data lines\n");
  return refuse_percent(file, pts, raw_err, has_err);
}

InputStatus read_prescribed_file(std::string const& file, PrescribedDist& d) {
  d = PrescribedDist();
  if (file == "none") return std::nullopt;
  std::vector<std::string> lines;
  if (!read_text_lines(file, lines))
    return refused("parameter error: DISTDIST " + quote_token(file) +
                   " cannot be opened; write none for no prescribed distribution\n");
  d.readable = true;
  for (size_t i = 0; i < lines.size(); i++) {
    std::string const& l = lines[i];
    if (iscomment(l) || is_blank(l)) continue;
    std::vector<std::string> tok = split_tokens(l);
    double a = 0, b = 0;
    if (tok.size() < 2)
      return refuse_line(file, i + 1, "a prescribed-distribution line needs a distance and a density");
    if (!parse_double_token(tok[0], a) || !std::isfinite(a))
      return refuse_line(file, i + 1, "distance " + quote_token(tok[0]) + " is not a finite number");
    if (!parse_double_token(tok[1], b) || !std::isfinite(b))
      return refuse_line(file, i + 1, "density " + quote_token(tok[1]) + " is not a finite number");
    if (!(a >= kMinDistance))
      return refuse_line(file, i + 1, "distance " + quote_token(tok[0]) + " must be at least 0.5 Angstrom");
    if (!(b >= 0 && b <= 1))
      return refuse_line(file, i + 1, "fraction " + quote_token(tok[1]) + " must lie between 0 and 1");
    if (d.distance.size() >= static_cast<size_t>(kMaxGrid))
      return refuse_line(file, i + 1, "more than " + std::to_string(kMaxGrid) + " distances");
    d.distance.push_back(a);
    d.fraction.push_back(b);
  }
  return std::nullopt;
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
