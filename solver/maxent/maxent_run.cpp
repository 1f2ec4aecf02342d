#include "solver/maxent/maxent_run.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "solver/uncertainty/bootstrap.h"

namespace {

bool write_trace(Paar const& model, MaxentResult const& r) {
  std::string name = model.stem() + ".sa";
  std::FILE* f = std::fopen(name.c_str(), "w");
  bool ok = f != nullptr;
  if (f) {
    std::fprintf(f, "# maximum entropy: one row per solve at one alpha\n");
    std::fprintf(f, "#%15s %15s %15s %15s %7s\n", "alpha", "G", "-2alphaS", "chi2", "newton");
    for (MaxentStep const& s : r.steps)
      std::fprintf(f, "%16.9e %15.8g %15.8g %15.8g %7d\n", s.alpha, s.G, s.minus_two_alpha_s, s.chi2,
                   s.newton);
    ok = std::ferror(f) == 0;
    if (std::fclose(f) != 0) ok = false;
  }
  if (!ok) model.report().out() << "could not write the solver trace " << name << std::endl;
  return ok;
}

// The fit's lines, with chi2 as the model evaluates the adopted fit.
void report(Paar const& model, SolverFit const& fit, MaxentResult const& r) {
  Paar adopted(model);
  adopted.adopt(fit);
  char b[320];
  std::snprintf(b, sizeof b,
                "ALPHA   %g\nG       %g (measurements the data determine)\nCHI2   %g\n"
                "CHI2 PER POINT %g\nENTROPY %g\n",
                r.alpha, r.G, adopted.chi2, adopted.chi2 / model.setup->n_data, r.entropy);
  model.report().both(b);
}

}  // namespace

SolverFit maxent_fit(Paar const& model) {
  model.report().log() << "Beginning maximum entropy (Bayesian choice of alpha): " << clock_text()
                       << "\n";
  model.report().out() << "Beginning maximum entropy (Bayesian choice of alpha):\n";
  FitProblem fp = model.fit_problem();
  std::vector<double> m = tapered_uniform_model(fp.distance, kDefaultModelTaper);
  MaxentResult r = solve_maxent(fp, m, MaxentOptions());
  SolverFit fit;
  fit.output_failed = model.setup->write_traces && !write_trace(model, r);
  if (!r.ok) {
    fit.failure = r.failure;
    model.report().both("maximum entropy failed: " + r.failure + "\n");
    return fit;
  }
  fit.ok = true;
  fit.multipliers = r.multipliers;
  fit.log_default_model = log_model_for_evaluation(fp, m, r.multipliers);
  fit.warnings = r.warnings;
  fit.details = {{"alpha", r.alpha}, {"G", r.G}, {"entropy", r.entropy},
                 {"default_model_taper_angstrom", kDefaultModelTaper}};
  report(model, fit, r);
  fit.kept = r;
  return fit;
}

McStatus maxent_estimate(Paar& model, SolverFit& fit,
                         std::function<void(Paar&)> const& write_results) {
  MaxentResult const& r = std::any_cast<MaxentResult const&>(fit.kept);
  std::vector<double> m = tapered_uniform_model(model.fit_problem().distance, kDefaultModelTaper);
  MaxentOptions opt;
  opt.alpha_start = r.alpha;
  std::vector<double> warm = r.multipliers;
  ReplicateSolver solve = [m, opt, warm](FitProblem const& fp) {
    MaxentResult rr = solve_maxent(fp, m, opt, &warm);
    ReplicateResult out;
    out.ok = rr.ok;
    out.chi2 = rr.chi2;
    out.distribution = rr.p;
    out.extra = {rr.alpha, rr.G};
    return out;
  };
  return parametric_bootstrap(model, solve, write_results, nullptr);
}
