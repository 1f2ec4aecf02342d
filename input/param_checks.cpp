// Refusal of parameter values that cannot make a run, before anything is
// created on disk. Each refusal is one line naming the key, the value and
// the rule, and ends the process with status 1.
#include <cctype>
#include <cmath>
#include <utility>
#include <vector>
#include <sstream>
#include <string>
#include <filesystem>
#include <system_error>

#include "input/anneal_schedule.h"
#include "input/param_limits.h"
#include "input/run_params.h"
#include "input/text_lines.h"
#include "numeric/fatal.h"

namespace {

template <typename T>
[[noreturn]] void refuse(char const* key, T value, std::string const& rule) {
  std::ostringstream s;
  s << "parameter error: " << key << " is " << value << "; " << rule << "\n";
  fatal_exit(s.str(), 1);
}

template <typename T>
[[noreturn]] void refuse_try(char const* key, int i, T value, std::string const& rule) {
  std::ostringstream s;
  s << "parameter error: " << key << " of try " << i + 1 << " is " << value << "; " << rule
    << "\n";
  fatal_exit(s.str(), 1);
}

void check_text(char const* key, std::string const& v, size_t limit) {
  if (v.size() > limit) {
    std::ostringstream s;
    s << "parameter error: " << key << " is " << v.size() << " characters long; at most "
      << limit << " are allowed\n";
    fatal_exit(s.str(), 1);
  }
}

void check_finite(char const* key, double v) {
  if (!std::isfinite(v)) refuse(key, v, "it must be a finite number");
}

bool can_open(std::string const& name) {
  if (!is_readable_regular_file(name)) return false;
  std::FILE* f = std::fopen(name.c_str(), "r");
  if (!f) return false;
  std::fclose(f);
  return true;
}

// Text lengths, finiteness and the ranges of the grid and the set-up.
void check_values(RunParams const& p) {
  check_text("MODE", p.mode, kMaxModeLen);
  check_text("LAMBDA_D", p.lambda_d_file, kMaxLambdaFileLen);
  check_text("XYDATA", p.xydata_file, kMaxFileLen);
  check_text("DISTDIST", p.distdist_file, kMaxFileLen);
  check_text("OUTPUT", p.output_base, kMaxOutputLen);
  check_text("XN", p.detect_nucleus, kMaxNucleusLen);
  check_text("YN", p.dephase_nucleus, kMaxNucleusLen);
  check_text("PATH + OUTPUT + \"/\"", p.path + p.output_base + "/", kMaxRunDirLen);
  if (p.output_base.empty()) refuse("OUTPUT", "empty", "it must name the run directory");

  std::pair<char const*, double> finite[] = {
      {"NEAR", p.near},
      {"FAR", p.far},
      {"GRAIN", p.grain},
      {"MID PULSE", p.mid_pulse},
      {"MAS", p.mas},
      {"SCALING", p.scaling_a},
      {"SCALING (second value)", p.scaling_b},
      {"ERR MAX STEP SIZE", p.err_max_step_size},
      {"ERR BOLTZMANN", p.err_boltzmann},
      {"ERR INIT TEMP", p.err_init_temp},
      {"ERR ATTEN TEMP", p.err_atten_temp},
      {"ERR MIN TEMP", p.err_min_temp},
      {"MIN STDEV2", p.min_stdev2},
      {"MAX MC CHI2", p.max_mc_chi2}};
  for (auto const& f : finite) check_finite(f.first, f.second);

  if (!(p.near > 0)) refuse("NEAR", p.near, "it must be above 0");
  if (!(p.grain > 0)) refuse("GRAIN", p.grain, "it must be above 0");
  if (p.far < p.near) refuse("FAR", p.far, "it must not be below NEAR");
  if (!(p.mas > 0)) refuse("MAS", p.mas, "it must be above 0");
  if (p.ntries < 0) refuse("NTRIES", p.ntries, "it must not be below 0");
  if (p.ntries > kMaxTries)
    refuse("NTRIES", p.ntries, "at most " + std::to_string(kMaxTries) + " tries are allowed");
  if (p.last_point < 0) refuse("LAST POINT", p.last_point, "it must not be below 0");
  if (p.last_point > kMaxCycleCount)
    refuse("LAST POINT", p.last_point,
           "at most " + std::to_string(kMaxCycleCount) + " rotor cycles are allowed");

  long double q = (static_cast<long double>(p.far) - static_cast<long double>(p.near)) /
                  static_cast<long double>(p.grain);
  if (!(q < kMaxGrid)) {
    std::ostringstream s;
    s << "parameter error: NEAR " << p.near << " to FAR " << p.far << " every GRAIN " << p.grain
      << " makes more than " << kMaxGrid << " distances\n";
    fatal_exit(s.str(), 1);
  }
}

// Without a readable universal curve the kernel is the powder average with
// PER 2PI angle steps per turn (at least two), or its exact closed form for
// PER 2PI 0.
void check_kernel(RunParams const& p) {
  if (can_open(p.lambda_d_file)) return;
  if (p.per_2pi < 0 || p.per_2pi == 1)
    refuse("PER 2PI", p.per_2pi,
           "it must be 0 (the exact closed form) or at least 2 for the powder average (no "
           "LAMBDA_D file could be opened)");
  if (p.per_2pi > kMaxPer2pi)
    refuse("PER 2PI", p.per_2pi, "at most " + std::to_string(kMaxPer2pi) + " are allowed");
}

void check_lists_finite(RunParams const& p) {
  std::pair<char const*, std::vector<double> const*> lists[] = {
      {"ITERS AT TEMP", &p.iters_at_temp}, {"MAX STEP SIZE", &p.max_step_size},
      {"BOLTZMANN", &p.boltzmann},         {"INIT TEMP", &p.init_temp},
      {"ATTEN TEMP", &p.atten_temp},       {"MIN TEMP", &p.min_temp}};
  for (auto const& l : lists)
    for (int i = 0; i < p.ntries; i++)
      if (!std::isfinite((*l.second)[i]))
        refuse_try(l.first, i, (*l.second)[i], "it must be a finite number");
}

// The fit's tries after the zero rule (a start temperature of 0 continues
// from the best state, so it is only checked for the first try).
void check_fit_schedule(RunParams const& p) {
  if (p.mode != "fit" && p.mode != "err") return;
  for (int i = 0; i < p.ntries; i++) {
    AnnealSchedule s = try_schedule(p, i);
    if ((i == 0 || s.start != 0.0) && !(p.init_temp[i] > 0))
      refuse_try("INIT TEMP", i, p.init_temp[i], "it must be above 0");
    if (!(s.divisor > 1)) refuse_try("ATTEN TEMP", i, s.divisor, "it must be above 1");
    if (!(s.end > 0)) refuse_try("MIN TEMP", i, s.end, "it must be above 0");
    if (s.iters < 1) refuse_try("ITERS AT TEMP", i, s.iters, "it must be at least 1");
  }
}

void check_mc_schedule(RunParams const& p) {
  if (p.mode != "err") return;
  if (!(p.err_init_temp > 0)) refuse("ERR INIT TEMP", p.err_init_temp, "it must be above 0");
  if (!(p.err_atten_temp > 1)) refuse("ERR ATTEN TEMP", p.err_atten_temp, "it must be above 1");
  if (!(p.err_min_temp > 0)) refuse("ERR MIN TEMP", p.err_min_temp, "it must be above 0");
  if (p.err_iters_at_temp < 1)
    refuse("ERR ITERS AT TEMP", p.err_iters_at_temp, "it must be at least 1");
  if (p.per_mc_block < 2) refuse("PER MC BLOCK", p.per_mc_block, "it must be at least 2");
  if (p.max_mc_blocks < 2) refuse("MAX MC BLOCKS", p.max_mc_blocks, "it must be at least 2");
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

void check_names(RunParams const& p) {
  if (p.mode != "fit" && p.mode != "err" && p.mode != "sim")
    refuse("MODE", p.mode.empty() ? "empty" : quote_token(p.mode), "it must be fit, err or sim");
  if (!safe_name_chars(p.output_base, false) || p.output_base == "." || p.output_base == "..")
    refuse("OUTPUT", quote_token(p.output_base),
           "it may hold only letters, digits, \".\", \"_\", \"-\" and \"+\" (not \".\" or \"..\")");
  if (!safe_name_chars(p.path, true))
    refuse("PATH", quote_token(p.path),
           "it may hold only letters, digits, \".\", \"_\", \"-\", \"+\" and \"/\"");
  if (!p.path.empty() && p.path.back() != '/')
    refuse("PATH", quote_token(p.path), "it must be empty or end with \"/\"");
}

// Values that make no physical sense for a REDOR experiment.
void check_physics(RunParams const& p) {
  if (p.near < kMinDistance)
    refuse("NEAR", p.near, "it must be at least 0.5 Angstrom (no chemical bond is shorter)");
  if (p.mas < kMinMas || p.mas > kMaxMas)
    refuse("MAS", p.mas, "it must lie between 100 Hz and 1 MHz (the spinning rate in Hz)");
  if (p.mode == "fit" || p.mode == "err")
    for (int i = 0; i < p.ntries; i++)
      if (!(try_schedule(p, i).boltzmann > 0))
        refuse_try("BOLTZMANN", i, try_schedule(p, i).boltzmann, "it must be above 0");
  if (p.mode != "err") return;
  if (!(p.err_boltzmann > 0)) refuse("ERR BOLTZMANN", p.err_boltzmann, "it must be above 0");
  if (!(p.max_mc_chi2 > 0)) refuse("MAX MC CHI2", p.max_mc_chi2, "it must be above 0");
}

// The work the schedules imply, bounded before anything runs.
void check_work(RunParams const& p) {
  if (p.mode != "fit" && p.mode != "err") return;
  double fit = fit_trials_bound(p);
  if (fit > kMaxTrials) {
    std::ostringstream s;
    s << "parameter error: the annealing schedule implies up to " << fit
      << " trials, more than the limit of " << kMaxTrials
      << "; raise ATTEN TEMP or MIN TEMP, or lower ITERS AT TEMP or NTRIES\n";
    fatal_exit(s.str(), 1);
  }
  if (p.mode != "err") return;
  double runs = static_cast<double>(p.per_mc_block) * p.max_mc_blocks;
  if (runs > kMaxMcRuns) {
    std::ostringstream s;
    s << "parameter error: PER MC BLOCK x MAX MC BLOCKS is " << runs
      << " Monte Carlo runs, more than the limit of " << kMaxMcRuns << "\n";
    fatal_exit(s.str(), 1);
  }
  double mc = mc_trials_bound(p);
  if (mc > kMaxTrials) {
    std::ostringstream s;
    s << "parameter error: the ERR schedule implies " << mc
      << " trials per Monte Carlo run, more than the limit of " << kMaxTrials
      << "; raise ERR ATTEN TEMP or ERR MIN TEMP, or lower ERR ITERS AT TEMP\n";
    fatal_exit(s.str(), 1);
  }
}

}  // namespace

void check_params(RunParams const& p) {
  check_names(p);
  check_values(p);
  check_lists_finite(p);
  check_kernel(p);
  check_fit_schedule(p);
  check_mc_schedule(p);
  check_physics(p);
  check_work(p);
}
