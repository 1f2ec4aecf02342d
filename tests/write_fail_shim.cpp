// Preloaded into redordist by the tests to imitate a full disk: every write()
// to a file whose path contains $REDORDIST_FAIL_WRITES fails with ENOSPC;
// with $REDORDIST_SHORT_WRITES set, such a write takes at most 7 bytes (a
// partial write, which POSIX allows and a writer must carry on from). The
// close() of a file whose path contains $REDORDIST_FAIL_CLOSES fails with EIO,
// as a network file system reports a write it lost.
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool path_has(int fd, char const* variable) {
  const char* match = std::getenv(variable);
  char link[64], target[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t len = match && *match ? readlink(link, target, sizeof target - 1) : 0;
  if (len <= 0) return false;
  target[len] = '\0';
  return std::strstr(target, match) != nullptr;
}

}  // namespace

extern "C" ssize_t write(int fd, const void* data, size_t n) {
  static auto real = reinterpret_cast<ssize_t (*)(int, const void*, size_t)>(dlsym(RTLD_NEXT, "write"));
  if (!path_has(fd, "REDORDIST_FAIL_WRITES")) return real(fd, data, n);
  if (std::getenv("REDORDIST_SHORT_WRITES")) return real(fd, data, n < 7 ? n : 7);
  errno = ENOSPC;
  return -1;
}

extern "C" int close(int fd) {
  static auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "close"));
  if (!path_has(fd, "REDORDIST_FAIL_CLOSES")) return real(fd);
  real(fd);
  errno = EIO;
  return -1;
}
