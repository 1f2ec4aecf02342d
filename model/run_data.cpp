// The measured curve and the prescribed distribution inside the model, the
// simulation grid of rotor-cycle counts, and their lines in the run log.
#include <algorithm>
#include <cstdio>

#include "model/run_setup.h"
#include "numeric/numeric.h"

void RunSetup::set_data(std::vector<DataPoint> const& pts) {
  data_points = pts;
  n_data = static_cast<int>(pts.size());
  cycles = GslVec(n_data);
  data_s0 = GslVec(n_data);
  data_s = GslVec(n_data);
  measured = GslVec(n_data);
  data_error = GslVec(n_data);
  for (int k = 0; k < n_data; k++) {
    DataPoint const& p = pts[k];
    gsl_vector_set(cycles, k, p.nc);
    gsl_vector_set(data_s0, k, p.s0);
    gsl_vector_set(data_s, k, p.s);
    gsl_vector_set(measured, k, p.s / p.s0);
    gsl_vector_set(data_error, k, p.err);
  }
}

int RunSetup::effective_last_point() const {
  if (last_point != 0) return last_point;
  // LAST POINT 0: the largest cycle count of the data (the last line's when
  // the data are in ascending order).
  int largest = 0;
  for (int k = 0; k < n_data; k++) largest = std::max(largest, static_cast<int>(gvg(cycles, k)));
  return largest;
}

void RunSetup::set_prescribed(PrescribedDist const& d) {
  prescribed = d;
  n_adj = d.readable ? static_cast<int>(d.distance.size()) : -1;
  if (n_adj <= 0) return;
  adj_distances = GslVec(n_adj);
  adj_density = GslVec(n_adj);
  for (int k = 0; k < n_adj; k++) {
    gsl_vector_set(adj_distances, k, d.distance[k]);
    gsl_vector_set(adj_density, k, d.fraction[k]);
    total_adjust_density += d.fraction[k];
  }
  transform_adjust = GslMat(n_cycles, n_adj);
}

void RunSetup::report_inputs(Report& rep) const {
  std::ostream& log = rep.log();
  char buf[320];
  log << "Data from " << xydata_file << std::endl;
  for (DataPoint const& p : data_points) {
    std::snprintf(buf, sizeof buf, "cycles: %3d So: %10.4le S: %10.4le S/So %10.4le ", p.nc, p.s0,
                  p.s, p.s / p.s0);
    log << buf;
    std::snprintf(buf, sizeof buf, "err %10.4le\n", p.err);
    log << buf;
    log.flush();
  }
  if (n_adj > 0) {
    log << std::endl
        << "Prescribed distance distribution (for simulation "
        << "or forced into BME reconstruction" << std::endl;
    for (int k = 0; k < n_adj; k++) {
      std::snprintf(buf, sizeof buf, "%10.4le %10.4le\n", prescribed.distance[k],
                    prescribed.fraction[k]);
      log << buf;
    }
  }
  if (scaling_a > 1.0) {
    // The fitted curve levels off at 1 - SCALING: below zero here.
    std::snprintf(buf, sizeof buf,
                  "warning: SCALING %g is above 1, but it is the dephasable share of the pairs (at most "
                  "1): the curve would level off at S/S0 = 1 - SCALING = %.2f, below zero; check SCALING",
                  scaling_a, 1.0 - scaling_a);
    rep.warn(buf);
    log << buf << "\n";
  }
  if (n_grid < n_data) {
    std::string w =
        "Warning: points in distance distribution < data points. You'll be happier in the end if "
        "you lower the GRAIN";
    rep.warn(w);  // standard output, and the summary's list
    log << w << "\n";
  }
}
