#include "input/text_inputs.h"

const char* const kParamTextName = "the parameters";

InputStatus read_run_inputs_text(std::string const& param_text, std::string const& data_name,
                                 std::string const& data_text, std::string const& solver, RunInputs& in) {
  InputFiles files;
  files.add(kParamTextName, param_text);
  files.add(data_name, data_text);
  return read_run_inputs(files, kParamTextName, solver, in);
}
