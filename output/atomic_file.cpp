#include "output/atomic_file.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

bool write_file_atomically(std::string const& name, std::string const& text) {
  std::string tmpl = name + ".tmpXXXXXX";
  std::vector<char> tmp(tmpl.begin(), tmpl.end());
  tmp.push_back('\0');
  int fd = mkstemp(tmp.data());
  if (fd < 0) return false;
  // mkstemp makes the file private; results are ordinary readable files.
  fchmod(fd, 0644);
  size_t done = 0;
  bool ok = true;
  while (done < text.size()) {
    ssize_t w = ::write(fd, text.data() + done, text.size() - done);
    if (w <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(w);
  }
  if (::close(fd) != 0) ok = false;
  if (ok && std::rename(tmp.data(), name.c_str()) != 0) ok = false;
  if (!ok) std::remove(tmp.data());
  return ok;
}

