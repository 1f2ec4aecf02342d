#include "solver/maxent/maxent_run.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <string>

#include "numeric/warnings.h"

namespace {

void write_trace(Paar& model, MaxentResult const& r) {
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
  if (!ok) {
    std::cout << "could not write the solver trace " << name << std::endl;
    model.output_failed = true;
  }
}

void report(Paar& model, MaxentResult const& r) {
  char b[320];
  std::snprintf(b, sizeof b,
                "ALPHA   %g\nG       %g (measurements the data determine)\nCHI2   %g\n"
                "CHI2 PER POINT %g\nENTROPY %g\n",
                r.alpha, r.G, model.chi2, model.chi2 / model.n_data, r.entropy);
  model.log << b;
  std::cout << b;
  for (std::string const& w : r.warnings) {
    warn(w);  // standard output, and the summary's list
    model.log << w << "\n";
  }
}

// The default model in the model's evaluation: ln m_j beside the multipliers.
void set_default_model(Paar& model, std::vector<double> const& log_m) {
  if (!model.log_default_model) model.log_default_model = gsl_vector_alloc(model.n_grid);
  for (int j = 0; j < model.n_grid; j++) gsl_vector_set(model.log_default_model, j, log_m[j]);
}

}  // namespace

MaxentResult maxent_fit(Paar& model) {
  model.timestamp = std::time(nullptr);
  model.log << "Beginning maximum entropy (Bayesian choice of alpha): "
            << std::ctime(&model.timestamp) << "\n";
  std::cout << "Beginning maximum entropy (Bayesian choice of alpha):\n";
  FitProblem fp = model.fit_problem();
  std::vector<double> m = tapered_uniform_model(fp.distance, kDefaultModelTaper);
  MaxentResult r = solve_maxent(fp, m, MaxentOptions());
  write_trace(model, r);
  if (!r.ok) {
    std::string msg = "maximum entropy failed: " + r.failure + "\n";
    model.log << msg;
    std::cout << msg;
    model.output_failed = true;
    return r;
  }
  set_default_model(model, log_model_for_evaluation(fp, m, r.multipliers));
  for (int i = 0; i < model.n_data; i++) gsl_vector_set(model.lagrange, i, r.multipliers[i]);
  model.calc_state_dataonly_nosim();
  report(model, r);
  return r;
}

ReplicateSolver maxent_replicate_solver(Paar const& model, MaxentResult const& fit) {
  std::vector<double> m = tapered_uniform_model(model.fit_problem().distance, kDefaultModelTaper);
  MaxentOptions opt;
  opt.alpha_start = fit.alpha;
  std::vector<double> warm = fit.multipliers;
  return [m, opt, warm](FitProblem const& fp) {
    MaxentResult r = solve_maxent(fp, m, opt, &warm);
    ReplicateResult out;
    out.ok = r.ok;
    out.chi2 = r.chi2;
    out.distribution = r.p;
    out.extra = {r.alpha, r.G};
    return out;
  };
}
