// The inputs of a run given as text in memory instead of files (the Python
// module builds them from its arguments): the same readers and checks as the
// files go through, so a bad value is refused with the same one line.
#ifndef REDORDIST_INPUT_TEXT_INPUTS_H
#define REDORDIST_INPUT_TEXT_INPUTS_H

#include <string>
#include <vector>

#include "input/data_file.h"
#include "input/input_status.h"
#include "input/run_inputs.h"
#include "input/run_params.h"

// The parameter reader on lines already in memory; name stands for the file
// in messages.
InputStatus read_params_lines(std::string const& name, std::vector<std::string> const& lines,
                              std::string const& solver, RunParams& p);

// The data reader on lines already in memory; file stands for the file in
// messages ("FILE line N: ...").
InputStatus read_data_lines(std::string const& file, std::vector<std::string> const& lines, int last_point,
                            std::vector<DataPoint>& pts);

// read_run_inputs on a parameter text and a data text (the parameter text's
// XYDATA is only a name here); no prescribed distribution, no universal
// curve file. The readers' warnings are kept (numeric/warnings.h) as for
// files.
InputStatus read_run_inputs_text(std::string const& param_text, std::string const& data_name,
                                 std::string const& data_text, std::string const& solver, RunInputs& in);

#endif
