#include "output/safe_files.h"

#include <cstdio>
#include <sys/stat.h>

void remove_planted_link(std::string const& name) {
  struct stat st;
  if (lstat(name.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) std::remove(name.c_str());
}

std::vector<FileId> entry_id(std::string const& name) {
  struct stat st;
  if (name.empty() || lstat(name.c_str(), &st) != 0) return {};
  return {FileId{st.st_dev, st.st_ino}};
}

std::vector<FileId> entry_and_target_ids(std::string const& name) {
  std::vector<FileId> ids = entry_id(name);
  struct stat st;
  if (!ids.empty() && stat(name.c_str(), &st) == 0) ids.push_back(FileId{st.st_dev, st.st_ino});
  return ids;
}
