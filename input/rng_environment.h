// GSL's random-number environment (GSL_RNG_TYPE, GSL_RNG_SEED), read and
// checked once before anything is written, then fixed for the whole run.
#ifndef REDORDIST_INPUT_RNG_ENVIRONMENT_H
#define REDORDIST_INPUT_RNG_ENVIRONMENT_H

#include "input/input_status.h"

// Refuses (one line) a GSL_RNG_TYPE that names no GSL generator
// or a GSL_RNG_SEED that is not a whole decimal number, then sets GSL's
// default generator and seed from them (GSL notes what it took on standard
// error, once).
InputStatus check_rng_environment();

#endif
