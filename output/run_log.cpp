#include <iostream>

#include "output/run_log.h"

#include <gsl/gsl_rng.h>

#include "input/anneal_schedule.h"
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

}  // namespace

void write_log_head(Paar& m) {
  std::ofstream& log = m.log;
  log << "MAXIMUM ENTROPY REDOR VERSION " << VERSION << std::endl;
  m.timestamp = std::time(nullptr);
  log << "Started: " << ctime_text(m.timestamp);
  log << std::endl;
  log << " * * * * * * * * INPUT PARAMETERS * * * * * * * * \n";
  log << "MODE: " << m.mode << std::endl;
  log << "LAMBDA_D: " << m.lambda_d_file << std::endl;
  log << "XYDATA: " << m.xydata_file << std::endl;
  log << "DISTDIST: " << m.distdist_file << std::endl;
  log << "PATH: " << m.path << std::endl;
  log << "OUTPUT (basename): " << m.output_base << std::endl;
  log << "XN: " << m.detect_nucleus << " (gamma = " << m.gamma_x << ")\n";
  log << "XY: " << m.dephase_nucleus << " (gamma = " << m.gamma_y << ")\n";
  log << "Calculated Dipolar Constant: " << m.dipolar_constant << std::endl;
  log << "Distances: " << m.near << " to " << m.far << " every " << m.grain << " Angstroms\n";
  log << "PER 2PI: " << m.per_2pi << (m.per_2pi == 0 && !m.have_curve ? " (exact)" : "")
      << std::endl;
  log << "MID PULSE: " << m.mid_pulse << std::endl;
  log << "MAS: " << m.mas << std::endl;
  log << "LAST POINT: " << m.last_point << std::endl;
  log << "SCALING: " << m.scaling_a << " " << m.scaling_b << std::endl;
  log << "NTRIES: " << m.ntries << std::endl;
  auto list = [&](char const* label, std::vector<double> const& v) {
    log << label;
    for (int i = 0; i < m.ntries; i++) log << v[i] << " ";
    log << std::endl;
  };
  list("ITERS AT TEMP: ", m.iters_at_temp);
  list("MAX STEP SIZE: ", m.max_step_size);
  list("BOLTZMANN: ", m.boltzmann);
  list("INIT TEMP: ", m.init_temp);
  list("ATTEN TEMP: ", m.atten_temp);
  list("MIN TEMP: ", m.min_temp);
  log << "ERR ITERS AT TEMP: " << m.err_iters_at_temp << std::endl;
  log << "ERR MAX STEP SIZE: " << m.err_max_step_size << std::endl;
  log << "ERR BOLTZMANN: " << m.err_boltzmann << std::endl;
  log << "ERR INIT TEMP: " << m.err_init_temp << std::endl;
  log << "ERR ATTEN TEMP: " << m.err_atten_temp << std::endl;
  log << "ERR MIN TEMP: " << m.err_min_temp << std::endl;
  log << "MIN STDEV2: " << m.min_stdev2 << std::endl;
  log << "PER MC BLOCK: " << m.per_mc_block << std::endl;
  log << "MAX MC BLOCKS: " << m.max_mc_blocks << std::endl;
  log << "MAX MC CHI2: " << m.max_mc_chi2 << std::endl;
  write_run_setup(m);
  log.flush();
}
