// GSL's default error handler aborts the process. The program switches it
// off once, at start-up, before any thread exists, and never touches it
// again (the handler is process-wide, so switching it from a thread would
// race with the others); every GSL call whose failure matters is checked
// through the status it returns.
#ifndef REDORDIST_NUMERIC_GSL_ERRORS_H
#define REDORDIST_NUMERIC_GSL_ERRORS_H

#include <gsl/gsl_errno.h>

inline void gsl_errors_as_statuses() { gsl_set_error_handler_off(); }

#endif
