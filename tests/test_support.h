// Shared helpers of the test suite: files in temporary directories, parameter
// files with chosen values, one way to build a small model in this process,
// refusals caught instead of ending the process, and whole runs of the built
// redordist with a stub gnuplot.
#ifndef REDORDIST_TESTS_TEST_SUPPORT_H
#define REDORDIST_TESTS_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <set>
#include <string>
#include <vector>

#include "input/param_keys.h"
#include "input/run_inputs.h"
#include "model/exact_kernel.h"
#include "model/paar.h"
#include "numeric/fatal.h"

namespace ts {

using Over = std::map<std::string, std::string>;
using Row = std::vector<std::string>;
using V = std::vector<double>;

inline std::string read_file(std::string const& name) {
  std::ostringstream s;
  s << std::ifstream(name, std::ios::binary).rdbuf();
  return s.str();
}

inline void write_file(std::string const& f, std::string const& text) { std::ofstream(f, std::ios::binary) << text; }

inline V values(gsl_vector const* g) { return V(g->data, g->data + g->size); }

inline std::vector<std::string> lines_of(std::string const& text) {
  std::vector<std::string> v;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) v.push_back(l);
  return v;
}

// printf's formatting, into a string of at most 399 characters.
[[gnu::format(printf, 1, 2)]] inline std::string strf(char const* fmt, ...) {
  char b[400];
  va_list a;
  va_start(a, fmt);
  std::vsnprintf(b, sizeof b, fmt, a);
  va_end(a);
  return b;
}

// The blank-separated fields of every line that is not a "#" comment.
inline std::vector<Row> table_rows(std::string const& text) {
  std::vector<Row> rows;
  for (auto const& l : lines_of(text)) {
    if (l.compare(0, 1, "#") == 0) continue;
    std::istringstream in(l);
    rows.emplace_back();
    for (std::string w; in >> w;) rows.back().push_back(w);
  }
  return rows;
}

// A fresh directory under the system's temporary directory, removed at the end.
class TempDir {
 public:
  // Under TMPDIR; when that path is long, reached through a short link in
  // /tmp, since the tests write absolute names into parameter files and the
  // file names there hold at most 78 characters.
  TempDir() {
    std::string t = (std::filesystem::temp_directory_path() / "redordist-test-XXXXXX").string();
    real_ = path_ = mkdtemp(t.data()) ? t : "";
    std::string link = "/tmp/rdt-XXXXXX";
    if (real_.size() > 32 && mkdtemp(link.data())) {
      std::error_code ec;
      std::filesystem::remove(link, ec), std::filesystem::create_directory_symlink(real_, link, ec);
      if (!ec) path_ = link;
    }
  }
  ~TempDir() {
    std::error_code ec;
    if (path_ != real_) std::filesystem::remove(path_, ec);
    std::filesystem::remove_all(real_, ec);
  }
  TempDir(TempDir const&) = delete;
  TempDir& operator=(TempDir const&) = delete;
  std::string const& path() const { return path_; }
  std::string file(std::string const& name) const { return path_ + "/" + name; }

 private:
  std::string path_, real_;
};

// The values of a small, quick run for every key of the table: 13C-15N,
// grid 2.5 to 6 every 0.5 (9 distances), short schedules.
inline Over const& param_defaults() {
  static const Over d = {
      {"MODE", "fit"}, {"LAMBDA_D", "none"}, {"XYDATA", "data.dat"}, {"DISTDIST", "none"}, {"PATH", "./"},
      {"OUTPUT", "run"}, {"XN", "C13"}, {"YN", "N15"}, {"NEAR", "2.5"}, {"FAR", "6"}, {"GRAIN", "0.5"},
      {"PER 2PI", "24"}, {"MID PULSE", "0"}, {"MAS", "5000"}, {"SCALING", "1.0"}, {"LAST POINT", "0"},
      {"NTRIES", "1"}, {"ITERS AT TEMP", "20"}, {"MAX STEP SIZE", "0.5"}, {"BOLTZMANN", "1"}, {"INIT TEMP", "10"},
      {"ATTEN TEMP", "2"}, {"MIN TEMP", "0.5"}, {"ERR ITERS AT TEMP", "10"}, {"ERR MAX STEP SIZE", "0.5"},
      {"ERR BOLTZMANN", "1"}, {"ERR INIT TEMP", "2"}, {"ERR ATTEN TEMP", "2"}, {"ERR MIN TEMP", "0.5"},
      {"MIN STDEV2", "1"}, {"PER MC BLOCK", "3"}, {"MAX MC BLOCKS", "5"}, {"MAX MC CHI2", "1e6"}};
  return d;
}

// The 33-line parameter file, keys in the table's order, with the values of
// param_defaults() and of `over` (key -> value text; a value starting with
// "=" replaces the whole line after it, "-" leaves the line out).
inline std::string param_text(Over const& over = {}) {
  std::string t;
  for (ParamKey const& k : param_keys()) {
    auto o = over.find(k.name);
    std::string v = o == over.end() ? param_defaults().at(k.name) : o->second;
    if (v == "-") continue;
    t += (v.compare(0, 1, "=") == 0 ? v.substr(1) : std::string(k.name) + ": " + v) + "\n";
  }
  return t;
}

// Every file and folder under dir, to see that a refused run changed nothing.
inline std::set<std::string> entries(std::string const& dir) {
  std::set<std::string> s;
  for (auto const& e : std::filesystem::recursive_directory_iterator(dir)) s.insert(e.path().string());
  return s;
}

// Five 13C-15N points, N_c 0 to 16, errors 0.02.
const std::string kSmallData = "# N_c S0 S ratio err\n0 1000 1000 1.0 0.02\n4 1000 960 0.96 0.02\n"
    "8 1000 870 0.87 0.02\n12 1000 760 0.76 0.02\n16 1000 650 0.65 0.02\n";

// Nine points of a 13C-15N curve near 3.3 Angstrom, N_c 0 to 64, errors 0.015.
const std::string kCurveData = "0 1 1.004 1 0.015\n8 1 0.962 1 0.015\n16 1 0.861 1 0.015\n24 1 0.722 1 0.015\n"
    "32 1 0.575 1 0.015\n40 1 0.451 1 0.015\n48 1 0.330 1 0.015\n56 1 0.262 1 0.015\n64 1 0.205 1 0.015\n";

// Runs f with a refusal thrown instead of ending the process and standard
// output captured. Returns the refusal ("" when f returned); a status other
// than 1 is shown in front of it.
struct Refusal { std::string msg; };
inline std::string refusal_of(std::function<void()> const& f, std::string* out = nullptr) {
  FatalHandler old = fatal_handler;
  fatal_handler = [](std::string const& m, int status) {
    throw Refusal{status == 1 ? m : "status " + std::to_string(status) + ": " + m};
  };
  testing::internal::CaptureStdout();
  std::string msg;
  try { f(); } catch (Refusal const& r) { msg = r.msg; }
  std::string o = testing::internal::GetCapturedStdout();
  if (out) *out = o;
  fatal_handler = old;
  return msg;
}

// Writes p.par (param_text(over)) and data.dat into dir, and dist.dat and
// curve.dat when given, all named by absolute path, the run directory inside.
inline std::string write_inputs(TempDir const& d, Over over, std::string const& data,
                                std::string const& dist = "", std::string const& curve = "") {
  write_file(d.file("data.dat"), data), over.emplace("XYDATA", d.file("data.dat"));
  over.emplace("PATH", d.path() + "/");
  if (!dist.empty()) write_file(d.file("dist.dat"), dist), over.emplace("DISTDIST", d.file("dist.dat"));
  if (!curve.empty()) write_file(d.file("curve.dat"), curve), over.emplace("LAMBDA_D", d.file("curve.dat"));
  write_file(d.file("p.par"), param_text(over));
  return d.file("p.par");
}

// A model built in this process as the program builds it, with its
// transform matrices; `out` is what the building printed, progress lines
// included (the report takes standard output for a terminal). `rw` is the
// set-up for tests that plant values in it before evaluating.
struct Model {
  TempDir dir;
  std::string out;
  std::unique_ptr<Report> report = std::make_unique<Report>(&std::cout, true);
  std::shared_ptr<RunSetup> rw;
  std::unique_ptr<Paar> p;
  explicit Model(Over const& over = {}, std::string const& data = kSmallData,
                 std::string const& dist = "", std::string const& curve = "") {
    std::string par = write_inputs(dir, over, data, dist, curve);
    std::string refused = refusal_of([&] {
      RunInputs in;
      if (InputStatus s = read_run_inputs(par, "annealing", in)) throw Refusal{s->message};
      rw = std::make_shared<RunSetup>(in);
      if (!rw->problem().empty()) throw Refusal{rw->problem()};
      rw->build_transforms(*report);
      report->out();  // ends the last progress line
      p = std::make_unique<Paar>(rw, *report);
    }, &out);
    EXPECT_EQ(refused, "");
  }
  Paar& operator*() { return *p; }
  Paar* operator->() { return p.get(); }
};

// The exit status (-1 when killed by a signal) and what the run printed.
struct RunResult { int status = -1; std::string out, err; };

// A directory for whole runs: `data` (the small data set) as data.dat and a stub
// gnuplot that appends its arguments to gnuplot-calls.txt, then runs `then`.
struct Workspace {
  TempDir dir;
  std::string bin = dir.file("bin");
  explicit Workspace(std::string const& then = "", std::string const& data = kSmallData) {
    write_file(dir.file("data.dat"), data), std::filesystem::create_directories(bin);
    write_file(bin + "/gnuplot", "#!/bin/sh\necho \"$@\" >> '" + dir.file("gnuplot-calls.txt") + "'\n" + then + "\n");
    std::filesystem::permissions(bin + "/gnuplot", std::filesystem::perms::owner_all);
  }
  // Runs redordist in dir with args, env holding NAME=value settings (or a
  // command such as "timeout 60"); stub_first puts the stub gnuplot first on PATH.
  RunResult run_args(Row const& args, Row const& env = {}, bool stub_first = true) const {
    std::string cmd = "cd '" + dir.path() + "' && " + (stub_first ? "PATH='" + bin + "':\"$PATH\" " : "");
    for (auto const& e : env) cmd += e + " ";
    cmd += "'" REDORDIST_BIN "'";
    for (auto const& a : args) cmd += " '" + a + "'";
    int rc = std::system((cmd + " >.stdout 2>.stderr </dev/null").c_str());
    RunResult r{WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, file(".stdout"), file(".stderr")};
    for (char const* f : {".stdout", ".stderr"}) std::filesystem::remove(dir.file(f));
    return r;
  }
  RunResult run(Over const& over = {}, Row const& env = {}) const {
    write_file(dir.file("p.par"), param_text(over));
    return run_args({"p.par"}, env);
  }
  std::string file(std::string const& name) const { return read_file(dir.file(name)); }
  std::string out(std::string const& ext) const { return file("run/run" + ext); }
};

// The time stamps of a run log replaced by "<time>".
inline std::string mask_times(std::string const& log) {
  static const std::regex stamp(R"(\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4})");
  return std::regex_replace(log, stamp, "<time>");
}

// 13C-15N (3066 Hz A^3) at MAS 5000 Hz, n points at j = step, 2 step, ... (N_c = 2 j):
// the exact powder average's kernel on a grid from near to far every 0.05 Angstrom.
inline FitProblem cn_exact(int n, double step, double near, double far) {
  FitProblem fp;
  fp.n_data = n;
  fp.kernel_at = [n, step](std::vector<double> const& r, std::vector<double>& out) {
    out.resize(n * r.size());
    for (int i = 0; i < n; i++)
      for (size_t j = 0; j < r.size(); j++)
        out[i * r.size() + j] = redor_exact(step * (i + 1) * 3066.0 / std::pow(r[j], 3) / 5000.0);
  };
  for (int j = 0; near + 0.05 * j < far + 1e-9; j++) fp.distance.push_back(near + 0.05 * j);
  fp.n_grid = static_cast<int>(fp.distance.size()), fp.kernel_at(fp.distance, fp.kernel);
  return fp;
}

}  // namespace ts

#endif
