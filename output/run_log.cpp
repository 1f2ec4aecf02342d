#include <iostream>

#include "output/run_log.h"

#include <gsl/gsl_rng.h>

#include <algorithm>

#include "input/anneal_schedule.h"
#include "input/param_keys.h"
#include "numeric/numeric.h"
#include "numeric/warnings.h"

namespace {

std::string ctime_text(time_t t) {
  char const* s = std::ctime(&t);
  return s ? s : "(time unknown)\n";
}

}  // namespace

namespace {

// After the echo: the random-number set-up, the work the schedules imply
// and the warnings found while reading the inputs.
void write_run_setup(Paar& m) {
  std::ofstream& log = m.log;
  log << "GSL_RNG_TYPE: " << gsl_rng_default->name << " (Monte Carlo noise; the annealing uses taus2)\n";
  log << "GSL_RNG_SEED: " << gsl_rng_default_seed << "\n";
  if (m.mode == "fit" || m.mode == "err")
    log << "Annealing trials at most: " << fit_trials_bound(m) << "\n";
  if (m.mode == "err")
    log << "Monte Carlo runs at most: " << static_cast<double>(m.per_mc_block) * m.max_mc_blocks
        << ", each of at most " << mc_trials_bound(m) << " trials\n";
  for (std::string const& w : run_warnings()) log << w << "\n";
}

// The keys in the order the log has always listed them: the table's, with
// LAST POINT before SCALING, so that logs of earlier runs compare byte for byte.
std::vector<ParamKey const*> echo_order() {
  std::vector<ParamKey const*> keys;
  for (ParamKey const& k : param_keys()) keys.push_back(&k);
  std::iter_swap(std::find(keys.begin(), keys.end(), find_param_key("SCALING")),
                 std::find(keys.begin(), keys.end(), find_param_key("LAST POINT")));
  return keys;
}

// A key left out of the file says so after its value.
std::string default_mark(Paar const& m, ParamKey const& k, std::string const& value) {
  if (!(m.defaulted >> param_key_index(k) & 1)) return "";
  std::string mark = key_used(k, m.mode, m.solver) ? "(default)" : "(default, not used)";
  return value.empty() || value.back() == ' ' ? mark : " " + mark;
}

// One line per key as "KEY: value"; the nuclei with their ratios, the
// dipolar constant and the grid in one line of its own.
void echo_params(Paar& m) {
  std::ofstream& log = m.log;
  for (ParamKey const* k : echo_order()) {
    std::string name = k->name, value = value_text(m, *k);
    if (name == "FAR" || name == "GRAIN") continue;  // on the Distances line
    if (name == "XN") {
      log << "XN: " << value << " (gamma = " << m.gamma_x << ")\n";
    } else if (name == "YN") {
      log << "XY: " << value << " (gamma = " << m.gamma_y << ")\n";
      log << "Calculated Dipolar Constant: " << m.dipolar_constant << std::endl;
    } else if (name == "NEAR") {
      log << "Distances: " << m.near << " to " << m.far << " every " << m.grain << " Angstroms\n";
    } else {
      if (name == "OUTPUT") name = "OUTPUT (basename)";
      if (name == "PER 2PI" && m.per_2pi == 0 && !m.have_curve) value += " (exact)";
      log << name << ": " << value << default_mark(m, *k, value) << std::endl;
    }
  }
}

}  // namespace

void write_log_head(Paar& m) {
  std::ofstream& log = m.log;
  log << "MAXIMUM ENTROPY REDOR VERSION " << VERSION << std::endl;
  m.timestamp = std::time(nullptr);
  log << "Started: " << ctime_text(m.timestamp);
  log << std::endl;
  log << " * * * * * * * * INPUT PARAMETERS * * * * * * * * \n";
  echo_params(m);
  write_run_setup(m);
  log.flush();
}
