// The model state of one REDOR distance-distribution run.
//
// One primary Paar is built from the checked inputs; it owns every vector and
// matrix. The solvers work on copies: a copy owns the five vectors an
// evaluation changes (data, fit_to_data, residual, lagrange, distribution)
// and its own evaluation scratch, holds its own copy of the run's parameters,
// and points at the primary object's grid, data and matrices, which must
// outlive it and which it never changes.
#ifndef REDORDIST_MODEL_PAAR_H
#define REDORDIST_MODEL_PAAR_H

#include <array>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include <gsl/gsl_matrix.h>
#include <gsl/gsl_vector.h>

#include "input/curve_file.h"
#include "input/data_file.h"
#include "input/nuclei.h"
#include "input/run_inputs.h"
#include "model/fit_problem.h"
#include "numeric/fatal.h"

const double VERSION = 1.0;

// Sines of the powder average that do not depend on the coupling.
struct PowderTables {
  int per_2pi = 0;
  std::vector<double> sin_beta;     // sin(k*delta),   k < P/2
  std::vector<double> sin_2beta;    // sin(2*k*delta), k < P/2
  std::vector<double> sin_gamma;    // sin(m*delta + phi), m < P
};

// The parameters are a base so that the model reads as one object with the
// names of the parameter file (model.near, model.mas, ...).
class Paar : public RunParams {
 public:
  int n_grid = 0;
  int n_data = -1;
  double chi2 = 0.0;
  double gamma_x = 0.0;
  double gamma_y = 0.0;
  int n_adj = -1;
  int n_cycles = 0;
  gsl_vector* distribution = nullptr;
  gsl_vector* adj_density = nullptr;
  gsl_matrix* transform_data = nullptr;
  gsl_matrix* transform_cycles = nullptr;
  gsl_matrix* transform_adjust = nullptr;
  gsl_vector* smooth_fit = nullptr;
  double dipolar_constant = 0.0;  // Hz Angstrom^3
  gsl_vector* distances = nullptr;
  gsl_vector* adj_distances = nullptr;
  gsl_vector* dipolar_couplings = nullptr;
  gsl_vector* cycles = nullptr;
  gsl_vector* data_s = nullptr;
  gsl_vector* data_s0 = nullptr;
  gsl_vector* data = nullptr;
  gsl_vector* data_error = nullptr;
  gsl_vector* fit_to_data = nullptr;
  gsl_vector* residual = nullptr;
  gsl_vector* smooth_adjust = nullptr;
  gsl_vector* fit_adjust = nullptr;
  gsl_vector* lagrange = nullptr;
  // ln m_j of a default model m (maximum entropy with a default model:
  // P_j proportional to m_j exp(sum_i lambda_i K_ij)); none for the
  // annealing, whose distribution has m uniform. Shared by copies.
  gsl_vector* log_default_model = nullptr;
  // A fitted curve (before scaling) that the evaluation takes as it is
  // instead of computing it from multipliers: a parametric solver's
  // distribution stays as the solver left it. None for the other solvers.
  gsl_vector* given_fit = nullptr;
  double scaling = 0.0;
  double avgdev = 0.0;
  double total_adjust_density = 0.0;
  gsl_vector* mc_average = nullptr;
  gsl_vector* mc_average_err = nullptr;
  gsl_vector* mc_stdev = nullptr;
  gsl_vector* mc_stdev_err = nullptr;
  std::ofstream log;
  time_t timestamp = 0;
  // Mean, standard deviation, skewness and kurtosis (3 for a normal
  // distribution) of the distribution over distance (Angstrom) and over
  // dipolar coupling (Hz), as calc_dist_stats last found them.
  std::array<double, 4> distance_moments{}, coupling_moments{};
  // The spread over the Monte Carlo runs (or bootstrap replicates) of the
  // mean distance and of the distance sd, Angstrom (runs 0: none).
  struct McDistance {
    size_t runs = 0;
    double mean = 0.0, mean_sd = 0.0, sd = 0.0, sd_sd = 0.0;
  } mc_distance;

  // Set when an output file could not be written; the run then ends with
  // status 1 after everything else has been done.
  bool output_failed = false;

  // Builds the primary object from checked inputs without writing anything:
  // nuclei, grid, sizes, the universal curve if there is one, allocations.
  // May refuse (one line, status 1) a set-up too large to compute.
  explicit Paar(RunInputs const& in);
  Paar(Paar const& src);
  Paar& operator=(Paar const&) = delete;
  ~Paar();

  int copy_min(Paar const& other);
  // The annealing's cheap moves between its own copies, which share data:
  // take only the multipliers of other (an evaluation redoes the rest), or
  // exchange the whole evaluation state with other.
  void take_multipliers(Paar const& other);
  void swap_state(Paar& other);

  double calc_state();
  double calc_state_dataonly_nosim();
  int calc_dist_stats();

  // Share of the distribution on the first two and last two grid distances:
  // mass piled up there is usually not what the data say.
  double edge_share() const;
  // The distance (Angstrom) beyond which even the longest dephasing time of
  // the data changes S/S0 by less than twice the median error.
  double longest_measurable_distance() const;

  // The fit as a solver sees it: the data-point kernel, the target curve of
  // the fitted share, the errors, the grid and the run's kernel at any
  // distance. The primary object must outlive the result.
  FitProblem fit_problem() const;

  // ---- run set-up, once the run log is open ----
  // Logs the data, the prescribed distribution and the grid warning.
  void report_inputs();
  // Fills the transform matrices (with progress lines) and the curve of the
  // prescribed distribution.
  void build_transforms();

  // REDOR kernel operations.
  int effective_last_point() const;
  double max_lambda_d() const;
  PowderTables powder_tables() const;
  double kernel_powder(PowderTables const& t, int j, double coupling) const;
  // S/S0 at cycle index j for one coupling (Hz) with the run's kernel: the
  // universal curve, the exact closed form (tables for PER 2PI 0) or the
  // powder average.
  double kernel_value(PowderTables const& t, int j, double coupling) const;
  // Powder-average fills of transform_adjust and transform_cycles, with their
  // progress lines; the cells are shared out over all threads, the counter
  // still counts the cycle rows in order.
  void fill_adjust_powder(PowderTables const& t);
  void fill_cycles_powder(PowderTables const& t);

  // Evaluation scratch, one set per object so copies can evaluate in parallel.
  gsl_vector* scratch_exponent = nullptr;  // n_grid
  gsl_vector* scratch_weights = nullptr;   // n_grid
  gsl_vector* ones_grid = nullptr;         // n_grid
  gsl_vector* ones_data = nullptr;         // n_data
  gsl_vector* scratch_weighted = nullptr;  // n_data

  bool owner = false;  // true for the primary object, which owns shared parts
  std::string solver = "annealing";      // the method that made the distribution
  std::vector<std::string> figure_labels;  // what the figure says of the distribution
  bool have_curve = false;     // the kernel comes from the universal curve
  DephasingCurve curve;        // that curve, up to the largest lambda_D needed
  PowderTables powder;         // the powder average's tables (per_2pi 0: exact form)
  std::vector<DataPoint> data_points;  // as read, for the log
  PrescribedDist prescribed;           // as read, for the log

  std::string stem() const { return path + output_base; }

 private:
  void set_data(std::vector<DataPoint> const& pts);
  void set_prescribed(PrescribedDist const& d);
  void build_grid();
  void alloc_scratch();
  void check_sizes() const;
  void fill_from_curve();
  void adjust_and_select();
  void free_working();
};

// Interpolates S/S0 at lambda in the universal curve; ends the process with
// "input REDOR curve not long enough" when lambda lies beyond the curve.
double kernel_interpolate(DephasingCurve const& curve, double lambda);

// Number of grid distances for NEAR, FAR and GRAIN (quotient in extended
// precision, truncated, plus two). The caller makes sure the quotient is sane.
long grid_size(double near, double far, double grain);

#endif
