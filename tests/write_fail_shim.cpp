// Preloaded into redordist by the tests to imitate a full disk: every write()
// to a file whose path contains $REDORDIST_FAIL_WRITES fails with ENOSPC;
// with $REDORDIST_SHORT_WRITES set, such a write takes at most 7 bytes (a
// partial write, which POSIX allows and a writer must carry on from).
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" ssize_t write(int fd, const void* data, size_t n) {
  using WriteFn = ssize_t (*)(int, const void*, size_t);
  static WriteFn real = reinterpret_cast<WriteFn>(dlsym(RTLD_NEXT, "write"));
  const char* match = std::getenv("REDORDIST_FAIL_WRITES");
  if (match && *match) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[4096];
    ssize_t len = readlink(link, target, sizeof target - 1);
    if (len > 0) {
      target[len] = '\0';
      if (std::strstr(target, match)) {
        if (std::getenv("REDORDIST_SHORT_WRITES")) return real(fd, data, n < 7 ? n : 7);
        errno = ENOSPC;
        return -1;
      }
    }
  }
  return real(fd, data, n);
}
