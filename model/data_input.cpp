// The measured REDOR curve, the simulation grid of rotor-cycle counts, and
// the optional prescribed distance distribution.
#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <vector>

#include "model/paar.h"
#include "model/param_limits.h"
#include "model/text_lines.h"
#include "solver/numeric.h"

namespace {

[[noreturn]] void refuse_line(std::string const& file, size_t lineno, std::string const& what) {
  std::ostringstream s;
  s << file << " line " << lineno << ": " << what << "\n";
  fatal_exit(s.str(), 1);
}

struct DataPoint {
  int nc;
  double s0, s, err;
  size_t lineno;
};

// Error of S/S0: anything missing, below 1e-12 or from 1.0 up means "no
// usable error" and becomes 1.0 (weight 1 in chi2, printed as 0 in the table).
double error_rule(double err) { return (err < 1e-12 || err >= 1.0) ? 1.0 : err; }

}  // namespace

void Paar::read_data() {
  std::vector<std::string> lines;
  if (!read_text_lines(xydata_file, lines)) fatal_exit("Can't open datafile\n", 1);

  std::vector<DataPoint> pts;
  for (size_t i = 0; i < lines.size(); i++) {
    std::string const& l = lines[i];
    if (iscomment(l) || is_blank(l)) continue;
    size_t lineno = i + 1;
    std::vector<std::string> tok = split_tokens(l);
    if (tok.size() < 3)
      refuse_line(xydata_file, lineno,
                  "a data line needs at least N_c, S0 and S (found only " +
                      std::to_string(tok.size()) + ")");
    DataPoint p{0, 0.0, 0.0, 0.0, lineno};
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
    pts.push_back(p);
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

  n_data = static_cast<int>(pts.size());
  cycles = gsl_vector_alloc(n_data);
  data_s0 = gsl_vector_alloc(n_data);
  data_s = gsl_vector_alloc(n_data);
  data = gsl_vector_alloc(n_data);
  fit_to_data = gsl_vector_calloc(n_data);
  data_error = gsl_vector_alloc(n_data);
  residual = gsl_vector_calloc(n_data);
  lagrange = gsl_vector_calloc(n_data);

  log << "Data from " << xydata_file << std::endl;
  for (int k = 0; k < n_data; k++) {
    DataPoint const& p = pts[k];
    double ratio = p.s / p.s0;
    std::snprintf(buf, sizeof buf, "cycles: %3d So: %10.4le S: %10.4le S/So %10.4le ", p.nc, p.s0,
                  p.s, ratio);
    log << buf;
    std::snprintf(buf, sizeof buf, "err %10.4le\n", p.err);
    log << buf;
    log.flush();
    gsl_vector_set(cycles, k, p.nc);
    gsl_vector_set(data_s0, k, p.s0);
    gsl_vector_set(data_s, k, p.s);
    gsl_vector_set(data, k, ratio);
    gsl_vector_set(data_error, k, p.err);
  }
}

int Paar::effective_last_point() const {
  if (last_point != 0) return last_point;
  // LAST POINT 0: the largest cycle count of the data (the last line's when
  // the data are in ascending order).
  int largest = 0;
  for (int k = 0; k < n_data; k++) largest = std::max(largest, static_cast<int>(gvg(cycles, k)));
  return largest;
}

void Paar::set_sim_grid() {
  total_adjust_density = 0.0;
  n_cycles = effective_last_point() / 2 + 1;
  smooth_adjust = gsl_vector_calloc(n_cycles);
  smooth_fit = gsl_vector_calloc(n_cycles);
}

void Paar::read_prescribed() {
  n_adj = -1;
  std::vector<std::string> lines;
  if (!read_text_lines(distdist_file, lines)) return;
  std::vector<double> r, p;
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
    if (!(a > 0)) refuse_line(distdist_file, i + 1, "distance " + quote_token(tok[0]) + " must be above 0");
    if (r.size() >= static_cast<size_t>(kMaxGrid))
      refuse_line(distdist_file, i + 1, "more than " + std::to_string(kMaxGrid) + " distances");
    r.push_back(a);
    p.push_back(b);
  }
  n_adj = static_cast<int>(r.size());
  if (n_adj <= 0) return;
  adj_distances = gsl_vector_calloc(n_adj);
  adj_density = gsl_vector_alloc(n_adj);
  log << std::endl << "Prescribed distance distribution (for simulation " << "or forced into BME reconstruction" << std::endl;
  for (int k = 0; k < n_adj; k++) {
    gsl_vector_set(adj_distances, k, r[k]);
    gsl_vector_set(adj_density, k, p[k]);
    std::snprintf(buf, sizeof buf, "%10.4le %10.4le\n", r[k], p[k]);
    log << buf;
    total_adjust_density += p[k];
  }
  transform_adjust = gsl_matrix_alloc(n_cycles, n_adj);
}
