#include "output/safe_files.h"

#include <cstdio>
#include <sys/stat.h>

void remove_planted_link(std::string const& name) {
  struct stat st;
  if (lstat(name.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) std::remove(name.c_str());
}
