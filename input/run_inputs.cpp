#include "input/run_inputs.h"

#include <sstream>

#include "input/nuclei.h"
#include "input/rng_environment.h"
#include "input/text_lines.h"
#include "numeric/fatal.h"
#include "numeric/warnings.h"

namespace {

// The prescribed fractions are a share of the population: at most all of
// it, and in the fitting modes less, since the rest is fitted.
void check_prescribed_total(RunInputs const& in) {
  double total = 0.0;
  for (double f : in.prescribed.fraction) total += f;
  bool fitting = in.params.mode != "sim";
  if (total > 1.0 || (fitting && total >= 1.0)) {
    std::ostringstream s;
    s << "DISTDIST " << printable(in.params.distdist_file) << ": the fractions add up to " << total
      << "; they must add up to " << (fitting ? "less than 1 in mode fit and err, where the rest is fitted" : "at most 1")
      << "\n";
    fatal_exit(s.str(), 1);
  }
}

}  // namespace

RunInputs read_run_inputs(char const* param_file) {
  RunInputs in;
  in.params = read_params(param_file);
  lookup_nuclei(in.params.detect_nucleus, in.params.dephase_nucleus, in.gamma_x, in.gamma_y);
  check_params(in.params);
  if (in.params.detect_nucleus == in.params.dephase_nucleus)
    warn("warning: XN and YN are both " + in.params.detect_nucleus +
         "; REDOR dephases one nucleus by another");
  in.data = read_data_file(in.params.xydata_file, in.params.last_point);
  warn_about_data(in.params.xydata_file, in.data);
  in.prescribed = read_prescribed_file(in.params.distdist_file);
  check_prescribed_total(in);
  check_rng_environment();
  return in;
}

void check_solver_inputs(RunParams const& p, std::string const& solver) {
  if (solver == "annealing" || p.mode == "sim") return;
  if (!(p.scaling_a > 0)) {
    std::ostringstream s;
    s << "parameter error: SCALING is " << p.scaling_a << "; it must be above 0 for --solver "
      << solver << "\n";
    fatal_exit(s.str(), 1);
  }
  // Widths run from 0.02 Angstrom to (FAR - NEAR) / 2: that range must not be empty.
  if (solver == "gaussians" && !(p.far - p.near > 0.1)) {
    std::ostringstream s;
    s << "parameter error: FAR - NEAR is " << p.far - p.near
      << " Angstrom; it must be above 0.1 for --solver gaussians\n";
    fatal_exit(s.str(), 1);
  }
  // Below about 0.3 Angstrom the grid's REDOR curves are so alike that the
  // maximum-entropy rule for alpha has no root even on data the grid holds,
  // and the default model (falling to both ends over 1 Angstrom) is a hump
  // that decides the result.
  if (solver == "maxent" && !(p.far - p.near > 0.3 - 1e-9)) {  // 3.3 - 3.0 passes
    std::ostringstream s;
    s << "parameter error: FAR - NEAR is " << p.far - p.near
      << " Angstrom; it must be at least 0.3 for --solver maxent\n";
    fatal_exit(s.str(), 1);
  }
}
