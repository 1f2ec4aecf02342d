// The head of the run log: the echo of every parameter, the random-number
// set-up, the work bounds and the warnings found while reading.
#ifndef REDORDIST_OUTPUT_RUN_LOG_H
#define REDORDIST_OUTPUT_RUN_LOG_H

#include "model/paar.h"

void write_log_head(Paar& model);

#endif
