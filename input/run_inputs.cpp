#include "input/run_inputs.h"

#include <cmath>
#include <sstream>

#include "input/nuclei.h"
#include "input/rng_environment.h"
#include "input/text_lines.h"
#include "numeric/warnings.h"

namespace {

// The prescribed fractions are a share of the population: at most all of
// it, and in the fitting modes less, since the rest is fitted.
InputStatus check_prescribed_total(RunInputs const& in) {
  double total = 0.0;
  for (double f : in.prescribed.fraction) total += f;
  bool fitting = in.params.mode != "sim";
  if (!(total > 1.0 || (fitting && total >= 1.0))) return std::nullopt;
  std::ostringstream s;
  s << "DISTDIST " << printable(in.params.distdist_file) << ": the fractions add up to " << total
    << "; they must add up to "
    << (fitting ? "less than 1 in mode fit and err, where the rest is fitted" : "at most 1") << "\n";
  return refused(s.str());
}

// chi2 sums squared residuals over errors, each at most (|1 - S/S0| + SCALING)
// / error (the fitted S/S0 lies between 1 and about 1 - SCALING; errors are at
// least 1e-12): above 1e140 the squares and their sum overflow, and no fit can
// be compared with another (SCALING 1e300, or S/S0 1e150).
InputStatus check_chi2_range(RunInputs const& in) {
  double scaling = in.params.scaling_a;
  for (DataPoint const& d : in.data) {
    double reach = (std::fabs(1.0 - d.s / d.s0) + scaling) / d.err;
    if (!(reach > 1e140)) continue;
    std::ostringstream s;
    s << "XYDATA " << printable(in.params.xydata_file) << " line " << d.lineno << ": S/S0 " << d.s / d.s0
      << " with the error " << d.err << " and SCALING " << scaling
      << ": (|1 - S/S0| + SCALING) / error must be at most 1e140, or chi2 overflows\n";
    return refused(s.str());
  }
  return std::nullopt;
}

// One Gaussian has two free parameters (centre and width; the weight is 1):
// the Gaussians' fit needs as many data points.
InputStatus check_gaussians_points(RunInputs const& in, std::string const& solver) {
  if (solver != "gaussians" || in.params.mode == "sim" || in.data.size() >= 2) return std::nullopt;
  return refused("XYDATA " + printable(in.params.xydata_file) +
                 ": 1 data point; --solver gaussians needs at least 2 in mode fit and err (one Gaussian "
                 "has two free parameters, centre and width)\n");
}

}  // namespace

InputStatus read_run_inputs(InputFiles& files, std::string const& param_file, std::string const& solver,
                            RunInputs& in, bool schedule_defaults) {
  in = RunInputs();
  RunParams& p = in.params;
  if (InputStatus s = read_params(files, param_file, solver, p, schedule_defaults)) return s;
  if (InputStatus s = lookup_nuclei(p.detect_nucleus, p.dephase_nucleus, in.gamma_x, in.gamma_y))
    return s;
  if (InputStatus s = check_params(p, solver)) return s;
  if (p.lambda_d_file != "none" && !files.lines(p.lambda_d_file, in.curve_lines))
    return refused("parameter error: LAMBDA_D " + quote_token(p.lambda_d_file) +
                   " cannot be opened; write none for no universal dephasing curve\n");
  if (in.gamma_x == in.gamma_y)
    warn("warning: XN and YN are both " + p.detect_nucleus +
         "; REDOR dephases one nucleus by another");
  if (InputStatus s = read_data_file(files, p.xydata_file, p.last_point, in.data)) return s;
  warn_about_data(p.xydata_file, in.data);
  if (InputStatus s = check_chi2_range(in)) return s;
  if (InputStatus s = check_gaussians_points(in, solver)) return s;
  if (InputStatus s = read_prescribed_file(files, p.distdist_file, in.prescribed)) return s;
  if (InputStatus s = check_prescribed_total(in)) return s;
  for (std::string const& name : {param_file, p.xydata_file, p.distdist_file})
    if (std::string const* bytes = files.bytes(name)) in.texts[name] = *bytes;
  return check_rng_environment();
}

InputStatus read_run_inputs(std::string const& param_file, std::string const& solver, RunInputs& in) {
  InputFiles files;
  return read_run_inputs(files, param_file, solver, in);
}
