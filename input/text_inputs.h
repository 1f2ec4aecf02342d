// The inputs of a run given as text in memory instead of files (the Python
// module builds them from its arguments): the same readers and checks as the
// files go through, so a bad value is refused with the same one line.
#ifndef REDORDIST_INPUT_TEXT_INPUTS_H
#define REDORDIST_INPUT_TEXT_INPUTS_H

#include <string>

#include "input/run_inputs.h"

// The name that stands for a parameter text in messages.
extern const char* const kParamTextName;

// read_run_inputs on a parameter text whose XYDATA is data_name and the
// text of that data file; nothing is read from disk but files the
// parameters name besides (a prescribed distribution, a universal curve).
InputStatus read_run_inputs_text(std::string const& param_text, std::string const& data_name,
                                 std::string const& data_text, std::string const& solver, RunInputs& in);

#endif
