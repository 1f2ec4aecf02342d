#include "input/rng_environment.h"

#include <cerrno>
#include <climits>
#include <mutex>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gsl/gsl_rng.h>

#include "input/text_lines.h"

namespace {

bool known_type(char const* name) {
  for (gsl_rng_type const** t = gsl_rng_types_setup(); *t; t++)
    if (std::strcmp((*t)->name, name) == 0) return true;
  return false;
}

bool whole_number(char const* s) {
  if (!*s) return false;
  for (char const* c = s; *c; c++)
    if (*c < '0' || *c > '9') return false;
  errno = 0;
  unsigned long v = std::strtoul(s, nullptr, 10);
  return !(v == ULONG_MAX && errno == ERANGE);
}

}  // namespace

InputStatus check_rng_environment() {
  char const* type = std::getenv("GSL_RNG_TYPE");
  if (type && !known_type(type))
    return refused("environment error: GSL_RNG_TYPE is " + quote_token(type) +
                   "; it must name one of GSL's generators, such as mt19937, taus2 or ranlxd2\n");
  char const* seed = std::getenv("GSL_RNG_SEED");
  if (seed && !whole_number(seed))
    return refused("environment error: GSL_RNG_SEED is " + quote_token(seed) +
                   "; it must be a whole decimal number\n");
  char const* timeout = std::getenv("REDORDIST_GNUPLOT_TIMEOUT");
  if (timeout && !(whole_number(timeout) && std::strtoul(timeout, nullptr, 10) >= 1 &&
                   std::strtoul(timeout, nullptr, 10) <= 99999))
    return refused("environment error: REDORDIST_GNUPLOT_TIMEOUT is " + quote_token(timeout) +
                   "; it must be a whole number of seconds from 1 to 99999\n");
  // Once per process: GSL keeps the default seed in one global, which a
  // fit running beside this reading (the Python module's threads) uses.
  static std::once_flag once;
  std::call_once(once, [] { gsl_rng_env_setup(); });
  return std::nullopt;
}
