// The header line of the result table (".me").
#ifndef REDORDIST_OUTPUT_RESULT_TABLE_H
#define REDORDIST_OUTPUT_RESULT_TABLE_H

#include <string>

#include "model/paar.h"

std::string result_table_header();

// Evaluates the model in full and writes the table PATH/OUTPUT.me; 0 when it
// could not be written.
int write_out(Paar& model);

#endif
