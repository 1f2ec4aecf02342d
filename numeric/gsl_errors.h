// GSL's default error handler aborts the process. The program replaces it
// once, at start-up, before any thread exists, and never touches it again
// (the handler is process-wide, so switching it from a thread would race
// with the others); every GSL call whose failure matters is checked through
// the status it returns.
//
// One kind of error is never the data's: an element read or written past
// the end of a vector or matrix. GSL would hand back 0 and go on, and the
// run would end with numbers built on that 0; instead the run stops with
// the place named (status 70, an internal software error).
#ifndef REDORDIST_NUMERIC_GSL_ERRORS_H
#define REDORDIST_NUMERIC_GSL_ERRORS_H

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <gsl/gsl_errno.h>

inline void gsl_index_fault(const char* reason, const char* file, int line, int gsl_errno) {
  if (gsl_errno != GSL_EINVAL || std::strstr(reason, "index out of range") == nullptr) return;
  std::fprintf(stderr, "internal error: GSL %s at %s:%d\n", reason, file, line);
  std::fflush(stderr);
  std::_Exit(70);
}

inline void gsl_errors_as_statuses() { gsl_set_error_handler(&gsl_index_fault); }

#endif
