// The model state of one REDOR distance-distribution run.
//
// One primary Paar is built from a parameter file; it owns every vector and
// matrix. The solver works on copies: a copy owns only the five vectors an
// evaluation changes (data, fit_to_data, residual, lagrange, distribution)
// plus its own evaluation scratch, and shares everything else with its source.
#ifndef REDORDIST_MODEL_PAAR_H
#define REDORDIST_MODEL_PAAR_H

#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include <gsl/gsl_matrix.h>
#include <gsl/gsl_vector.h>

// Gyromagnetic ratios in 10^7 rad s^-1 T^-1, hbar in 10^-34 J s.
const double gC = 6.7283;
const double gN = 2.712;
const double gD = 4.1066;
const double gF = 25.181;
const double gP = 10.841;
const double gH = 26.7522205;
const double hbar = 1.05457168;
const double pi = 3.14159265359;
const double pi2 = 6.28318530718;
const double VERSION = 1.0;

// Tabulated universal dephasing curve: S/S0 against lambda_D.
struct DephasingCurve {
  std::vector<double> lambda;
  std::vector<double> signal;
};

// Sines of the powder average that do not depend on the coupling.
struct PowderTables {
  int per_2pi = 0;
  std::vector<double> sin_beta;     // sin(k*delta),   k < P/2
  std::vector<double> sin_2beta;    // sin(2*k*delta), k < P/2
  std::vector<double> sin_gamma;    // sin(m*delta + phi), m < P
};

class Paar {
 public:
  int n_grid = 0;
  int n_data = -1;
  double chi2 = 0.0;
  std::string mode;
  std::string detect_nucleus;
  std::string dephase_nucleus;
  double gamma_x = 0.0;
  double gamma_y = 0.0;
  double near = 0.0;
  double far = 0.0;
  double grain = 0.0;
  int per_2pi = 0;
  double mid_pulse = 0.0;
  double mas = 0.0;
  int n_adj = -1;
  int n_cycles = 0;
  gsl_vector* distribution = nullptr;
  gsl_vector* adj_density = nullptr;
  gsl_matrix* transform_data = nullptr;
  gsl_matrix* transform_cycles = nullptr;
  gsl_matrix* transform_adjust = nullptr;
  gsl_vector* smooth_fit = nullptr;
  double dipolar_constant = 0.0;
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
  double scaling = 0.0;
  double scaling_a = 0.0;
  double scaling_b = 0.0;
  int last_point = 0;
  double avgdev = 0.0;
  double total_adjust_density = 0.0;
  gsl_vector* mc_average = nullptr;
  gsl_vector* mc_average_err = nullptr;
  gsl_vector* mc_stdev = nullptr;
  gsl_vector* mc_stdev_err = nullptr;
  std::string xydata_file;
  std::string distdist_file;
  std::string output_base;
  char buf[320] = {0};
  std::string lambda_d_file;
  std::ofstream log;
  std::string line;
  std::string path;
  int ntries = 0;
  int err_iters_at_temp = 0;
  int per_mc_block = 0;
  int max_mc_blocks = 0;
  double err_max_step_size = 0.0;
  double err_boltzmann = 0.0;
  double err_init_temp = 0.0;
  double err_atten_temp = 0.0;
  double err_min_temp = 0.0;
  double min_stdev2 = 0.0;
  double max_mc_chi2 = 0.0;
  time_t timestamp = 0;
  gsl_vector* iters_at_temp = nullptr;
  gsl_vector* init_temp = nullptr;
  gsl_vector* atten_temp = nullptr;
  gsl_vector* boltzmann = nullptr;
  gsl_vector* max_step_size = nullptr;
  gsl_vector* min_temp = nullptr;

  // Set when an output file could not be written; the run then ends with
  // status 1 after everything else has been done.
  bool output_failed = false;

  // Builds the primary object from a parameter file (all input work).
  explicit Paar(char const* param_file);
  Paar(Paar const& src);
  Paar& operator=(Paar const&) = delete;
  ~Paar();

  int copy_min(Paar const& other);
  // The annealing's cheap moves between its own copies, which share data:
  // take only the multipliers of other (an evaluation redoes the rest), or
  // exchange the whole evaluation state with other.
  void take_multipliers(Paar const& other);
  void swap_state(Paar& other);
  void copy_max(Paar const& other);
  void set_lagrange(int i, double value);

  double calc_state();
  double calc_state_dataonly_nosim();
  // The same evaluation done wholly through the GSL BLAS calls; the
  // reference that calc_state_dataonly_nosim must match bit for bit.
  double calc_state_dataonly_nosim_gsl();
  int calc_dist_stats();
  int write_out();
  int gnuplot_out();

  // ---- construction steps (each may end the process with a message) ----
  // An empty object for tests: no file is read, nothing is owned yet.
  struct Blank {};
  explicit Paar(Blank);
  void read_params(char const* param_file);
  void check_params(char const* param_file);
  void lookup_nuclei();
  void setup_run_dir(char const* param_file);
  void write_log_head();
  void read_data();
  void set_sim_grid();
  void read_prescribed();
  void build_grid();
  void build_transforms();

  // REDOR kernel operations.
  int effective_last_point() const;
  double max_lambda_d();
  DephasingCurve read_dephasing_curve(std::istream& in, double lambda_max) const;
  PowderTables powder_tables() const;
  double kernel_powder(PowderTables const& t, int j, double coupling) const;
  // Powder-average fills of transform_adjust and transform_cycles, with their
  // progress lines; the cells are shared out over all threads, the counter
  // still counts the cycle rows in order.
  void fill_adjust_powder(PowderTables const& t);
  void fill_cycles_powder(PowderTables const& t);

  // Allocates the five working vectors and the evaluation scratch once
  // n_data and n_grid are known (primary object).
  void alloc_scratch();

  // Evaluation scratch, one set per object so copies can evaluate in parallel.
  gsl_vector* scratch_exponent = nullptr;  // n_grid
  gsl_vector* scratch_weights = nullptr;   // n_grid
  gsl_vector* ones_grid = nullptr;         // n_grid
  gsl_vector* ones_data = nullptr;         // n_data
  gsl_vector* scratch_weighted = nullptr;  // n_data

  bool owner = false;  // true for the primary object, which owns shared parts

  std::string stem() const { return path + output_base; }

 private:
  void free_working();
};

// Interpolates S/S0 at lambda in the universal curve; ends the process with
// "input REDOR curve not long enough" when lambda lies beyond the curve.
double kernel_interpolate(DephasingCurve const& curve, double lambda);

// Number of grid distances for NEAR, FAR and GRAIN (quotient in extended
// precision, truncated, plus two). The caller makes sure the quotient is sane.
long grid_size(double near, double far, double grain);

// Ends the process at once after printing msg on standard output.
[[noreturn]] void fatal_exit(std::string const& msg, int status = 1);

// For test harnesses (fuzzers) that must survive a refusal: when set, called
// instead of ending the process; it must not return (it may throw).
using FatalHandler = void (*)(std::string const& msg, int status);
extern FatalHandler fatal_handler;

#endif
