// The header line of the result table (".me").
#ifndef REDORDIST_OUTPUT_RESULT_TABLE_H
#define REDORDIST_OUTPUT_RESULT_TABLE_H

#include <string>

std::string result_table_header();

#endif
