// The environment a run reads: GSL's random-number generator and seed
// (GSL_RNG_TYPE, GSL_RNG_SEED) and gnuplot's time limit
// (REDORDIST_GNUPLOT_TIMEOUT), checked before anything is written; the
// generator and seed are then fixed for the whole process.
#ifndef REDORDIST_INPUT_RNG_ENVIRONMENT_H
#define REDORDIST_INPUT_RNG_ENVIRONMENT_H

#include "input/input_status.h"

// Refuses (one line) a GSL_RNG_TYPE that names no GSL generator, a
// GSL_RNG_SEED that is not a whole decimal number or a
// REDORDIST_GNUPLOT_TIMEOUT that is not 1 to 99999 seconds, then sets GSL's
// default generator and seed from them (GSL notes what it took on standard
// error, once).
InputStatus check_rng_environment();

#endif
