#include "driver/solve_and_assess.h"

#include <memory>

#include "assessment/assess.h"
#include "assessment/assessment_basis.h"

namespace {

// The fit in mode fit runs on one core for the annealing and maxent (the
// Gaussians' starts run side by side); with SCALING fitted, the SCALING to
// judge at is known only after the fit.
bool basis_beside_fit(std::string const& solver, bool fit_scaling) {
  return !fit_scaling && (solver == "annealing" || solver == "maxent");
}

}  // namespace

SolveOutcome solve_and_assess(Paar& model, std::string const& solver, void (*write_results)(Paar&),
                              bool fit_scaling, RunSummary& summary) {
  std::shared_ptr<AssessmentBasis const> basis;
  if (basis_beside_fit(solver, fit_scaling)) basis = start_assessment_basis(model.setup, model.fit_problem());
  SolveOutcome o = solve(model, solver, write_results, fit_scaling);
  summary.fitted = o.fitted && o.finite;
  summary.solver_details = model.results.details;
  if (summary.fitted) {
    summary.assessment = assess(model, basis);
    summary.diagnostics = report_diagnostics(model, summary.assessment);
  }
  return o;
}
