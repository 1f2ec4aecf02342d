// The reader calls of the fuzz targets and the properties each checks, shared
// by the libFuzzer targets (fuzz_*.cpp) and by the test that replays the
// corpus (tests/fuzz_replay_test.cpp).
//
// The readers return their refusals; the model's lookups still end the
// process through fatal_exit, which fatal_handler here turns into a Refusal
// exception so that one process can try many inputs. Each run_* function
// feeds one input to its reader and returns "" when all is well, or a
// description of the property that failed.
#ifndef REDORDIST_FUZZ_FUZZ_READERS_H
#define REDORDIST_FUZZ_FUZZ_READERS_H

#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <streambuf>
#include <string>

#include "input/curve_file.h"
#include "input/data_file.h"
#include "input/nuclei.h"
#include "input/param_keys.h"
#include "input/run_params.h"
#include "model/paar.h"
#include "numeric/fatal.h"
#include "numeric/warnings.h"

namespace fuzzsupport {

struct Refusal { std::string msg; int status; };

[[noreturn]] inline void throw_refusal(std::string const& msg, int status) { throw Refusal{msg, status}; }

// Swallows the warnings the readers write to std::cout.
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

// The input as a file of this process's own, removed when the object goes.
struct TempInput {
  std::string name;
  TempInput(char const* tag, std::string const& bytes)
      : name("/tmp/redordist-fuzz-" + std::string(tag) + "-" + std::to_string(long(getpid())) + ".txt") {
    if (std::FILE* f = std::fopen(name.c_str(), "wb")) std::fwrite(bytes.data(), 1, bytes.size(), f), std::fclose(f);
    else name.clear();
  }
  ~TempInput() { if (!name.empty()) std::remove(name.c_str()); }
};

// A refusal returned by a reader, checked like one thrown.
inline std::string check_status(InputStatus const& s) { return s ? check_refusal({s->message, s->status}) : ""; }

// What the grid, the kernel, the run directory and the log's work bounds
// rely on in an accepted parameter file.
inline std::string accepted_params(RunParams const& p, double gx, double gy) {
  for (auto const* v : {&p.iters_at_temp, &p.max_step_size, &p.boltzmann, &p.init_temp, &p.atten_temp, &p.min_temp})
    if (static_cast<int>(v->size()) != p.ntries) return "per-try list not of NTRIES entries";
  if (!(p.near > 0) || !(p.mas > 0) || !std::isfinite(p.far) || !(p.grain > 0) || !(p.scaling_a > 0))
    return "accepted a grid, spinning rate or SCALING that cannot be used";
  long n = grid_size(p.near, p.far, p.grain);
  if (n < 2 || n > 100002) return "accepted a grid of " + std::to_string(n) + " distances";
  if (p.last_point < 0 || p.output_base.empty() || !(dipolar_constant_of(gx, gy) > 0))
    return "accepted a negative LAST POINT, an empty OUTPUT or no dipolar constant";
  return "";
}

// Parameter file as a run of each solver reads it: read_params, the nuclei,
// check_params (which looks whether a named LAMBDA_D opens and PATH exists).
inline std::string run_params(std::string const& bytes) {
  TempInput in("params", bytes);
  for (char const* solver : {"annealing", "maxent", "gaussians"}) {
    RunParams p;
    double gx = 0, gy = 0;
    InputStatus s = read_params(in.name, solver, p);
    if (!s) s = lookup_nuclei(p.detect_nucleus, p.dephase_nucleus, gx, gy);
    if (!s) s = check_params(p, solver);
    std::string problem = s ? check_status(s) : accepted_params(p, gx, gy);
    if (!problem.empty()) return std::string(solver) + ": " + problem;
  }
  return "";
}

// Data file with LAST POINT 0 (the data's largest N_c) and 40: at least one
// point, every point on the grid of even cycle counts up to LAST POINT,
// finite S/S0 and an error in (0, 1].
inline std::string run_data(std::string const& bytes) {
  TempInput in("data", bytes);
  for (int last : {0, 40}) {
    std::vector<DataPoint> pts;
    if (InputStatus s = read_data_file(in.name, last, pts)) {
      if (std::string problem = check_status(s); !problem.empty()) return problem;
      continue;
    }
    if (pts.empty()) return "no data point";
    for (DataPoint const& d : pts) {
      if (d.nc < 0 || d.nc % 2 != 0 || (last > 0 && d.nc > last)) return "a data point off the cycle grid";
      if (!(d.err > 0 && d.err <= 1.0)) return "an error outside (0, 1]";
      if (!std::isfinite(d.s / d.s0)) return "a non-finite S/S0";
    }
  }
  return "";
}

// Prescribed distribution: distances finite and positive (the coupling is
// D / r^3), densities finite, one of each per line.
inline std::string run_prescribed(std::string const& bytes) {
  TempInput in("prescribed", bytes);
  PrescribedDist d;
  if (InputStatus s = read_prescribed_file(in.name, d)) return check_status(s);
  if (!d.readable || d.distance.size() != d.fraction.size()) return "unread or of unequal lengths";
  for (size_t k = 0; k < d.distance.size(); k++)
    if (!(d.distance[k] > 0) || !std::isfinite(d.distance[k]) || !std::isfinite(d.fraction[k]))
      return "a distance or density that cannot be used";
  return "";
}

// Universal dephasing curve read up to lambda_max: it starts at 0, ascends
// strictly, stops at the first point beyond lambda_max and holds finite values; a lookup inside it
// is never refused and stays within the curve's range (linear interpolation
// never leaves it; the formula's rounding may step a few ulps outside).
inline std::string run_curve_once(std::string const& file, double lambda_max) {
  DephasingCurve c;
  if (InputStatus s = read_curve_file(file, lambda_max, c)) return check_status(s);
  size_t m = c.lambda.size();
  if (m == 0 || m != c.signal.size()) return "empty curve or arrays of different length";
  if (!(std::fabs(c.lambda[0]) < 1e-12)) return "curve does not start at lambda_D 0";
  for (size_t k = 0; k < m; k++) {
    if (!std::isfinite(c.lambda[k]) || !std::isfinite(c.signal[k])) return "non-finite point";
    if (k + 1 < m && c.lambda[k] > lambda_max) return "point read after one beyond lambda_max";
    if (k > 0 && !(c.lambda[k] > c.lambda[k - 1])) return "lambda_D not strictly ascending";
  }
  double last = c.lambda.back(), lo = *std::min_element(c.signal.begin(), c.signal.end());
  double hi = *std::max_element(c.signal.begin(), c.signal.end());
  double tol = 8 * DBL_EPSILON * std::max(std::fabs(lo), std::fabs(hi));
  std::vector<double> at = {0.0, last, last * 0.5, last * 0.3, last * 0.999, last * 1e-6};
  for (size_t k = 0; k + 1 < m && k < 8; k++)  // points and midpoints of the first intervals
    at.insert(at.end(), {c.lambda[k + 1], c.lambda[k] + (c.lambda[k + 1] - c.lambda[k]) * 0.5});
  for (double lam : at) {
    if (lam < 0) continue;
    double v = 0;
    try { v = kernel_interpolate(c, lam); } catch (Refusal const&) { return "lookup inside the curve refused"; }
    if (!std::isfinite(v) || v < lo - tol || v > hi + tol) return "lookup outside the curve's range";
  }
  return "";
}

inline std::string run_curve(std::string const& bytes) {
  TempInput in("curve", bytes);
  std::string problem = run_curve_once(in.name, 2.0);
  return problem.empty() ? run_curve_once(in.name, 0.0) : problem;
}

// The body of every libFuzzer target: quiet standard output, refusals as
// exceptions, one input through `run`; a failed property aborts like a crash.
inline int fuzz_one(char const* target, std::string (*run)(std::string const&), uint8_t const* data, size_t size) {
  static NullBuf null_buf;
  [[maybe_unused]] static std::streambuf* const quiet = std::cout.rdbuf(&null_buf);  // once, for every input
  fatal_handler = throw_refusal;
  std::string problem = run(std::string(reinterpret_cast<char const*>(data), size));
  take_warnings();  // each input's warnings go with it: memory stays flat
  if (!problem.empty()) std::fprintf(stderr, "%s: %s\n", target, problem.c_str()), __builtin_trap();
  return 0;
}

}  // namespace fuzzsupport

#endif
