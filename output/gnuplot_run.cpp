#include "output/gnuplot_run.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

int gnuplot_time_limit() {
  char const* e = std::getenv("REDORDIST_GNUPLOT_TIMEOUT");
  if (e) {
    char* end = nullptr;
    long v = std::strtol(e, &end, 10);
    if (end != e && *end == '\0' && v > 0 && v < 100000) return static_cast<int>(v);
  }
  return 30;
}

namespace {

// Waits for pid at most limit seconds (polling, so that a signal to this
// program does not cut the wait short); kills it after that. Returns the
// wait status, or -1 when it had to be killed.
int wait_limited(pid_t pid, int limit) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limit);
  int st = 0;
  while (true) {
    pid_t r = waitpid(pid, &st, WNOHANG);
    if (r == pid) return st;
    if (r < 0 && errno != EINTR) return st;
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid, SIGKILL);
      while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
      }
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

bool have_display() {
  char const* x = std::getenv("DISPLAY");
  char const* w = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (w && *w);
}

bool claim_display_note() {
  static std::atomic<bool> said{false};
  return !said.exchange(true);
}

GnuplotEnd run_gnuplot(std::vector<std::string> const& args, std::string const& script,
                       std::string const& dir) {
  std::vector<std::string> all = {"gnuplot"};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::cout.flush();
  pid_t pid = 0;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  int rc = posix_spawnp(&pid, "gnuplot", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc == ENOENT) {
    std::cout << "note: gnuplot is not installed; " << script << " was written but not plotted"
              << std::endl;
    return GnuplotEnd::kMissing;
  }
  if (rc != 0) {
    std::cout << "gnuplot could not be started for " << script << std::endl;
    return GnuplotEnd::kFailed;
  }
  int limit = gnuplot_time_limit();
  int st = wait_limited(pid, limit);
  if (st == -1) {
    std::cout << "gnuplot on " << script << " ran longer than " << limit
              << " s and was stopped" << std::endl;
    return GnuplotEnd::kFailed;
  }
  if (WIFSIGNALED(st)) {
    std::cout << "gnuplot on " << script << " died from signal " << WTERMSIG(st) << std::endl;
    return GnuplotEnd::kFailed;
  }
  if (WIFEXITED(st) && WEXITSTATUS(st) != 0) {
    std::cout << "gnuplot on " << script << " failed with exit status " << WEXITSTATUS(st)
              << std::endl;
    return GnuplotEnd::kFailed;
  }
  return GnuplotEnd::kOk;
}
