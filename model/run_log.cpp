// The run directory, the copies of the inputs, and the head of the run log.
#include <filesystem>
#include <iostream>
#include <system_error>

#include "model/paar.h"
#include "solver/numeric.h"

namespace fs = std::filesystem;

namespace {

// Copies a file into the run directory under its own name; a failure is
// reported on one line and the run goes on.
void copy_into(std::string const& file, std::string const& dir) {
  std::error_code ec;
  fs::path src(file);
  fs::path dst = fs::path(dir) / src.filename();
  if (!file.empty() && fs::exists(dst, ec) && fs::equivalent(src, dst, ec)) return;
  if (file.empty() ||
      !fs::copy_file(src, dst, fs::copy_options::overwrite_existing, ec) || ec) {
    std::cout << "warning: could not copy " << file << " into " << dir << std::endl;
  }
}

std::string ctime_text(time_t t) {
  char const* s = std::ctime(&t);
  return s ? s : "(time unknown)\n";
}

}  // namespace

void Paar::setup_run_dir(char const* param_file) {
  std::string dir = path + output_base;
  std::error_code ec;
  // One level only, an existing directory is reused.
  fs::create_directory(dir, ec);
  if (!fs::is_directory(dir)) {
    fatal_exit("Can't create run directory " + dir + "\n", 1);
  }
  path = path + output_base + "/";
  copy_into(xydata_file, path);
  copy_into(param_file, path);
  std::string logname = path + output_base + ".log";
  log.open(logname, std::ios::out | std::ios::trunc);
  if (!log.is_open()) fatal_exit("Can't open run log " + logname + "\n", 1);
}

void Paar::write_log_head() {
  log << "MAXIMUM ENTROPY REDOR VERSION " << VERSION << std::endl;
  timestamp = std::time(nullptr);
  log << "Started: " << ctime_text(timestamp);
  log << std::endl;
  log << " * * * * * * * * INPUT PARAMETERS * * * * * * * * \n";
  log << "MODE: " << mode << std::endl;
  log << "LAMBDA_D: " << lambda_d_file << std::endl;
  log << "XYDATA: " << xydata_file << std::endl;
  log << "DISTDIST: " << distdist_file << std::endl;
  log << "PATH: " << path << std::endl;
  log << "OUTPUT (basename): " << output_base << std::endl;
  log << "XN: " << detect_nucleus << " (gamma = " << gamma_x << ")\n";
  log << "XY: " << dephase_nucleus << " (gamma = " << gamma_y << ")\n";
  log << "Calculated Dipolar Constant: " << dipolar_constant << std::endl;
  log << "Distances: " << near << " to " << far << " every " << grain << " Angstroms\n";
  log << "PER 2PI: " << per_2pi << std::endl;
  log << "MID PULSE: " << mid_pulse << std::endl;
  log << "MAS: " << mas << std::endl;
  log << "LAST POINT: " << last_point << std::endl;
  log << "SCALING: " << scaling_a << " " << scaling_b << std::endl;
  log << "NTRIES: " << ntries << std::endl;
  auto list = [&](char const* label, gsl_vector const* v) {
    log << label;
    for (int i = 0; i < ntries; i++) log << gvg(v, i) << " ";
    log << std::endl;
  };
  list("ITERS AT TEMP: ", iters_at_temp);
  list("MAX STEP SIZE: ", max_step_size);
  list("BOLTZMANN: ", boltzmann);
  list("INIT TEMP: ", init_temp);
  list("ATTEN TEMP: ", atten_temp);
  list("MIN TEMP: ", min_temp);
  log << "ERR ITERS AT TEMP: " << err_iters_at_temp << std::endl;
  log << "ERR MAX STEP SIZE: " << err_max_step_size << std::endl;
  log << "ERR BOLTZMANN: " << err_boltzmann << std::endl;
  log << "ERR INIT TEMP: " << err_init_temp << std::endl;
  log << "ERR ATTEN TEMP: " << err_atten_temp << std::endl;
  log << "ERR MIN TEMP: " << err_min_temp << std::endl;
  log << "MIN STDEV2: " << min_stdev2 << std::endl;
  log << "PER MC BLOCK: " << per_mc_block << std::endl;
  log << "MAX MC BLOCKS: " << max_mc_blocks << std::endl;
  log << "MAX MC CHI2: " << max_mc_chi2 << std::endl;
  log.flush();
}
