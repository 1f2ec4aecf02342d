// A solver's answer, handed back as a value: the distribution in the model's
// maximum-entropy form (multipliers and a default model), or a distribution
// the solver fixed itself with its own curve, and what the solver says of it.
#ifndef REDORDIST_MODEL_SOLVER_FIT_H
#define REDORDIST_MODEL_SOLVER_FIT_H

#include <any>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

struct SolverFit {
  bool ok = false;
  std::string failure;  // why there is no distribution, when !ok
  // P_j proportional to m_j exp(sum_i lambda_i K_ij): n_data multipliers and
  // ln m_j (n_grid; empty: m uniform).
  std::vector<double> multipliers;
  std::vector<double> log_default_model;
  // A parametric solver's distribution (n_grid) and its unscaled curve at
  // the data points (n_data); empty for the multiplier form.
  std::vector<double> distribution;
  std::vector<double> curve;
  nlohmann::json details;                  // for the summary's solver_details
  std::vector<std::string> figure_labels;  // what the figure says of the distribution
  std::vector<std::string> warnings;       // full "warning: ..." lines
  bool output_failed = false;              // a file the solver writes (its trace) failed
  std::any kept;                           // what the solver keeps for its uncertainty estimate
};

#endif
