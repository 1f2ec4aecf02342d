// A whole run of the program from one fuzz input, shared by the libFuzzer
// target fuzz_run.cpp and by the test that replays its findings
// (tests/fuzz_replay_test.cpp).
//
// The first six bytes choose NEAR, the grid's span, GRAIN, MAS, the nuclei
// and SCALING from small tables (awkward values among them: SCALING 1e10 and
// 1e300, a grid of one narrow step); the rest is the data file: its text,
// or, when the seventh byte is a control character below tab (which no
// written file starts with), records of three bytes that make the lines of a
// well-formed file (so that most inputs reach the solvers).
// Spans stay
// at most 2 Angstrom: the assessment of what the data determine profiles a
// Gaussian every 0.02 Angstrom of the grid, for every solver. The run is
// mode fit on the exact kernel with a grid of at most 60 distances, once
// with each solver (the annealing on a tiny schedule), into a directory of
// this process's own, from reading the inputs to the summary, as the
// program's main makes it. gnuplot is hidden (PATH points nowhere), so no
// figure is drawn.
//
// Besides "no crash, no sanitizer report": a refused input is one line with
// status 0 or 1; an accepted one runs to the end with status 0, never ends
// through fatal_exit halfway, and prints no nan or inf.
#ifndef REDORDIST_FUZZ_FUZZ_RUN_H
#define REDORDIST_FUZZ_FUZZ_RUN_H

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "driver/run_one.h"
#include "fuzz/fuzz_readers.h"
#include "input/run_inputs.h"
#include "numeric/gsl_errors.h"

namespace fuzzsupport {

// The parameter file of a run: the six choice bytes, the data file's path,
// the run directory's parent.
inline std::string run_param_text(std::string const& choice, std::string const& data, std::string const& dir) {
  static char const* const kNear[] = {"2.5", "1.5", "3.0", "0.8", "4.0", "2.0"};
  static double const kSpan[] = {1.0, 0.3, 0.6, 0.05, 2.0, 1.5, 0.5}, kGrain[] = {0.1, 0.05, 0.02, 0.25};
  static char const* const kMas[] = {"5000", "10000", "2000", "30000", "100", "1e6"};
  static char const* const kNuclei[][2] = {{"C13", "N15"}, {"C13", "P31"}, {"N15", "C13"}, {"C13", "H1"}, {"P31", "F19"}};
  static char const* const kScaling[] = {"1.0", "0.8", "1e10", "1e300", "1e-6", "0.5"};
  auto pick = [&](size_t i, size_t n) { return static_cast<size_t>(static_cast<unsigned char>(choice[i])) % n; };
  // (at most 60 distances)
  double near = std::atof(kNear[pick(0, 6)]), span = kSpan[pick(1, 7)], grain = std::max(kGrain[pick(2, 4)], span / 59);
  std::ostringstream t;
  t.precision(17);
  t << "MODE: fit\nLAMBDA_D: none\nXYDATA: " << data << "\nDISTDIST: none\nPATH: " << dir << "/\nOUTPUT: run\n"
    << "XN: " << kNuclei[pick(4, 5)][0] << "\nYN: " << kNuclei[pick(4, 5)][1] << "\nNEAR: " << kNear[pick(0, 6)]
    << "\nFAR: " << near + span << "\nGRAIN: " << grain << "\nPER 2PI: 0\nMID PULSE: 0\nMAS: " << kMas[pick(3, 6)]
    << "\nSCALING: " << kScaling[pick(5, 6)] << "\nLAST POINT: 0\nNTRIES: 1\nITERS AT TEMP: 20\n"
    << "MAX STEP SIZE: 0.5\nBOLTZMANN: 1\nINIT TEMP: 2\nATTEN TEMP: 2\nMIN TEMP: 0.5\n";
  return t.str();
}

// The data file of the bytes after the six choices: the bytes themselves, or
// from records of three bytes each line "N_c 1 S/S0 S/S0 error" with N_c
// twice the first byte, S/S0 the second over 200 and the error from a table.
inline std::string run_data_text(std::string const& rest) {
  if (rest.empty() || static_cast<unsigned char>(rest[0]) >= 9) return rest;
  static char const* const kErr[] = {"0.02", "0.005", "1e-10", "0.1", "1e-6", "0.5", "1e-12", "0"};
  std::string t;
  for (size_t i = 1; i + 3 <= rest.size(); i += 3) {
    auto b = [&](size_t k) { return static_cast<unsigned char>(rest[i + k]); };
    std::string ratio = std::to_string(b(1) / 200.0);
    t += std::to_string(2 * b(0)) + " 1 " + ratio + " " + ratio + " " + kErr[b(2) % 8] + "\n";
  }
  return t;
}

// A nan or inf printed as a number (not inside a word such as "infinite").
inline bool prints_non_number(std::string const& out) {
  auto letter = [&](size_t i) { return i < out.size() && std::isalpha(static_cast<unsigned char>(out[i])); };
  for (char const* bad : {"nan", "inf"})
    for (size_t at = out.find(bad); at != std::string::npos; at = out.find(bad, at + 1))
      if ((at == 0 || !letter(at - 1)) && !letter(at + 3)) return true;
  return false;
}

// One run with this solver on the files in dir; "" when all is well.
inline std::string run_solver(std::string const& dir, char const* solver) {
  RunInputs inputs;
  std::string param = dir + "/p.par";
  if (InputStatus s = read_run_inputs(param, solver, inputs)) return check_status(s);
  std::ostringstream out;
  std::streambuf* old = std::cout.rdbuf(out.rdbuf());
  int status = 0;
  std::string problem;
  try {
    status = run_one({inputs, solver, param, {"redordist", param}, take_warnings(), false});
  } catch (Refusal const& r) { problem = "ended through fatal_exit during the run: " + r.msg; }
  std::cout.rdbuf(old);
  std::error_code ec;
  std::filesystem::remove_all(dir + "/run", ec);
  if (!problem.empty()) return problem;
  if (status != 0) return "status " + std::to_string(status) + " on accepted inputs: " + out.str();
  if (prints_non_number(out.str())) return "a nan or inf in the output: " + out.str();
  return "";
}

// The whole run with each solver from one fuzz input.
inline std::string run_whole(std::string const& bytes) {
  if (bytes.size() < 6) return "";
  static std::string const dir = "/tmp/redordist-fuzzrun-" + std::to_string(long(getpid()));
  std::filesystem::create_directories(dir);
  gsl_errors_as_statuses();
  // (each file closed at the end of its statement)
  std::ofstream(dir + "/data.dat", std::ios::binary) << run_data_text(bytes.substr(6));
  std::ofstream(dir + "/p.par") << run_param_text(bytes.substr(0, 6), dir + "/data.dat", dir);
  char const* path = std::getenv("PATH");
  std::string saved = path ? path : "";
  setenv("PATH", "/nonexistent-redordist-fuzz", 1);  // no gnuplot: no figures
  std::string problem;
  for (char const* solver : {"annealing", "maxent", "gaussians"})
    if (!(problem = run_solver(dir, solver)).empty()) {
      problem = std::string(solver) + ": " + problem;
      break;
    }
  path ? setenv("PATH", saved.c_str(), 1) : unsetenv("PATH");
  return std::filesystem::remove_all(dir), problem;  // nothing left in /tmp
}

}  // namespace fuzzsupport

#endif
