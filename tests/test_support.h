// Shared helpers of the test suite: temporary directories, parameter files
// with chosen values, and end-to-end runs of the built redordist.
#ifndef REDORDIST_TESTS_TEST_SUPPORT_H
#define REDORDIST_TESTS_TEST_SUPPORT_H

#include <gsl/gsl_vector.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

inline std::string read_file(std::string const& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void write_file(std::string const& name, std::string const& text) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out << text;
}

inline bool exists(std::string const& name) { return std::filesystem::exists(name); }

// A vector's elements as a std::vector, and a new GSL vector holding v.
inline std::vector<double> values(gsl_vector const* g) { return {g->data, g->data + g->size}; }
inline gsl_vector* gvec(std::vector<double> const& v) {
  gsl_vector* g = gsl_vector_alloc(v.size());
  std::copy(v.begin(), v.end(), g->data);
  return g;
}

// The lines of a text, without their newlines.
inline std::vector<std::string> lines_of(std::string const& text) {
  std::vector<std::string> v;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) v.push_back(l);
  return v;
}

// The blank-separated words of a line (the fields of a table row).
inline std::vector<std::string> words(std::string const& line) {
  std::vector<std::string> v;
  std::istringstream in(line);
  for (std::string w; in >> w;) v.push_back(w);
  return v;
}

// The fields of each line of a table or trace that is not a "#" comment.
inline std::vector<std::vector<std::string>> table_rows(std::string const& text) {
  std::vector<std::vector<std::string>> rows;
  for (auto const& l : lines_of(text))
    if (l.compare(0, 1, "#") != 0) rows.push_back(words(l));
  return rows;
}

// A fresh directory under the system's temporary directory, removed when the
// object goes out of scope.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "redordist-test-XXXXXX").string();
    path_ = mkdtemp(tmpl.data()) ? tmpl : "";
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(TempDir const&) = delete;
  TempDir& operator=(TempDir const&) = delete;
  std::string const& path() const { return path_; }
  std::string file(std::string const& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The 33 keys of the parameter file in order, with the values of a small,
// quick run: 13C-15N, a coarse grid, a short schedule.
inline std::vector<std::pair<std::string, std::string>> const& param_defaults() {
  static const std::vector<std::pair<std::string, std::string>> d = {
      {"MODE", "fit"},          {"LAMBDA_D", "none"},        {"XYDATA", "data.dat"},
      {"DISTDIST", "none"},     {"PATH", "./"},              {"OUTPUT", "run"},
      {"XN", "C13"},            {"YN", "N15"},               {"NEAR", "2.5"},
      {"FAR", "6"},             {"GRAIN", "0.5"},            {"PER 2PI", "24"},
      {"MID PULSE", "0"},       {"MAS", "5000"},             {"SCALING", "1.0"},
      {"LAST POINT", "0"},      {"NTRIES", "1"},             {"ITERS AT TEMP", "20"},
      {"MAX STEP SIZE", "0.5"}, {"BOLTZMANN", "1"},          {"INIT TEMP", "10"},
      {"ATTEN TEMP", "2"},      {"MIN TEMP", "0.5"},         {"ERR ITERS AT TEMP", "10"},
      {"ERR MAX STEP SIZE", "0.5"}, {"ERR BOLTZMANN", "1"},  {"ERR INIT TEMP", "2"},
      {"ERR ATTEN TEMP", "2"},  {"ERR MIN TEMP", "0.5"},     {"MIN STDEV2", "1"},
      {"PER MC BLOCK", "3"},    {"MAX MC BLOCKS", "5"},      {"MAX MC CHI2", "1e6"}};
  return d;
}

// The parameter file of param_defaults(); values in `over` replace the
// defaults (key -> value text).
inline std::string param_text(std::map<std::string, std::string> const& over = {}) {
  std::string t;
  for (auto const& kv : param_defaults()) {
    auto o = over.find(kv.first);
    t += kv.first + ": " + (o == over.end() ? kv.second : o->second) + "\n";
  }
  return t;
}

// A small 13C-15N data set: N_c 0..16 in steps of 4, errors 0.02.
inline std::string small_data() {
  return "# N_c S0 S ratio err\n"
         "0 1000 1000 1.0 0.02\n"
         "4 1000 960 0.96 0.02\n"
         "8 1000 870 0.87 0.02\n"
         "12 1000 760 0.76 0.02\n"
         "16 1000 650 0.65 0.02\n";
}

struct RunResult {
  int status = -1;  // exit status, or -1 when killed by a signal
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs the built redordist in dir with the given arguments. When path_prefix
// is not empty it is put first on PATH (for a stub gnuplot); extra_env holds
// NAME=value settings.
inline RunResult run_redordist(std::string const& dir, std::vector<std::string> const& args,
                               std::string const& path_prefix = "",
                               std::vector<std::string> const& extra_env = {}) {
  std::string cmd = "cd '" + dir + "' && ";
  if (!path_prefix.empty()) cmd += "PATH='" + path_prefix + "':\"$PATH\" ";
  for (auto const& e : extra_env) cmd += e + " ";
  cmd += "'" REDORDIST_BIN "'";
  for (auto const& a : args) cmd += " '" + a + "'";
  cmd += " >'" + dir + "/.stdout' 2>'" + dir + "/.stderr' </dev/null";
  int rc = std::system(cmd.c_str());
  RunResult r;
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  r.out = read_file(dir + "/.stdout");
  r.err = read_file(dir + "/.stderr");
  std::filesystem::remove(dir + "/.stdout");
  std::filesystem::remove(dir + "/.stderr");
  return r;
}

// A stub gnuplot in dir/bin that appends its arguments, one call per line,
// to dir/gnuplot-calls.txt and then runs the shell commands `then`.
inline std::string install_stub_gnuplot(std::string const& dir, std::string const& then = "") {
  std::string bin = dir + "/bin";
  std::filesystem::create_directories(bin);
  write_file(bin + "/gnuplot",
             "#!/bin/sh\necho \"$@\" >> '" + dir + "/gnuplot-calls.txt'\n" + then);
  std::filesystem::permissions(bin + "/gnuplot", std::filesystem::perms::owner_all);
  return bin;
}

// The progress counter of the kernel fill for n rows (n <= 10): each row
// index right-aligned in four columns and followed by four backspaces.
inline std::string progress_counter(int n) {
  std::string s;
  for (int i = 0; i < n; i++) s += "   " + std::to_string(i) + "\b\b\b\b";
  return s;
}

// A directory for end-to-end runs with the small data set as data.dat and a
// stub gnuplot. run() writes p.par from param_text(over) and runs redordist
// on it; out(ext) reads a file of the run directory "run".
struct Workspace {
  TempDir dir;
  std::string bin = install_stub_gnuplot(dir.path());
  Workspace() { write_file(dir.file("data.dat"), small_data()); }
  RunResult run(std::map<std::string, std::string> const& over = {},
                std::vector<std::string> const& env = {}) const {
    write_file(dir.file("p.par"), param_text(over));
    return run_redordist(dir.path(), {"p.par"}, bin, env);
  }
  std::string file(std::string const& name) const { return read_file(dir.file(name)); }
  std::string out(std::string const& ext) const { return file("run/run" + ext); }
};

// Replaces the time stamps of a run log ("Started: ...", "time: ...",
// "Beginning Boltzmann ME: ...", "... MC: ...") by "<time>". A stamp is the
// 24-character calendar form, e.g. "Sun Dec  6 10:18:28 2026".
inline std::string mask_times(std::string const& log) {
  static const std::regex stamp(
      R"((Started: |time: |Beginning Boltzmann M[EC]: )\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4})");
  return std::regex_replace(log, stamp, "$1<time>");
}

// REDOR powder average written out directly: beta = k*step over [0, pi)
// weighted by sin(beta), gamma = m*step + phase over a full turn, normalised
// with the program's 3.141593 / P^2; mid_pulse_us shifts gamma by that
// fraction of a rotor period. Every sine is evaluated in place.
inline double powder_reference(int P, double mas, double mid_pulse_us, double coupling, int j) {
  const double turn = 6.28318530718, step = turn / P;
  const double phase = turn * (mid_pulse_us * 1e-6) * mas;
  const double amp = 4.0 * std::sqrt(2.0) * (j * coupling / mas);
  double total = 0.0;
  for (int k = 0; k < P / 2; k++)
    for (int m = 0; m < P; m++)
      total += std::sin(k * step) *
               std::cos(amp * std::sin(2.0 * k * step) * std::sin(m * step + phase));
  return total * 3.141593 / P / P;
}

}  // namespace testsupport

#endif
