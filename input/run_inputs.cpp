#include "input/run_inputs.h"

#include "input/nuclei.h"

RunInputs read_run_inputs(char const* param_file) {
  RunInputs in;
  in.params = read_params(param_file);
  lookup_nuclei(in.params.detect_nucleus, in.params.dephase_nucleus, in.gamma_x, in.gamma_y);
  check_params(in.params);
  in.data = read_data_file(in.params.xydata_file, in.params.last_point);
  in.prescribed = read_prescribed_file(in.params.distdist_file);
  return in;
}
