// Shared helpers of the test suite: temporary directories, parameter files
// with chosen values, and end-to-end runs of the built redordist.
#ifndef REDORDIST_TESTS_TEST_SUPPORT_H
#define REDORDIST_TESTS_TEST_SUPPORT_H

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
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

// A fresh directory under the system's temporary directory, removed when the
// object goes out of scope.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "redordist-test-XXXXXX").string();
    std::vector<char> b(tmpl.begin(), tmpl.end());
    b.push_back('\0');
    char* d = mkdtemp(b.data());
    path_ = d ? d : "";
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

// The 33 keys of the parameter file, in order.
inline std::vector<std::string> const& param_keys() {
  static const std::vector<std::string> k = {
      "MODE",          "LAMBDA_D",       "XYDATA",        "DISTDIST",      "PATH",
      "OUTPUT",        "XN",             "YN",            "NEAR",          "FAR",
      "GRAIN",         "PER 2PI",        "MID PULSE",     "MAS",           "SCALING",
      "LAST POINT",    "NTRIES",         "ITERS AT TEMP", "MAX STEP SIZE", "BOLTZMANN",
      "INIT TEMP",     "ATTEN TEMP",     "MIN TEMP",      "ERR ITERS AT TEMP",
      "ERR MAX STEP SIZE", "ERR BOLTZMANN", "ERR INIT TEMP", "ERR ATTEN TEMP",
      "ERR MIN TEMP",  "MIN STDEV2",     "PER MC BLOCK",  "MAX MC BLOCKS", "MAX MC CHI2"};
  return k;
}

// A small, quick parameter file: 13C-15N, a coarse grid, a short schedule.
// Values in `over` replace the defaults (key -> value text).
inline std::string param_text(std::map<std::string, std::string> const& over = {}) {
  std::map<std::string, std::string> v = {
      {"MODE", "fit"},          {"LAMBDA_D", "none"},      {"XYDATA", "data.dat"},
      {"DISTDIST", "none"},     {"PATH", "./"},            {"OUTPUT", "run"},
      {"XN", "C13"},            {"YN", "N15"},             {"NEAR", "2.5"},
      {"FAR", "6"},             {"GRAIN", "0.5"},          {"PER 2PI", "24"},
      {"MID PULSE", "0"},       {"MAS", "5000"},           {"SCALING", "1.0"},
      {"LAST POINT", "0"},      {"NTRIES", "1"},           {"ITERS AT TEMP", "20"},
      {"MAX STEP SIZE", "0.5"}, {"BOLTZMANN", "1"},        {"INIT TEMP", "10"},
      {"ATTEN TEMP", "2"},      {"MIN TEMP", "0.5"},       {"ERR ITERS AT TEMP", "10"},
      {"ERR MAX STEP SIZE", "0.5"}, {"ERR BOLTZMANN", "1"}, {"ERR INIT TEMP", "2"},
      {"ERR ATTEN TEMP", "2"},  {"ERR MIN TEMP", "0.5"},   {"MIN STDEV2", "1"},
      {"PER MC BLOCK", "3"},    {"MAX MC BLOCKS", "5"},    {"MAX MC CHI2", "1e6"}};
  for (auto const& kv : over) v[kv.first] = kv.second;
  std::string t;
  for (auto const& k : param_keys()) t += k + ": " + v[k] + "\n";
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
// to dir/gnuplot-calls.txt.
inline std::string install_stub_gnuplot(std::string const& dir) {
  std::string bin = dir + "/bin";
  std::filesystem::create_directories(bin);
  write_file(bin + "/gnuplot", "#!/bin/sh\necho \"$@\" >> '" + dir + "/gnuplot-calls.txt'\n");
  std::filesystem::permissions(bin + "/gnuplot", std::filesystem::perms::owner_all);
  return bin;
}

// Replaces the time stamps of a run log ("Started: ...", "time: ...",
// "Beginning Boltzmann ME: ...") by "<time>". A stamp is the 24-character
// calendar form, e.g. "Sun Dec  6 10:18:28 2026".
inline std::string mask_times(std::string const& log) {
  static const char* const prefixes[] = {"Started: ", "time: ", "Beginning Boltzmann ME: ",
                                         "Beginning Boltzmann MC: "};
  auto looks_like_time = [](std::string const& s, size_t p) {
    if (p + 24 > s.size()) return false;
    return s[p + 3] == ' ' && s[p + 7] == ' ' && s[p + 13] == ':' && s[p + 16] == ':' &&
           s[p + 19] == ' ';
  };
  std::string out = log;
  for (char const* pre : prefixes) {
    std::string pfx(pre);
    size_t pos = 0;
    while ((pos = out.find(pfx, pos)) != std::string::npos) {
      size_t t = pos + pfx.size();
      if (looks_like_time(out, t)) out.replace(t, 24, "<time>");
      pos = t;
    }
  }
  return out;
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
