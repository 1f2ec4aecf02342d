// The read-only set-up of one run: the parameters, the nuclei, the grid of
// distances, the measured curve, the prescribed distribution, the REDOR
// kernel and the transform matrices. Built once from the checked inputs,
// filled with the matrices once the run log is open, and from then on shared
// by every copy of the model and every thread, which never change it.
#ifndef REDORDIST_MODEL_RUN_SETUP_H
#define REDORDIST_MODEL_RUN_SETUP_H

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "input/curve_file.h"
#include "input/data_file.h"
#include "input/run_inputs.h"
#include "model/fit_problem.h"
#include "numeric/gsl_handles.h"
#include "numeric/report.h"

const double VERSION = 1.0;

// Sines of the powder average that do not depend on the coupling.
struct PowderTables {
  int per_2pi = 0;
  std::vector<double> sin_beta;     // sin(k*delta),   k < P/2
  std::vector<double> sin_2beta;    // sin(2*k*delta), k < P/2
  std::vector<double> sin_gamma;    // sin(m*delta + phi), m < P
};

// The parameters are a base so that the set-up reads with the names of the
// parameter file (setup.near, setup.mas, ...). path is the run directory.
struct RunSetup : RunParams {
  // Builds the set-up from checked inputs without writing anything: nuclei,
  // grid, data, prescribed distribution, the universal curve if there is one.
  // The matrices stay empty until build_transforms. A set-up too large to
  // compute leaves problem() non-empty and allocates no matrix.
  explicit RunSetup(RunInputs const& in);

  // Why the matrices or the powder average would be too large to compute
  // ("" when they are not).
  std::string const& problem() const { return problem_; }

  // ---- once the run log is open ----
  // Logs the data, the prescribed distribution and the grid warning.
  void report_inputs(Report& rep) const;
  // Fills the transform matrices (with progress lines on standard output)
  // and the curve of the prescribed distribution.
  void build_transforms(Report& rep);

  int n_grid = 0;     // distances on the grid
  int n_data = 0;     // measured points
  int n_adj = -1;     // prescribed distances (-1: no prescribed distribution)
  int n_cycles = 0;   // cycle rows of the simulation: j = 0 .. LAST POINT / 2
  double gamma_x = 0.0, gamma_y = 0.0;  // gyromagnetic ratios of XN, YN (1e7 rad/(s T))
  double dipolar_constant = 0.0;        // D r^3, Hz Angstrom^3
  double total_adjust_density = 0.0;    // prescribed share of the population

  GslVec distances;          // n_grid, Angstrom, NEAR + j GRAIN
  GslVec dipolar_couplings;  // n_grid, Hz
  GslVec cycles;             // n_data, rotor cycles N_c of each point
  GslVec data_s0, data_s;    // n_data, signal without and with dephasing
  GslVec measured;           // n_data, S/S0 as read
  GslVec data_error;         // n_data, error of S/S0
  GslVec ones_grid;          // n_grid ones (sums by dot product)
  GslVec ones_data;          // n_data ones
  GslVec adj_distances;      // n_adj, Angstrom
  GslVec adj_density;        // n_adj, fraction of the population
  GslVec smooth_adjust;      // n_cycles, S/S0 of the prescribed distribution alone
  GslVec fit_adjust;         // n_data, the same at the data points
  GslMat transform_cycles;   // n_cycles x n_grid: S/S0 of distance i at cycle index j
  GslMat transform_data;     // n_data x n_grid: the rows of the data points
  GslMat transform_adjust;   // n_cycles x n_adj: the same for the prescribed distances

  bool have_curve = false;             // the kernel comes from the universal curve
  bool write_traces = true;            // the solvers write their trace OUTPUT.sa (off in memory)
  DephasingCurve curve;                // that curve, up to the largest lambda_D needed
  PowderTables powder;                 // the powder average's tables (per_2pi 0: exact form)
  std::vector<DataPoint> data_points;  // as read, for the log
  PrescribedDist prescribed;           // as read, for the log

  std::string stem() const { return path + output_base; }

  // The powder-average fills of transform_adjust and transform_cycles, with
  // their progress lines; the cells are shared out over all threads, the
  // counter still counts the cycle rows in order.
  void fill_adjust_powder(PowderTables const& t, Report& rep);
  void fill_cycles_powder(PowderTables const& t, Report& rep);

  // REDOR kernel operations.
  int effective_last_point() const;
  double max_lambda_d() const;
  // The largest lambda_D a kernel look-up asks for: the largest cycle index
  // at the shortest distance of the grid or of the prescribed distribution.
  double needed_lambda_d() const;
  PowderTables powder_tables() const;
  double kernel_powder(PowderTables const& t, int j, double coupling) const;
  // S/S0 at cycle index j for one coupling (Hz) with the run's kernel: the
  // universal curve, the exact closed form (tables for PER 2PI 0) or the
  // powder average.
  double kernel_value(PowderTables const& t, int j, double coupling) const;

  // The fit as a solver sees it: the data-point kernel, the target curve of
  // the fitted share (data = the S/S0 to fit, n_data), the errors, the grid
  // and the run's kernel at any distance. The set-up must outlive the result.
  FitProblem fit_problem(gsl_vector const* data, double scaling) const;

  // The distance (Angstrom) beyond which even the longest dephasing time of
  // the data changes S/S0 by less than twice the median error.
  double longest_measurable_distance(double scaling) const;

 private:
  // The longest measurable distance is asked for by the assessment, the
  // summary, the figure and the advice, and costs hundreds of powder
  // averages: each SCALING's answer is kept. A copy starts empty, as the
  // copy's data may change.
  struct MeasurableMemo {
    std::mutex lock;
    std::vector<std::pair<double, double>> known;  // (SCALING, Angstrom)
    MeasurableMemo() = default;
    MeasurableMemo(MeasurableMemo const&) {}
    MeasurableMemo& operator=(MeasurableMemo const&) { return *this; }
  };
  mutable MeasurableMemo measurable_;
  double measurable_distance(double scaling) const;
  std::string problem_;
  void set_data(std::vector<DataPoint> const& pts);
  void set_prescribed(PrescribedDist const& d);
  void build_grid();
  std::string check_sizes() const;
  void fill_from_curve(Report& rep);
  void adjust_and_select(Report& rep);
};

// Interpolates S/S0 at lambda in the universal curve; ends the process with
// "input REDOR curve not long enough" when lambda lies beyond the curve.
double kernel_interpolate(DephasingCurve const& curve, double lambda);

// Number of grid distances for NEAR, FAR and GRAIN (quotient in extended
// precision, truncated, plus two). The caller makes sure the quotient is sane.
long grid_size(double near, double far, double grain);

#endif
