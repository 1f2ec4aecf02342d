// Models for the benchmarks, built as the program builds them: 13C-15N
// (dipolar constant 3062.61 Hz A^3), MAS 4 kHz, n_data points at N_c = 4, 8,
// 12, ... and n_grid distances from 3 A every 0.02 A, the kernel filled by
// the powder average so its values are real kernel values.
#ifndef REDORDIST_BENCH_MODELS_H
#define REDORDIST_BENCH_MODELS_H

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "input/param_keys.h"
#include "input/run_inputs.h"
#include "model/paar.h"

namespace bench {

// Standard output swallowed while it lives (the fills show progress).
class QuietCout {
 public:
  QuietCout() : old_(std::cout.rdbuf(sink_.rdbuf())) {}
  ~QuietCout() { std::cout.rdbuf(old_); }
  QuietCout(QuietCout const&) = delete;
  QuietCout& operator=(QuietCout const&) = delete;

 private:
  std::ostringstream sink_;
  std::streambuf* old_;
};

// The model of dir/p.par for solver, built as the program builds it with
// its transform matrices filled; dir is removed afterwards.
inline std::unique_ptr<Paar> built_model(std::string const& dir, std::string const& solver) {
  QuietCout quiet;
  RunInputs in;
  if (InputStatus refusal = read_run_inputs(dir + "/p.par", solver, in)) {
    std::cerr << refusal->message;
    std::abort();
  }
  auto setup = std::make_shared<RunSetup>(in);
  setup->build_transforms(Report::silent());
  auto p = std::make_unique<Paar>(setup, Report::silent());
  std::filesystem::remove_all(dir);
  return p;
}

// A model with its transform matrices, multipliers spread over [-2, 2] so
// that the exponentials are not trivial.
inline std::unique_ptr<Paar> evaluation_model(int n_data, int n_grid, int per_2pi = 24) {
  std::string dir = (std::filesystem::temp_directory_path() /
                     ("redordist-bench-" + std::to_string(long(getpid())))).string();
  std::filesystem::create_directories(dir);
  std::ofstream data(dir + "/data.dat");
  for (int i = 0; i < n_data; i++) {
    double ratio = 1.0 - 0.5 * i / n_data;
    data << 4 * (i + 1) << " 1 " << ratio << " " << ratio << " 0.02\n";
  }
  data.close();
  char far[32];
  std::snprintf(far, sizeof far, "%.4f", 3.0 + 0.02 * (n_grid - 2) + 0.001);  // n_grid distances
  std::map<std::string, std::string> values = {
      {"MODE", "fit"}, {"LAMBDA_D", "none"}, {"XYDATA", dir + "/data.dat"}, {"DISTDIST", "none"},
      {"PATH", dir + "/"}, {"OUTPUT", "bench"}, {"XN", "C13"}, {"YN", "N15"}, {"NEAR", "3"}, {"FAR", far},
      {"GRAIN", "0.02"}, {"PER 2PI", std::to_string(per_2pi)}, {"MID PULSE", "0"}, {"MAS", "4000"},
      {"SCALING", "0.92"}, {"LAST POINT", "0"}, {"NTRIES", "1"}, {"ITERS AT TEMP", "20"},
      {"MAX STEP SIZE", "0.5"}, {"BOLTZMANN", "1"}, {"INIT TEMP", "10"}, {"ATTEN TEMP", "2"},
      {"MIN TEMP", "0.5"}, {"ERR ITERS AT TEMP", "10"}, {"ERR MAX STEP SIZE", "0.5"}, {"ERR BOLTZMANN", "1"},
      {"ERR INIT TEMP", "2"}, {"ERR ATTEN TEMP", "2"}, {"ERR MIN TEMP", "0.5"}, {"MIN STDEV2", "1"},
      {"PER MC BLOCK", "3"}, {"MAX MC BLOCKS", "5"}, {"MAX MC CHI2", "1e6"}};
  std::ofstream par(dir + "/p.par");
  for (ParamKey const& k : param_keys()) par << k.name << ": " << values.at(k.name) << "\n";
  par.close();
  auto p = built_model(dir, "annealing");
  for (int i = 0; i < n_data; i++) gsl_vector_set(p->lagrange, i, 2.0 * std::sin(1.7 * i + 0.3));
  return p;
}

// The model of examples/err.par (13C-15N, MAS 5000 Hz, cn_redor.dat's 17
// points, grid 2.5 - 6.0 Angstrom every 0.05) with PER 2PI per_2pi (0: the
// exact kernel), its transform matrices filled.
inline std::unique_ptr<Paar> example_model(int per_2pi) {
  std::string dir = (std::filesystem::temp_directory_path() /
                     ("redordist-bench-ex-" + std::to_string(long(getpid())))).string();
  std::filesystem::create_directories(dir);
  std::ifstream text(REDORDIST_SOURCE_DIR "/examples/err.par");
  std::ofstream par(dir + "/p.par");
  for (std::string line; std::getline(text, line);) {
    std::string key = line.substr(0, line.find(':'));
    if (key == "XYDATA") line = "XYDATA: " REDORDIST_SOURCE_DIR "/examples/cn_redor.dat";
    if (key == "PATH") line = "PATH: " + dir + "/";
    if (key == "PER 2PI") line = "PER 2PI: " + std::to_string(per_2pi);
    par << line << "\n";
  }
  par.close();
  auto p = built_model(dir, "gaussians");
  return p;
}

}  // namespace bench

#endif
