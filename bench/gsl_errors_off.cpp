// The benchmarks run the solvers as the program does: GSL's aborting error
// handler switched off once, before any benchmark starts.
#include "numeric/gsl_errors.h"

namespace {
const bool kGslErrorsAsStatuses = (gsl_errors_as_statuses(), true);
}  // namespace
