#include <iostream>

#include "output/run_log.h"

#include <gsl/gsl_rng.h>

#include "input/anneal_schedule.h"
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

}  // namespace

void write_log_head(Paar& m) {
  std::ostream& log = m.report().log();
  log << "MAXIMUM ENTROPY REDOR VERSION " << VERSION << std::endl;
  log << "Started: " << clock_text();
  log << std::endl;
  log << " * * * * * * * * INPUT PARAMETERS * * * * * * * * \n";
  log << "MODE: " << m.setup->mode << std::endl;
  log << "LAMBDA_D: " << m.setup->lambda_d_file << std::endl;
  log << "XYDATA: " << m.setup->xydata_file << std::endl;
  log << "DISTDIST: " << m.setup->distdist_file << std::endl;
  log << "PATH: " << m.setup->path << std::endl;
  log << "OUTPUT (basename): " << m.setup->output_base << std::endl;
  log << "XN: " << m.setup->detect_nucleus << " (gamma = " << m.setup->gamma_x << ")\n";
  log << "XY: " << m.setup->dephase_nucleus << " (gamma = " << m.setup->gamma_y << ")\n";
  log << "Calculated Dipolar Constant: " << m.setup->dipolar_constant << std::endl;
  log << "Distances: " << m.setup->near << " to " << m.setup->far << " every " << m.setup->grain << " Angstroms\n";
  log << "PER 2PI: " << m.setup->per_2pi << (m.setup->per_2pi == 0 && !m.setup->have_curve ? " (exact)" : "")
      << std::endl;
  log << "MID PULSE: " << m.setup->mid_pulse << std::endl;
  log << "MAS: " << m.setup->mas << std::endl;
  log << "LAST POINT: " << m.setup->last_point << std::endl;
  log << "SCALING: " << m.setup->scaling_a << " " << m.setup->scaling_b << std::endl;
  log << "NTRIES: " << m.setup->ntries << std::endl;
  auto list = [&](char const* label, std::vector<double> const& v) {
    log << label;
    for (int i = 0; i < m.setup->ntries; i++) log << v[i] << " ";
    log << std::endl;
  };
  list("ITERS AT TEMP: ", m.setup->iters_at_temp);
  list("MAX STEP SIZE: ", m.setup->max_step_size);
  list("BOLTZMANN: ", m.setup->boltzmann);
  list("INIT TEMP: ", m.setup->init_temp);
  list("ATTEN TEMP: ", m.setup->atten_temp);
  list("MIN TEMP: ", m.setup->min_temp);
  log << "ERR ITERS AT TEMP: " << m.setup->err_iters_at_temp << std::endl;
  log << "ERR MAX STEP SIZE: " << m.setup->err_max_step_size << std::endl;
  log << "ERR BOLTZMANN: " << m.setup->err_boltzmann << std::endl;
  log << "ERR INIT TEMP: " << m.setup->err_init_temp << std::endl;
  log << "ERR ATTEN TEMP: " << m.setup->err_atten_temp << std::endl;
  log << "ERR MIN TEMP: " << m.setup->err_min_temp << std::endl;
  log << "MIN STDEV2: " << m.setup->min_stdev2 << std::endl;
  log << "PER MC BLOCK: " << m.setup->per_mc_block << std::endl;
  log << "MAX MC BLOCKS: " << m.setup->max_mc_blocks << std::endl;
  log << "MAX MC CHI2: " << m.setup->max_mc_chi2 << std::endl;
  write_run_setup(m);
  log.flush();
}
