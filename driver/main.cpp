// redordist: distance distributions from REDOR dephasing curves by maximum
// entropy. One run per parameter file; see README.md.
#include <cmath>
#include <cstring>
#include <iostream>
#include <string>

#include "driver/usage_text.h"
#include "input/run_inputs.h"
#include "input/text_lines.h"
#include "model/paar.h"
#include "numeric/interrupt.h"
#include "output/matrix_dump.h"
#include "output/plot_scripts.h"
#include "output/result_table.h"
#include "output/run_directory.h"
#include "output/run_log.h"
#include "solver/boltzmann_me.h"
#include "solver/bootstrap.h"
#include "solver/maxent_fit.h"
#include "solver/gaussian_run.h"
#include "output/gaussian_report.h"

#include <ctime>
#include <vector>
#include <gsl/gsl_errno.h>

namespace {

const char* const kUsage = "usage: redordist PARAMETER_FILE\n";

// A fit whose chi2, distribution or moments are not finite is no result.
bool results_finite(Paar& m) {
  bool ok = std::isfinite(m.chi2);
  for (int j = 0; j < m.n_grid; j++) ok = ok && std::isfinite(gsl_vector_get(m.distribution, j));
  for (double v : m.distance_moments) ok = ok && std::isfinite(v);
  for (double v : m.coupling_moments) ok = ok && std::isfinite(v);
  if (!ok) {
    std::cout << "error: the fit's chi2, distribution or moments are not finite numbers; "
                 "check the data and the grid\n";
    m.log << "error: the fit's chi2, distribution or moments are not finite numbers\n";
  }
  return ok;
}

void write_results(Paar& m) {
  if (!write_out(m)) std::cout << "write_out failed\n";
  if (!gnuplot_out(m)) std::cout << "gnuplot_out failed\n";
}

void say_lines(Paar& m, std::vector<std::string> const& lines) {
  for (std::string const& l : lines) {
    m.log << l << "\n";
    std::cout << l << "\n";
  }
}

// One to three Gaussians chosen by AIC, then in mode err their bootstrap.
int gaussians(Paar& model, bool& finite) {
  model.timestamp = std::time(nullptr);
  model.log << "Beginning Gaussian distance models: " << std::ctime(&model.timestamp) << "\n";
  std::cout << "Beginning Gaussian distance models:\n";
  FitProblem fp = gaussian_problem(model);
  MixtureSelection sel = gaussian_fit(model, fp);
  say_lines(model, gaussian_report_lines(sel, model.near, model.far));
  if (sel.chosen < 0) return kMcDone;
  model.calc_dist_stats();
  finite = results_finite(model);
  if (model.mode != "err" || !finite || interrupt_signal() != 0) return kMcDone;
  std::vector<ReplicateResult> accepted;
  // The fits switch GSL's aborting error handler off while they run; with
  // replicates on several threads it stays off for the whole bootstrap.
  gsl_error_handler_t* old = gsl_set_error_handler_off();
  int mc = parametric_bootstrap(model, gaussian_replicate_solver(model, fp), write_results,
                                &accepted);
  gsl_set_error_handler(old);
  say_lines(model, gaussian_bootstrap_lines(mixture_spread(sel, accepted)));
  return mc;
}

// The fit by the chosen solver, then in mode err its uncertainty estimate.
// Returns a McStatus; finite is false when the fit came out non-finite.
int fit_and_estimate(Paar& model, std::string const& solver, bool& finite) {
  int mc = kMcDone;
  if (solver == "annealing") {
    BoltzmannME bme(model);
    bme.Lagrange_siman(model);
    if (!model.calc_dist_stats()) std::cout << "stats calc failed\n";
    finite = results_finite(model);
    if (model.mode == "err" && finite && interrupt_signal() == 0) {
      bme.write_results = write_results;
      mc = bme.MC_error(model);
    }
  } else if (solver == "maxent") {
    MaxentResult fit = maxent_fit(model);
    if (!fit.ok) return kMcDone;
    model.calc_dist_stats();
    finite = results_finite(model);
    if (model.mode == "err" && finite && interrupt_signal() == 0)
      mc = parametric_bootstrap(model, maxent_replicate_solver(model, fit), write_results, nullptr);
  } else if (solver == "gaussians") {
    mc = gaussians(model, finite);
  }
  return mc;
}

// The solver of the mode, then the result table and the plot scripts.
int run_mode(Paar& model, std::string const& solver) {
  int mc = kMcDone;
  bool finite = true;
  if (model.mode == "fit" || model.mode == "err") mc = fit_and_estimate(model, solver, finite);
  bool failed = model.output_failed || !finite || (mc != kMcDone && mc != kMcInterrupted);
  if (!write_out(model)) {
    std::cout << "write_out failed\n";
    failed = true;
  }
  if (!gnuplot_out(model)) {
    std::cout << "gnuplot_out failed\n";
    failed = true;
  }
  if (interrupt_signal() != 0) {
    std::string msg = std::string("Run interrupted by ") + interrupt_signal_name() +
                      ": the results so far are written\n";
    model.log << msg;
    std::cout << msg;
    std::cout.flush();
    return 128 + interrupt_signal();
  }
  std::cout.flush();
  return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string solver = "annealing";
  int arg = 1;
  if (argc >= 2 && std::strcmp(argv[1], "--solver") == 0) {
    if (argc < 3) {
      std::cout << "--solver needs a name: annealing, maxent or gaussians\n";
      return 1;
    }
    solver = argv[2];
    arg = 3;
    if (solver != "annealing" && solver != "maxent" && solver != "gaussians") {
      std::cout << "unknown solver \"" << printable(solver)
                << "\"; choose annealing, maxent or gaussians\n";
      return 1;
    }
  }
  if (argc <= arg) {
    std::cout << kUsage;
    return 1;
  }
  if (std::strcmp(argv[arg], "--help") == 0) {
    print_help(std::cout);
    return 0;
  }
  if (std::strcmp(argv[arg], "--template") == 0) {
    print_template(std::cout);
    return 0;
  }
  if (std::strcmp(argv[arg], "--version") == 0) {
    std::cout << "redordist 1\n";
    return 0;
  }

  install_interrupt_handlers();
  // Everything is read and checked before the run directory is touched.
  RunInputs inputs = read_run_inputs(argv[arg]);
  Paar model(inputs);
  model.solver = solver;
  open_run_directory(model, argv[arg]);
  write_log_head(model);
  model.report_inputs();
  model.build_transforms();
  write_matrix_dumps(model);
  return run_mode(model, solver);
}
