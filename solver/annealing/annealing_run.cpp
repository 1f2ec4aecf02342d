#include "solver/annealing/annealing_run.h"

#include "solver/annealing/boltzmann_me.h"

SolverFit annealing_fit(Paar const& model) {
  Paar work(model);
  BoltzmannME bme(work);
  bme.Lagrange_siman(work);
  SolverFit fit;
  fit.ok = true;
  fit.output_failed = work.results.output_failed;  // the trace could not be written
  for (int i = 0; i < model.setup->n_data; i++) fit.multipliers.push_back(gsl_vector_get(work.lagrange, i));
  return fit;
}

McStatus annealing_estimate(Paar& model, SolverFit& /*fit*/,
                            std::function<void(Paar&)> const& write_results) {
  BoltzmannME bme(model);
  bme.write_results = write_results;
  return bme.MC_error(model);
}
