// The program switches GSL's aborting error handler off once at start-up;
// the solvers run in this process are run the same way.
#include <gtest/gtest.h>

#include "numeric/gsl_errors.h"

namespace {

struct GslErrorsAsStatuses : testing::Environment {
  void SetUp() override { gsl_errors_as_statuses(); }
};

testing::Environment* const kEnv = testing::AddGlobalTestEnvironment(new GslErrorsAsStatuses);

}  // namespace
