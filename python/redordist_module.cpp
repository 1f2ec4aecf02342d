// The compiled part of `import redordist`: the command line's readers,
// checks, solvers and outputs, called from Python. The pure-Python part
// (python/redordist/__init__.py) builds the parameter and data texts from
// the arguments and wraps the results.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <condition_variable>
#include <dirent.h>
#include <iostream>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include <gsl/gsl_rng.h>
#ifdef _OPENMP
#include <omp.h>
#endif

#include "driver/run_in_memory.h"
#include "driver/run_one.h"
#include "driver/simulate_curve.h"
#include "driver/study_shared.h"
#include "driver/usage_text.h"
#include "input/rng_environment.h"
#include "input/text_inputs.h"
#include "numeric/fatal.h"
#include "numeric/gsl_errors.h"
#include "numeric/warnings.h"

namespace py = pybind11;

namespace {

// What would end the command line's process ends the call instead.
struct FatalError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
[[noreturn]] void throw_fatal(std::string const& msg, int) { throw FatalError(msg); }

std::string one_line(std::string s) {
  while (!s.empty() && s.back() == '\n') s.pop_back();
  return s;
}

// Standard output of the engine (the readers' warnings, run_one's lines)
// goes into text while one of these lives; only made with the GIL held,
// and no engine code writes to std::cout while the GIL is released.
class CaptureCout {
 public:
  CaptureCout() : old_(std::cout.rdbuf(text_.rdbuf())) {}
  ~CaptureCout() { std::cout.rdbuf(old_); }
  std::string text() const { return text_.str(); }

 private:
  std::ostringstream text_;
  std::streambuf* old_;
};

// GSL's default seed is one number for the whole process: fits with the
// same seed run side by side, one with another seed waits until they end.
class SeedGate {
 public:
  void enter(unsigned long seed) {
    std::unique_lock<std::mutex> l(m_);
    cv_.wait(l, [&] { return users_ == 0 || seed_ == seed; });
    seed_ = seed;
    users_++;
    gsl_rng_default_seed = seed;
  }
  void leave() {
    std::lock_guard<std::mutex> l(m_);
    if (--users_ == 0) cv_.notify_all();
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  unsigned long seed_ = 0;
  int users_ = 0;
};
SeedGate g_seed_gate;
unsigned long g_env_seed = 0;  // GSL_RNG_SEED at import (0 when unset), as the command line

// The engine's state for one call on this thread: seed and OpenMP threads.
class EngineScope {
 public:
  EngineScope(py::object seed, py::object threads) {
    unsigned long s = seed.is_none() ? g_env_seed : seed.cast<unsigned long>();
    {
      py::gil_scoped_release free;
      g_seed_gate.enter(s);
    }
#ifdef _OPENMP
    old_threads_ = omp_get_max_threads();
    if (!threads.is_none()) omp_set_num_threads(threads.cast<int>());
#endif
  }
  ~EngineScope() {
#ifdef _OPENMP
    omp_set_num_threads(old_threads_);
#endif
    g_seed_gate.leave();
  }

 private:
  int old_threads_ = 1;
};

// The inputs from the texts through the command line's readers and checks;
// a refusal raises ValueError with its one line.
RunInputs read_inputs(std::string const& params, std::string const& data_name, std::string const& data,
                      std::string const& solver, std::vector<std::string>& warnings) {
  RunInputs in;
  InputStatus refusal;
  {
    CaptureCout quiet;
    refusal = read_run_inputs_text(params, data_name, data, solver, in);
  }
  warnings = take_warnings();
  // The parameters were keyword arguments, not lines of a file: the
  // refusal names the key alone.
  if (refusal)
    throw py::value_error(std::regex_replace(one_line(refusal->message),
                                             std::regex(std::string(kParamTextName) + " line [0-9]+: "), ""));
  return in;
}

py::dict fit(std::string const& params, std::string const& data_name, std::string const& data,
             std::string const& solver, bool fit_scaling, py::object seed, py::object threads) {
  std::vector<std::string> warnings;
  RunInputs in = read_inputs(params, data_name, data, solver, warnings);
  EngineScope scope(seed, threads);
  MemoryRun run;
  {
    py::gil_scoped_release free;
    run = run_in_memory(in, solver, fit_scaling, warnings);
  }
  if (!run.refusal.empty()) throw py::value_error(one_line(run.refusal));
  py::dict d;
  d["status"] = run.status;
  d["console"] = run.console;
  d["result_lines"] = run.result_lines;
  d["warnings"] = run.warnings;
  d["summary"] = run.summary.dump();  // json.loads on the Python side
  return d;
}

// The checks alone (write() runs them before it makes anything).
void check(std::string const& params, std::string const& data_name, std::string const& data,
           std::string const& solver) {
  std::vector<std::string> warnings;
  read_inputs(params, data_name, data, solver, warnings);
}

std::vector<double> simulate(std::string const& params, std::string const& data_name, std::string const& data,
                             std::vector<double> const& r, std::vector<double> const& p) {
  std::vector<std::string> warnings;
  RunInputs in = read_inputs(params, data_name, data, "maxent", warnings);
  std::string problem;
  std::vector<double> s;
  {
    py::gil_scoped_release free;
    s = simulate_curve(in, r, p, problem);
  }
  if (!problem.empty()) throw py::value_error(one_line(problem));
  return s;
}

std::set<int> open_descriptors() {
  std::set<int> fds;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (dirent* e = readdir(d))  // the listing's own descriptor is not open after it
      if (e->d_name[0] != '.' && std::atoi(e->d_name) != dirfd(d)) fds.insert(std::atoi(e->d_name));
    closedir(d);
  }
  return fds;
}

// The run directory's lock lasts for the command line's process; here it
// is released when the run ends, so that a later write() may reuse the
// directory. Only directories opened during the run are closed.
void release_new_directory_locks(std::set<int> const& before) {
  for (int fd : open_descriptors()) {
    struct stat st;
    if (!before.count(fd) && fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) close(fd);
  }
}

// A whole run of the command line on a parameter file: its run directory,
// with the console text it printed. The GIL stays held (standard output is
// redirected meanwhile).
py::tuple write_run(std::string const& param_file, std::string const& solver, bool fit_scaling,
                    std::vector<std::string> const& command, py::object seed, py::object threads) {
  CaptureCout console;
  RunInputs in;
  if (InputStatus refusal = read_run_inputs(param_file, solver, in)) {
    take_warnings();
    throw py::value_error(one_line(refusal->message));
  }
  std::vector<std::string> warnings = take_warnings();
  EngineScope scope(seed, threads);
  std::set<int> before = open_descriptors();
  int status = 1;
  try {
    status = run_one({in, solver, param_file, command, warnings, fit_scaling});
  } catch (FatalError const& e) {
    release_new_directory_locks(before);
    throw std::runtime_error(one_line(e.what()));
  }
  release_new_directory_locks(before);
  return py::make_tuple(status, console.text());
}

// One distribution fitted by solver (maxent or gaussians) to curves already
// fitted on their own with it, as `--study FILE --shared` does (with fit_scaling, as
// `--shared --fit-scaling`: each curve's SCALING fitted too): each curve as (name, parameter
// text, data name, data text, its fit's summary as JSON text). Returns the
// shared fit's JSON text (the study summary's "shared").
using SharedCurve = std::tuple<std::string, std::string, std::string, std::string, std::string>;
std::string fit_shared_curves(std::vector<SharedCurve> const& curves, std::string const& solver, bool fit_scaling) {
  StudyInputs st;
  std::vector<StudyRow> rows;
  for (auto const& [name, params, data_name, data, summary] : curves) {
    StudyCurveInputs c;
    c.name = name;
    c.inputs = read_inputs(params, data_name, data, solver, c.warnings);
    st.curves.push_back(std::move(c));
    nlohmann::json s = nlohmann::json::parse(summary);
    rows.push_back({name, s.value("status", 1), "", s});
  }
  SharedFit f;
  {
    py::gil_scoped_release free;
    f = fit_shared(st, rows, solver, fit_scaling);
  }
  return shared_json(f).dump();
}

// redordist --template --solver SOLVER: every key with its example value.
std::string template_text(std::string const& solver) {
  std::ostringstream s;
  print_template(s, solver);
  return s.str();
}

}  // namespace

PYBIND11_MODULE(_redordist, m) {
  m.doc() = "The compiled engine of redordist; use the package redordist.";
  gsl_errors_as_statuses();
  fatal_handler = throw_fatal;
  {
    CaptureCout quiet;
    if (InputStatus s = check_rng_environment()) throw std::runtime_error(one_line(s->message));
  }
  g_env_seed = gsl_rng_default_seed;
  m.def("fit", &fit);
  m.def("check", &check);
  m.def("simulate", &simulate);
  m.def("write_run", &write_run);
  m.def("fit_shared", &fit_shared_curves);
  m.def("template", &template_text);
  m.attr("env_seed") = g_env_seed;
}
