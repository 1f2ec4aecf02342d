#include "output/run_directory.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <sys/file.h>
#include <system_error>
#include <unistd.h>

#include "input/text_lines.h"
#include "numeric/fatal.h"
#include "output/atomic_file.h"
#include "output/safe_files.h"

namespace fs = std::filesystem;

namespace {

// Where a copy of an input goes: the run directory, under the input's own name.
std::string copy_target(std::string const& file, std::string const& dir) {
  return (fs::path(dir) / fs::path(file).filename()).string();
}

// True when the copy's target already is the input itself (nothing to copy).
bool is_own_copy(std::string const& file, std::string const& dst) {
  std::error_code ec;
  return !file.empty() && fs::exists(dst, ec) && fs::equivalent(file, dst, ec);
}

// Copies an input into the run directory under its own name: the bytes the
// run read (a pipe or FIFO cannot be read twice), else the file on disk. A
// failure is reported on one line and the run goes on.
void copy_into(std::string const& file, std::string const& dir, InputTexts const& texts) {
  std::error_code ec;
  std::string dst = copy_target(file, dir);
  if (is_own_copy(file, dst)) return;
  remove_planted_link(dst);
  auto text = texts.find(file);
  bool copied = text != texts.end() ? write_file_atomically(dst, text->second)
                                    : !file.empty() && fs::copy_file(file, dst, fs::copy_options::overwrite_existing, ec) && !ec;
  if (!copied) {
    std::cout << "warning: could not copy " << file << " into " << dir << std::endl;
  }
}

std::string in_use(std::string const& dir) {
  return "Run directory " + printable(dir) +
         " is in use by another run of redordist; wait for it to end or choose another OUTPUT\n";
}

// Holds an exclusive lock on the directory itself (flock on its descriptor)
// until the process ends; a second run on the same directory is refused.
void lock_directory(std::string const& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) fatal_exit("Can't open run directory " + printable(dir) + "\n", 1);
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    fatal_exit(in_use(dir), 1);
  }
  // The descriptor stays open on purpose: closing it would release the lock.
}

// A killed run's temporary file of an atomic write: NAME.tmpXXXXXX.
bool is_temporary(std::string const& name, std::string const& base) {
  size_t t = name.rfind(".tmp");
  return name.compare(0, base.size(), base) == 0 && t != std::string::npos &&
         name.size() == t + 10;
}

// A killed run's temporary files in the run directory.
std::vector<std::string> temporary_entries(RunSetup const& s, std::string const& dir) {
  std::vector<std::string> t;
  std::error_code ec;
  for (auto const& e : fs::directory_iterator(dir, ec))
    if (is_temporary(e.path().filename().string(), s.output_base)) t.push_back(e.path().string());
  return t;
}

// The inputs copied into the run directory: the prescribed distribution
// (when one was read), the data and the parameter file, in the order of
// copying (a later one wins a clash of names).
std::vector<std::string> copied_inputs(RunSetup const& s, std::string const& param_file) {
  std::vector<std::string> c;
  if (s.n_adj >= 0) c.push_back(s.distdist_file);
  c.push_back(s.xydata_file);
  c.push_back(param_file);
  return c;
}

// Every name in the run directory that this run replaces or removes: its
// outputs, a killed run's temporary files and the copies' targets.
std::vector<std::string> touched_names(RunSetup const& s, std::string const& dir,
                                       std::string const& param_file) {
  std::vector<std::string> t = temporary_entries(s, dir);
  for (std::string const& suffix : output_suffixes()) t.push_back(dir + "/" + s.output_base + suffix);
  for (std::string const& in : copied_inputs(s, param_file)) {
    std::string dst = copy_target(in, dir);
    if (!in.empty() && !is_own_copy(in, dst)) t.push_back(dst);
  }
  return t;
}

// An input that is one of the touched files (the same file, by device and
// inode, whatever its name) is refused before anything is changed: the run
// would overwrite or remove what it reads. The refusal, or "".
std::string touched_input(RunSetup const& s, std::string const& dir, std::string const& param_file) {
  std::pair<char const*, std::string> const inputs[] = {{"parameter file", param_file},
                                                        {"XYDATA", s.xydata_file},
                                                        {"DISTDIST", s.distdist_file},
                                                        {"LAMBDA_D", s.lambda_d_file}};
  for (std::string const& name : touched_names(s, dir, param_file)) {
    std::vector<FileId> out = entry_id(name);
    if (out.empty()) continue;
    for (auto const& [key, in] : inputs)
      for (FileId const& id : entry_and_target_ids(in))
        if (id == out[0])
          return std::string("input error: ") + key + " " + printable(in) +
                 " would be overwritten or removed by this run as " + printable(name) +
                 "; move it out of the run directory or choose another OUTPUT\n";
  }
  return "";
}

// An earlier run's outputs that this run will not write and a killed run's
// temporary files are removed; those it writes stay whole until replaced.
void clear_stale_outputs(Paar const& m, std::string const& dir) {
  std::vector<std::string> keep = written_suffixes(m.setup->mode, m.results.solver);
  for (std::string const& suffix : output_suffixes()) {
    std::string name = dir + "/" + m.setup->output_base + suffix;
    if (std::find(keep.begin(), keep.end(), suffix) == keep.end()) {
      std::error_code ec;
      fs::remove(name, ec);  // removes a link itself, never its target
    } else {
      remove_planted_link(name);
    }
  }
  std::error_code ec;
  for (std::string const& name : temporary_entries(*m.setup, dir)) fs::remove(name, ec);
  // The summary speaks for the whole run: an earlier run's must not stand
  // beside this run's log should this one end before writing its own.
  fs::remove(dir + "/" + m.setup->output_base + ".json", ec);
}

}  // namespace

std::vector<std::string> output_suffixes() {
  return {".log",    ".mx",     ".mxT", ".sa",  ".me",   ".gp",
          "-ps.gp",  "-ps.eps", "-fig.gp", ".pdf", ".png", ".json",
          "-distribution.csv", "-curve.csv", "-curve-smooth.csv"};
}

std::vector<std::string> written_suffixes(std::string const& mode, std::string const& solver) {
  std::vector<std::string> s = {".log",   ".mx",     ".mxT", ".me",  ".gp",  "-ps.gp",
                                "-ps.eps", "-fig.gp", ".pdf", ".png", ".json",
                                "-distribution.csv", "-curve.csv", "-curve-smooth.csv"};
  // The trace: the annealing's temperature steps, maximum entropy's solves.
  if ((mode == "fit" || mode == "err") && solver != "gaussians") s.push_back(".sa");
  return s;
}

void open_run_directory(Paar& model, char const* param_file, InputTexts const& texts) {
  // model.setup->path is the run directory, PATH + OUTPUT + "/".
  std::string dir = model.setup->path.substr(0, model.setup->path.size() - 1);
  std::error_code ec;
  // One level only, an existing directory is reused.
  fs::create_directory(dir, ec);
  if (!fs::is_directory(dir)) fatal_exit("Can't create run directory " + dir + "\n", 1);
  lock_directory(dir);
  std::string touched = touched_input(*model.setup, dir, param_file);
  if (!touched.empty()) fatal_exit(touched, 1);
  clear_stale_outputs(model, dir);
  for (std::string const& in : copied_inputs(*model.setup, param_file)) copy_into(in, model.setup->path, texts);
  std::string logname = model.stem() + ".log";
  if (!model.report().open_log(logname)) fatal_exit("Can't open run log " + logname + "\n", 1);
}

std::string run_directory_conflict(RunSetup const& s, std::string const& param_file) {
  std::string dir = s.path.substr(0, s.path.size() - 1);
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return "";  // made by the run
  bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);  // releases the trial lock
  return free ? touched_input(s, dir, param_file) : in_use(dir);
}

std::vector<std::string> run_files(Paar const& m, std::string const& param_file) {
  std::vector<std::string> f;
  std::error_code ec;
  for (std::string const& suffix : written_suffixes(m.setup->mode, m.results.solver))
    if (suffix == ".json" || fs::exists(m.stem() + suffix, ec)) f.push_back(m.stem() + suffix);
  for (std::string const& in : copied_inputs(*m.setup, param_file)) {
    std::string copy = copy_target(in, m.setup->path);
    if (fs::exists(copy, ec) && std::find(f.begin(), f.end(), copy) == f.end()) f.push_back(copy);
  }
  return f;
}
