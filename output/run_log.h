// The run directory, the copies of the inputs in it, and the head of the run
// log (the echo of every parameter).
#ifndef REDORDIST_OUTPUT_RUN_LOG_H
#define REDORDIST_OUTPUT_RUN_LOG_H

#include "model/paar.h"

// Creates the run directory model.path (one level), copies the data and
// parameter files into it and opens model.log. A directory or log that
// cannot be made ends the process with a message, status 1.
void open_run_directory(Paar& model, char const* param_file);

void write_log_head(Paar& model);

#endif
