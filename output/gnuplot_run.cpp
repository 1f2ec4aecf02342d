#include "output/gnuplot_run.h"

#include <cerrno>
#include <iostream>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

void run_gnuplot(std::vector<std::string> const& args) {
  std::vector<std::string> all = {"gnuplot"};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::cout.flush();
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, "gnuplot", nullptr, nullptr, argv.data(), environ);
  if (rc != 0) {
    if (rc == ENOENT) std::cerr << "gnuplot: not found" << std::endl;
    else std::cerr << "gnuplot: could not be started" << std::endl;
    return;
  }
  int st = 0;
  while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
  }
}
