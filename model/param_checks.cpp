// Refusal of parameter values that cannot make a run, before anything is
// created on disk. Each refusal is one line naming the key, the value and
// the rule, and ends the process with status 1.
#include <cmath>
#include <sstream>
#include <string>
#include <filesystem>
#include <system_error>

#include "model/paar.h"
#include "model/param_limits.h"
#include "model/text_lines.h"
#include "solver/numeric.h"

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

}  // namespace

void Paar::check_params(char const* /*param_file*/) {
  check_text("MODE", mode, kMaxModeLen);
  check_text("LAMBDA_D", lambda_d_file, kMaxLambdaFileLen);
  check_text("XYDATA", xydata_file, kMaxFileLen);
  check_text("DISTDIST", distdist_file, kMaxFileLen);
  check_text("OUTPUT", output_base, kMaxOutputLen);
  check_text("XN", detect_nucleus, kMaxNucleusLen);
  check_text("YN", dephase_nucleus, kMaxNucleusLen);
  check_text("PATH + OUTPUT + \"/\"", path + output_base + "/", kMaxRunDirLen);
  if (output_base.empty()) refuse("OUTPUT", "empty", "it must name the run directory");

  check_finite("NEAR", near);
  check_finite("FAR", far);
  check_finite("GRAIN", grain);
  check_finite("MID PULSE", mid_pulse);
  check_finite("MAS", mas);
  check_finite("SCALING", scaling_a);
  check_finite("SCALING (second value)", scaling_b);
  check_finite("ERR MAX STEP SIZE", err_max_step_size);
  check_finite("ERR BOLTZMANN", err_boltzmann);
  check_finite("ERR INIT TEMP", err_init_temp);
  check_finite("ERR ATTEN TEMP", err_atten_temp);
  check_finite("ERR MIN TEMP", err_min_temp);
  check_finite("MIN STDEV2", min_stdev2);
  check_finite("MAX MC CHI2", max_mc_chi2);

  if (!(near > 0)) refuse("NEAR", near, "it must be above 0");
  if (!(grain > 0)) refuse("GRAIN", grain, "it must be above 0");
  if (far < near) refuse("FAR", far, "it must not be below NEAR");
  if (!(mas > 0)) refuse("MAS", mas, "it must be above 0");
  if (ntries < 0) refuse("NTRIES", ntries, "it must not be below 0");
  if (ntries > kMaxTries)
    refuse("NTRIES", ntries, "at most " + std::to_string(kMaxTries) + " tries are allowed");
  if (last_point < 0) refuse("LAST POINT", last_point, "it must not be below 0");
  if (last_point > kMaxCycleCount)
    refuse("LAST POINT", last_point,
           "at most " + std::to_string(kMaxCycleCount) + " rotor cycles are allowed");

  long double q = (static_cast<long double>(far) - static_cast<long double>(near)) /
                  static_cast<long double>(grain);
  if (!(q < kMaxGrid)) {
    std::ostringstream s;
    s << "parameter error: NEAR " << near << " to FAR " << far << " every GRAIN " << grain
      << " makes more than " << kMaxGrid << " distances\n";
    fatal_exit(s.str(), 1);
  }

  char const* list_keys[6] = {"ITERS AT TEMP", "MAX STEP SIZE", "BOLTZMANN",
                              "INIT TEMP",     "ATTEN TEMP",    "MIN TEMP"};
  gsl_vector* lists[6] = {iters_at_temp, max_step_size, boltzmann,
                          init_temp,     atten_temp,    min_temp};
  for (int k = 0; k < 6; k++)
    for (int i = 0; i < ntries; i++)
      if (!std::isfinite(gvg(lists[k], i))) refuse_try(list_keys[k], i, gvg(lists[k], i),
                                                       "it must be a finite number");

  // The powder average needs at least two angle steps per turn; it is used
  // whenever the universal dephasing curve cannot be read.
  if (!can_open(lambda_d_file)) {
    if (per_2pi < 2)
      refuse("PER 2PI", per_2pi,
             "it must be at least 2 for the powder average (no LAMBDA_D file could be opened)");
    if (per_2pi > kMaxPer2pi)
      refuse("PER 2PI", per_2pi, "at most " + std::to_string(kMaxPer2pi) + " are allowed");
  }

  if (mode == "fit" || mode == "err") {
    // The annealing schedule after its zero replacements (a 0 takes the
    // first try's value; a start temperature of 0 continues from the best).
    for (int i = 0; i < ntries; i++) {
      double t = gvg(init_temp, i);
      if (i == 0 || std::fabs(t) >= 1e-12)
        if (!(t > 0)) refuse_try("INIT TEMP", i, t, "it must be above 0");
      double a = gvg(atten_temp, i);
      if (std::fabs(a) < 1.2e-11) a = gvg(atten_temp, 0);
      if (!(a > 1)) refuse_try("ATTEN TEMP", i, a, "it must be above 1");
      double m = gvg(min_temp, i);
      if (std::fabs(m) < 1.2e-11) m = gvg(min_temp, 0);
      if (!(m > 0)) refuse_try("MIN TEMP", i, m, "it must be above 0");
      int it = static_cast<int>(gvg(iters_at_temp, i));
      if (it == 0) it = static_cast<int>(gvg(iters_at_temp, 0));
      if (it < 1) refuse_try("ITERS AT TEMP", i, it, "it must be at least 1");
    }
  }
  if (mode == "err") {
    if (!(err_init_temp > 0)) refuse("ERR INIT TEMP", err_init_temp, "it must be above 0");
    if (!(err_atten_temp > 1)) refuse("ERR ATTEN TEMP", err_atten_temp, "it must be above 1");
    if (!(err_min_temp > 0)) refuse("ERR MIN TEMP", err_min_temp, "it must be above 0");
    if (err_iters_at_temp < 1)
      refuse("ERR ITERS AT TEMP", err_iters_at_temp, "it must be at least 1");
    if (per_mc_block < 2) refuse("PER MC BLOCK", per_mc_block, "it must be at least 2");
    if (max_mc_blocks < 2) refuse("MAX MC BLOCKS", max_mc_blocks, "it must be at least 2");
  }
}
