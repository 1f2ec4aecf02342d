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
#include "output/safe_files.h"

namespace fs = std::filesystem;

namespace {

// Copies a file into the run directory under its own name; a failure is
// reported on one line and the run goes on.
void copy_into(std::string const& file, std::string const& dir) {
  std::error_code ec;
  fs::path src(file);
  fs::path dst = fs::path(dir) / src.filename();
  if (!file.empty() && fs::exists(dst, ec) && fs::equivalent(src, dst, ec)) return;
  remove_planted_link(dst.string());
  if (file.empty() || !fs::copy_file(src, dst, fs::copy_options::overwrite_existing, ec) || ec) {
    std::cout << "warning: could not copy " << file << " into " << dir << std::endl;
  }
}

// Holds an exclusive lock on the directory itself (flock on its descriptor)
// until the process ends; a second run on the same directory is refused.
void lock_directory(std::string const& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) fatal_exit("Can't open run directory " + printable(dir) + "\n", 1);
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    fatal_exit("Run directory " + printable(dir) +
                   " is in use by another run of redordist; wait for it to end or choose another "
                   "OUTPUT\n",
               1);
  }
  // The descriptor stays open on purpose: closing it would release the lock.
}

// A killed run's temporary file of an atomic write: NAME.tmpXXXXXX.
bool is_temporary(std::string const& name, std::string const& base) {
  size_t t = name.rfind(".tmp");
  return name.compare(0, base.size(), base) == 0 && t != std::string::npos &&
         name.size() == t + 10;
}

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
  for (auto const& e : fs::directory_iterator(dir, ec)) {
    std::string n = e.path().filename().string();
    if (is_temporary(n, m.setup->output_base)) fs::remove(e.path(), ec);
  }
}

}  // namespace

std::vector<std::string> output_suffixes() {
  return {".log", ".mx", ".mxT", ".sa", ".me", ".gp", "-ps.gp", "-ps.eps", "-fig.gp", ".pdf", ".png", ".json"};
}

std::vector<std::string> written_suffixes(std::string const& mode, std::string const& solver) {
  std::vector<std::string> s = {".log",   ".mx",     ".mxT", ".me",  ".gp",  "-ps.gp",
                                "-ps.eps", "-fig.gp", ".pdf", ".png", ".json"};
  // The trace: the annealing's temperature steps, maximum entropy's solves.
  if ((mode == "fit" || mode == "err") && solver != "gaussians") s.push_back(".sa");
  return s;
}

void open_run_directory(Paar& model, char const* param_file) {
  // model.setup->path is the run directory, PATH + OUTPUT + "/".
  std::string dir = model.setup->path.substr(0, model.setup->path.size() - 1);
  std::error_code ec;
  // One level only, an existing directory is reused.
  fs::create_directory(dir, ec);
  if (!fs::is_directory(dir)) fatal_exit("Can't create run directory " + dir + "\n", 1);
  lock_directory(dir);
  clear_stale_outputs(model, dir);
  copy_into(model.setup->xydata_file, model.setup->path);
  copy_into(param_file, model.setup->path);
  std::string logname = model.stem() + ".log";
  if (!model.report().open_log(logname)) fatal_exit("Can't open run log " + logname + "\n", 1);
}
