// The reader calls of the fuzz targets and the properties each checks, shared
// by the libFuzzer targets (fuzz_*.cpp) and by the test that replays the
// regression corpus (tests/fuzz_replay_test.cpp).
//
// A refusal of the readers ends the process through fatal_exit; here the
// global fatal_handler turns it into a Refusal exception so that one process
// can try many inputs. Each run_* function feeds one input to its reader and
// returns "" when all is well, or a description of the property that failed.
#ifndef REDORDIST_FUZZ_FUZZ_READERS_H
#define REDORDIST_FUZZ_FUZZ_READERS_H

#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <streambuf>
#include <string>

#include "model/paar.h"
#include "solver/numeric.h"

namespace fuzzsupport {

struct Refusal {
  std::string msg;
  int status;
};

[[noreturn]] inline void throw_refusal(std::string const& msg, int status) {
  throw Refusal{msg, status};
}

// Swallows the progress lines and warnings the readers write to std::cout.
class NullBuf : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(char const*, std::streamsize n) override { return n; }
};

// A refusal is one line, ending in a newline, with status 0 or 1.
inline std::string check_refusal(Refusal const& r) {
  if (r.status != 0 && r.status != 1) return "refusal with status " + std::to_string(r.status);
  if (r.msg.empty() || r.msg.back() != '\n') return "refusal without a final newline: " + r.msg;
  if (r.msg.find('\n') != r.msg.size() - 1) return "refusal of more than one line: " + r.msg;
  return "";
}

// The input as a file of this process's own.
inline std::string write_temp(char const* tag, std::string const& bytes) {
  std::string name = "/tmp/redordist-fuzz-" + std::string(tag) + "-" +
                     std::to_string(static_cast<long>(getpid())) + ".txt";
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) return "";
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return name;
}

// Parameter file, in the order of construction: read_params, the nucleus
// lookup, then the checks that refuse unusable values (they may look whether
// the named LAMBDA_D file opens).
inline std::string run_params(std::string const& bytes) {
  std::string file = write_temp("params", bytes);
  if (file.empty()) return "cannot write a temporary file";
  Paar p{Paar::Blank{}};
  p.owner = true;  // frees the per-try lists the reader allocates
  try {
    p.read_params(file.c_str());
    p.lookup_nuclei();
    p.scaling = p.scaling_a;
    p.check_params(file.c_str());
  } catch (Refusal const& r) {
    std::remove(file.c_str());
    return check_refusal(r);
  }
  std::remove(file.c_str());
  // Every per-try list holds ntries entries.
  gsl_vector* lists[6] = {p.iters_at_temp, p.max_step_size, p.boltzmann,
                          p.init_temp,     p.atten_temp,    p.min_temp};
  for (gsl_vector* v : lists)
    if (!v || static_cast<int>(v->size) != p.ntries) return "per-try list not of NTRIES entries";
  // What the grid, the kernel and the run directory rely on.
  if (!(p.near > 0) || !(p.mas > 0) || !std::isfinite(p.far) || !(p.grain > 0))
    return "accepted a grid or spinning rate that cannot be used";
  long n = grid_size(p.near, p.far, p.grain);
  if (n < 2 || n > 100002) return "accepted a grid of " + std::to_string(n) + " distances";
  if (p.last_point < 0 || p.output_base.empty() || !(p.dipolar_constant > 0))
    return "accepted a negative LAST POINT, an empty OUTPUT or no dipolar constant";
  return "";
}

// Data file with a given LAST POINT: read_data and set_sim_grid.
inline std::string run_data_once(std::string const& file, int last_point) {
  Paar p{Paar::Blank{}};
  p.owner = true;  // frees the data vectors and the simulation grid
  p.xydata_file = file;
  p.last_point = last_point;
  p.log.open("/dev/null");
  try {
    p.read_data();
    p.set_sim_grid();
  } catch (Refusal const& r) {
    return check_refusal(r);
  }
  // What the later stages rely on: at least one point, every point on the
  // simulation grid, finite S/S0 and an error in (0, 1].
  if (p.n_data < 1 || p.n_cycles < 1) return "no data point or no simulation grid";
  if (static_cast<int>(p.data->size) != p.n_data) return "data vector size differs from n_data";
  for (int k = 0; k < p.n_data; k++) {
    double nc = gvg(p.cycles, k);
    if (nc < 0 || nc / 2 > p.n_cycles - 1) return "a data point lies off the simulation grid";
    double e = gvg(p.data_error, k);
    if (!(e > 0 && e <= 1.0)) return "an error outside (0, 1]";
    if (!std::isfinite(gvg(p.data, k))) return "a non-finite S/S0";
  }
  return "";
}

// Data file, read with LAST POINT 0 (taken from the data) and with 40.
inline std::string run_data(std::string const& bytes) {
  std::string file = write_temp("data", bytes);
  if (file.empty()) return "cannot write a temporary file";
  std::string problem = run_data_once(file, 0);
  if (problem.empty()) problem = run_data_once(file, 40);
  std::remove(file.c_str());
  return problem;
}

// Prescribed distribution, after a simulation grid of 9 cycle indices.
inline std::string run_prescribed(std::string const& bytes) {
  std::string file = write_temp("prescribed", bytes);
  if (file.empty()) return "cannot write a temporary file";
  Paar p{Paar::Blank{}};
  p.owner = true;  // frees the distances, densities and the adjust matrix
  p.distdist_file = file;
  p.n_cycles = 9;  // LAST POINT 16
  p.log.open("/dev/null");
  try {
    p.read_prescribed();
  } catch (Refusal const& r) {
    std::remove(file.c_str());
    return check_refusal(r);
  }
  std::remove(file.c_str());
  // What the matrix fill relies on: n_adj matches the vectors, every
  // distance is finite and positive (its coupling is D / r^3).
  if (p.n_adj > 0) {
    if (static_cast<int>(p.adj_distances->size) != p.n_adj ||
        static_cast<int>(p.transform_adjust->size2) != p.n_adj)
      return "prescribed vectors not of n_adj entries";
    for (int k = 0; k < p.n_adj; k++) {
      double r = gvg(p.adj_distances, k);
      if (!(r > 0) || !std::isfinite(r)) return "a distance that is not finite and positive";
      if (!std::isfinite(gvg(p.adj_density, k))) return "a non-finite density";
    }
  } else if (p.adj_distances || p.transform_adjust) {
    return "prescribed vectors allocated without a prescribed point";
  }
  return "";
}

// Universal dephasing curve read up to lambda_max, then lookups inside it.
inline std::string run_curve_once(std::string const& bytes, double lambda_max) {
  Paar p{Paar::Blank{}};
  p.lambda_d_file = "curve.dat";
  std::istringstream in(bytes);
  DephasingCurve c;
  try {
    c = p.read_dephasing_curve(in, lambda_max);
  } catch (Refusal const& r) {
    return check_refusal(r);
  }
  // An accepted curve starts at lambda_D 0, ascends strictly, stops at
  // lambda_max, and holds finite values.
  size_t m = c.lambda.size();
  if (m == 0 || m != c.signal.size()) return "empty curve or arrays of different length";
  if (!(std::fabs(c.lambda[0]) < 1e-12)) return "curve does not start at lambda_D 0";
  for (size_t k = 0; k < m; k++) {
    if (!std::isfinite(c.lambda[k]) || !std::isfinite(c.signal[k])) return "non-finite point";
    if (c.lambda[k] > lambda_max) return "point beyond lambda_max";
    if (k > 0 && !(c.lambda[k] > c.lambda[k - 1])) return "lambda_D not strictly ascending";
  }
  // A lookup between 0 and the last point must not stop the run and must
  // give a value between the smallest and largest S/S0 of the curve (linear
  // interpolation never leaves that range; rounding of the formula may step
  // a few ulps outside).
  double last = c.lambda.back();
  double lo = *std::min_element(c.signal.begin(), c.signal.end());
  double hi = *std::max_element(c.signal.begin(), c.signal.end());
  double tol = 8 * DBL_EPSILON * std::max(std::fabs(lo), std::fabs(hi));
  auto look_up = [&](double lam) -> std::string {
    if (lam < 0) return "";
    double v = 0;
    try {
      v = kernel_interpolate(c, lam);
    } catch (Refusal const&) {
      return "lookup inside the curve refused";
    }
    if (!std::isfinite(v) || v < lo - tol || v > hi + tol) return "lookup outside the curve's range";
    return "";
  };
  for (double lam : {0.0, last, last * 0.5, last * 0.3, last * 0.999, last * 1e-6}) {
    std::string problem = look_up(lam);
    if (!problem.empty()) return problem;
  }
  // The points and midpoints of the first few intervals.
  for (size_t k = 0; k + 1 < m && k < 8; k++) {
    double mid = c.lambda[k] + (c.lambda[k + 1] - c.lambda[k]) * 0.5;
    for (double lam : {c.lambda[k + 1], mid}) {
      std::string problem = look_up(lam);
      if (!problem.empty()) return problem;
    }
  }
  return "";
}

inline std::string run_curve(std::string const& bytes) {
  std::string problem = run_curve_once(bytes, 2.0);
  if (problem.empty()) problem = run_curve_once(bytes, 0.0);
  return problem;
}

// The body of every libFuzzer target: quiet standard output, refusals as
// exceptions, one input through `run`; a failed property aborts like a crash.
inline int fuzz_one(char const* target, std::string (*run)(std::string const&),
                    uint8_t const* data, size_t size) {
  static bool ready = [] {
    static NullBuf null_buf;
    std::cout.rdbuf(&null_buf);
    fatal_handler = throw_refusal;
    return true;
  }();
  (void)ready;
  std::string problem = run(std::string(reinterpret_cast<char const*>(data), size));
  if (!problem.empty()) {
    std::fprintf(stderr, "%s: %s\n", target, problem.c_str());
    __builtin_trap();
  }
  return 0;
}

}  // namespace fuzzsupport

#endif
