// Refusal of parameter values that cannot make a run, before anything is
// created on disk. Each refusal is one line naming the key, the value and
// the rule. The rules of single values come from the key table; what
// depends on several keys (the grid, the kernel, the schedules and the work
// they imply) is checked here.
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "input/anneal_schedule.h"
#include "input/param_keys.h"
#include "input/param_limits.h"
#include "input/run_params.h"
#include "input/text_lines.h"

namespace {

// "parameter error: " and, for a key read from the file, the file and its
// line: "parameter error: run.par line 9: ".
std::string at_key(RunParams const& p, std::string const& key) {
  std::string name = key.substr(0, key.find(" ("));  // "SCALING (second value)"
  auto const& keys = param_keys();
  for (size_t i = 0; i < keys.size() && i < p.key_line.size(); i++)
    if (name == keys[i].name && p.key_line[i] > 0)
      return "parameter error: " + p.param_file + " line " + std::to_string(p.key_line[i]) + ": ";
  return "parameter error: ";
}

template <typename T>
InputStatus refuse(RunParams const& p, std::string const& key, T value, std::string const& rule) {
  std::ostringstream s;
  s << at_key(p, key) << key << " is " << value << "; " << rule << "\n";
  return refused(s.str());
}

template <typename T>
InputStatus refuse_try(RunParams const& p, char const* key, int i, T value, std::string const& rule) {
  std::ostringstream s;
  s << at_key(p, key) << key << " of try " << i + 1 << " is " << value << "; " << rule << "\n";
  return refused(s.str());
}

// File names longer than the file format holds: an absolute path often is.
InputStatus check_length(RunParams const& p, std::string const& key, std::string const& v, size_t limit) {
  if (limit == 0 || v.size() <= limit) return std::nullopt;
  std::ostringstream s;
  s << at_key(p, key) << key << " is " << v.size() << " characters long; at most " << limit
    << " are allowed";
  if (key == "PATH" || key == "PATH + OUTPUT + \"/\"")
    s << "; give PATH relative to the folder you run redordist in (e.g. runs/), or shorten OUTPUT";
  else if (key == "XYDATA" || key == "DISTDIST" || key == "LAMBDA_D")
    s << "; name the file relative to the folder you run redordist in (e.g. ../data/"
      << std::filesystem::path(v).filename().string().substr(0, 24) << "), or run from a folder nearer to it";
  s << "\n";
  return refused(s.str());
}

// A number against its key's rule.
InputStatus check_rule(RunParams const& p, ParamKey const& k, double v, bool used) {
  if (!std::isfinite(v)) return refuse(p, k.name, v, "it must be a finite number");
  if (!used) return std::nullopt;
  Rule const& r = k.rule;
  if (r.lo_open ? !(v > r.lo) : !(v >= r.lo)) return refuse(p, k.name, v, r.lo_text);
  if (!(v <= r.hi)) return refuse(p, k.name, v, r.hi_text);
  return std::nullopt;
}

// Every key's own rule: text lengths and finiteness always, the bounds of a
// number when the run uses it.
InputStatus check_keys(RunParams const& p, std::string const& solver) {
  for (ParamKey const& k : param_keys()) {
    // NTRIES sizes the lists that the log's work bound walks in every run.
    bool used = key_used(k, p.mode, solver) || k.whole == &RunParams::ntries;
    InputStatus s;
    if (k.kind == ValueKind::kText) s = check_length(p, k.name, p.*k.text, k.max_len);
    if (k.kind == ValueKind::kInt) s = check_rule(p, k, p.*k.whole, used);
    if (k.kind == ValueKind::kDouble || k.kind == ValueKind::kScaling) s = check_rule(p, k, p.*k.real, used);
    if (k.kind == ValueKind::kScaling && !s && !std::isfinite(p.*k.second))
      s = refuse(p, "SCALING (second value)", p.*k.second, "it must be a finite number");
    for (int i = 0; k.list && !s && i < p.ntries; i++)
      if (!std::isfinite((p.*k.list)[i]))
        s = refuse_try(p, k.name, i, (p.*k.list)[i], "it must be a finite number");
    if (s) return s;
  }
  return std::nullopt;
}

// The grid: FAR not below NEAR, and a number of distances a run can hold.
InputStatus check_grid(RunParams const& p) {
  if (p.far < p.near) return refuse(p, "FAR", p.far, "it must not be below NEAR");
  long double q = (static_cast<long double>(p.far) - static_cast<long double>(p.near)) /
                  static_cast<long double>(p.grain);
  if (!(q < kMaxGrid)) {
    std::ostringstream s;
    s << "parameter error: NEAR " << p.near << " to FAR " << p.far << " every GRAIN " << p.grain
      << " makes more than " << kMaxGrid << " distances\n";
    return refused(s.str());
  }
  return std::nullopt;
}

// Without a universal curve the kernel is the powder average with PER 2PI
// angle steps per turn (at least two), or its exact closed form for PER 2PI
// 0.
InputStatus check_kernel(RunParams const& p) {
  if (p.lambda_d_file != "none") return std::nullopt;  // read with the other input files
  if (p.per_2pi < 0 || p.per_2pi == 1)
    return refuse(p, "PER 2PI", p.per_2pi,
                  "it must be 0 (the exact closed form) or at least 2 for the powder average");
  if (p.per_2pi > kMaxPer2pi)
    return refuse(p, "PER 2PI", p.per_2pi, "at most " + std::to_string(kMaxPer2pi) + " are allowed");
  return std::nullopt;
}

// The fit's tries after the zero rule (a start temperature of 0 continues
// from the best state, so it is only checked for the first try).
InputStatus check_fit_schedule(RunParams const& p, std::string const& solver) {
  if (solver != "annealing" || (p.mode != "fit" && p.mode != "err")) return std::nullopt;
  for (int i = 0; i < p.ntries; i++) {
    AnnealSchedule s = try_schedule(p, i);
    if ((i == 0 || s.start != 0.0) && !(p.init_temp[i] > 0))
      return refuse_try(p, "INIT TEMP", i, p.init_temp[i], "it must be above 0");
    if (!(s.divisor > 1)) return refuse_try(p, "ATTEN TEMP", i, s.divisor, "it must be above 1");
    if (!(s.end > 0)) return refuse_try(p, "MIN TEMP", i, s.end, "it must be above 0");
    if (s.iters < 1) return refuse_try(p, "ITERS AT TEMP", i, s.iters, "it must be at least 1");
    if (!(s.boltzmann > 0)) return refuse_try(p, "BOLTZMANN", i, s.boltzmann, "it must be above 0");
  }
  return std::nullopt;
}

// Names that reach file names and gnuplot's quoted strings: only letters,
// digits, ".", "_", "-", "+" and non-ASCII (UTF-8) bytes, and "/" in PATH.
// Anything else could end a quoted string in a script or make gnuplot open
// a pipe ("<cmd", "|cmd").
bool safe_name_chars(std::string const& v, bool slash) {
  for (char c : v) {
    unsigned char u = static_cast<unsigned char>(c);
    bool ok = std::isalnum(u) || c == '.' || c == '_' || c == '-' || c == '+' || u >= 0x80 ||
              (slash && c == '/');
    if (!ok) return false;
  }
  return true;
}

InputStatus check_names(RunParams const& p) {
  if (p.mode != "fit" && p.mode != "err" && p.mode != "sim")
    return refuse(p, "MODE", quote_token(p.mode), "it must be fit, err or sim");
  if (!safe_name_chars(p.output_base, false) || p.output_base == "." || p.output_base == "..")
    return refuse(p, "OUTPUT", quote_token(p.output_base),
                  "it may hold only letters, digits, \".\", \"_\", \"-\" and \"+\" (not \".\" or \"..\")");
  if (!safe_name_chars(p.path, true))
    return refuse(p, "PATH", quote_token(p.path),
                  "it may hold only letters, digits, \".\", \"_\", \"-\", \"+\" and \"/\"");
  if (!p.path.empty() && p.path.back() != '/')
    return refuse(p, "PATH", quote_token(p.path), "it must be empty or end with \"/\"");
  return std::nullopt;
}

// The folder the run directory is made in must exist: the run makes one
// level only, so that a mistyped PATH does not scatter directories.
InputStatus check_path_exists(RunParams const& p) {
  if (p.path.empty()) return std::nullopt;
  std::error_code ec;
  if (std::filesystem::is_directory(p.path, ec)) return std::nullopt;
  if (std::filesystem::exists(p.path, ec))
    return refuse(p, "PATH", quote_token(p.path), "it is not a folder");
  return refused("parameter error: PATH " + quote_token(p.path) +
                 " does not exist; create it with: mkdir -p " + p.path + "\n");
}

// The work the schedules imply, bounded before anything runs.
InputStatus check_work(RunParams const& p, std::string const& solver) {
  if (solver != "annealing" || (p.mode != "fit" && p.mode != "err")) return std::nullopt;
  std::ostringstream s;
  double fit = fit_trials_bound(p);
  if (fit > kMaxTrials) {
    s << "parameter error: the annealing schedule implies up to " << fit
      << " trials, more than the limit of " << kMaxTrials
      << "; raise ATTEN TEMP or MIN TEMP, or lower ITERS AT TEMP or NTRIES\n";
    return refused(s.str());
  }
  if (p.mode != "err") return std::nullopt;
  double mc = mc_trials_bound(p);
  if (mc > kMaxTrials) {
    s << "parameter error: the ERR schedule implies " << mc
      << " trials per Monte Carlo run, more than the limit of " << kMaxTrials
      << "; raise ERR ATTEN TEMP or ERR MIN TEMP, or lower ERR ITERS AT TEMP\n";
    return refused(s.str());
  }
  return std::nullopt;
}

InputStatus check_mc_runs(RunParams const& p) {
  if (p.mode != "err") return std::nullopt;
  double runs = static_cast<double>(p.per_mc_block) * p.max_mc_blocks;
  if (runs <= kMaxMcRuns) return std::nullopt;
  std::ostringstream s;
  s << "parameter error: PER MC BLOCK x MAX MC BLOCKS is " << runs
    << " Monte Carlo runs, more than the limit of " << kMaxMcRuns << "\n";
  return refused(s.str());
}

// Widths of the Gaussians run from 0.02 Angstrom to (FAR - NEAR) / 2: that
// range must not be empty. Below about 0.3 Angstrom the grid's REDOR curves
// are so alike that the maximum-entropy rule for alpha has no root even on
// data the grid holds, and the default model (falling to both ends over
// 1 Angstrom) is a hump that decides the result.
InputStatus check_solver_range(RunParams const& p, std::string const& solver) {
  if (p.mode == "sim") return std::nullopt;
  std::ostringstream s;
  if (solver == "gaussians" && !(p.far - p.near > 0.1))
    s << "parameter error: FAR - NEAR is " << p.far - p.near
      << " Angstrom; it must be above 0.1 for --solver gaussians\n";
  if (solver == "maxent" && !(p.far - p.near > 0.3 - 1e-9))  // 3.3 - 3.0 passes
    s << "parameter error: FAR - NEAR is " << p.far - p.near
      << " Angstrom; it must be at least 0.3 for --solver maxent\n";
  return s.str().empty() ? std::nullopt : refused(s.str());
}

}  // namespace

InputStatus check_params(RunParams const& p, std::string const& solver) {
  if (InputStatus s = check_names(p)) return s;
  if (InputStatus s = check_keys(p, solver)) return s;
  if (InputStatus s = check_length(p, "PATH + OUTPUT + \"/\"", p.path + p.output_base + "/", kMaxRunDirLen))
    return s;
  if (InputStatus s = check_grid(p)) return s;
  if (InputStatus s = check_kernel(p)) return s;
  if (InputStatus s = check_fit_schedule(p, solver)) return s;
  if (InputStatus s = check_mc_runs(p)) return s;
  if (InputStatus s = check_work(p, solver)) return s;
  if (InputStatus s = check_solver_range(p, solver)) return s;
  return check_path_exists(p);
}
