#include <iostream>

#include "output/run_log.h"

#include <gsl/gsl_rng.h>

#include <algorithm>

#include "input/anneal_schedule.h"
#include "input/param_keys.h"
#include "numeric/numeric.h"

namespace {

// After the echo: the random-number set-up, the work the schedules imply
// and the warnings found while reading the inputs.
void write_run_setup(Paar& m) {
  std::ostream& log = m.report().log();
  log << "GSL_RNG_TYPE: " << gsl_rng_default->name << " (Monte Carlo noise; the annealing uses taus2)\n";
  log << "GSL_RNG_SEED: " << gsl_rng_default_seed << "\n";
  if (m.setup->mode == "fit" || m.setup->mode == "err")
    log << "Annealing trials at most: " << fit_trials_bound(*m.setup) << "\n";
  if (m.setup->mode == "err")
    log << "Monte Carlo runs at most: " << static_cast<double>(m.setup->per_mc_block) * m.setup->max_mc_blocks
        << ", each of at most " << mc_trials_bound(*m.setup) << " trials\n";
  for (std::string const& w : m.report().warnings()) log << w << "\n";
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
  if (!(m.setup->defaulted >> param_key_index(k) & 1)) return "";
  std::string mark = key_used(k, m.setup->mode, m.results.solver) ? "(default)" : "(default, not used)";
  return value.empty() || value.back() == ' ' ? mark : " " + mark;
}

// One line per key as "KEY: value"; the nuclei with their ratios, the
// dipolar constant and the grid in one line of its own.
void echo_params(Paar& m) {
  std::ostream& log = m.report().log();
  for (ParamKey const* k : echo_order()) {
    std::string name = k->name, value = value_text(*m.setup, *k);
    if (name == "FAR" || name == "GRAIN") continue;  // on the Distances line
    if (name == "XN") {
      log << "XN: " << value << " (gamma = " << m.setup->gamma_x << ")\n";
    } else if (name == "YN") {
      log << "XY: " << value << " (gamma = " << m.setup->gamma_y << ")\n";
      log << "Calculated Dipolar Constant: " << m.setup->dipolar_constant << std::endl;
    } else if (name == "NEAR") {
      log << "Distances: " << m.setup->near << " to " << m.setup->far << " every " << m.setup->grain << " Angstroms\n";
    } else {
      if (name == "OUTPUT") name = "OUTPUT (basename)";
      if (name == "PER 2PI" && m.setup->per_2pi == 0 && !m.setup->have_curve) value += " (exact)";
      log << name << ": " << value << default_mark(m, *k, value) << std::endl;
    }
  }
}

}  // namespace

void write_log_head(Paar& m) {
  std::ostream& log = m.report().log();
  log << "MAXIMUM ENTROPY REDOR VERSION " << VERSION << std::endl;
  log << "Started: " << clock_text();
  log << std::endl;
  log << " * * * * * * * * INPUT PARAMETERS * * * * * * * * \n";
  echo_params(m);
  write_run_setup(m);
  log.flush();
}
