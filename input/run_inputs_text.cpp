#include <sstream>

#include "input/nuclei.h"
#include "input/rng_environment.h"
#include "input/text_inputs.h"
#include "numeric/warnings.h"

namespace {

std::vector<std::string> lines_of(std::string const& text) {
  std::vector<std::string> lines;
  std::istringstream s(text);
  for (std::string l; std::getline(s, l);) lines.push_back(l);
  return lines;
}

}  // namespace

InputStatus read_run_inputs_text(std::string const& param_text, std::string const& data_name,
                                 std::string const& data_text, std::string const& solver, RunInputs& in) {
  in = RunInputs();
  RunParams& p = in.params;
  if (InputStatus s = read_params_lines("the parameters", lines_of(param_text), solver, p)) return s;
  if (InputStatus s = lookup_nuclei(p.detect_nucleus, p.dephase_nucleus, in.gamma_x, in.gamma_y)) return s;
  if (InputStatus s = check_params(p, solver)) return s;
  if (p.lambda_d_file != "none" || p.distdist_file != "none")
    return refused("parameter error: LAMBDA_D and DISTDIST must be none for inputs given in memory\n");
  if (in.gamma_x == in.gamma_y)
    warn("warning: XN and YN are both " + p.detect_nucleus + "; REDOR dephases one nucleus by another");
  p.xydata_file = data_name;
  if (InputStatus s = read_data_lines(data_name, lines_of(data_text), p.last_point, in.data)) return s;
  warn_about_data(data_name, in.data);
  return check_rng_environment();
}
