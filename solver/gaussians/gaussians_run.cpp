#include "solver/gaussians/gaussians_run.h"

#include <cmath>
#include <memory>

#include <gsl/gsl_errno.h>

#include "solver/gaussians/gaussian_mixture.h"

FitProblem gaussian_problem(Paar const& model) {
  FitProblem fp = model.fit_problem();
  // The sub-grid is fixed by NEAR and FAR: the mixture computes the kernel
  // there once, and it is kept.
  GaussianMixture gm(fp, model.near, model.far);
  FineKernel cache = gm.fine_kernel();
  auto where = std::make_shared<std::vector<double>>(gm.fine_centres());
  auto compute = fp.kernel_at;
  fp.kernel_at = [cache, where, compute](std::vector<double> const& r, std::vector<double>& out) {
    if (r == *where)
      out = *cache;
    else
      compute(r, out);
  };
  return fp;
}

MixtureSelection gaussian_fit(Paar& model, FitProblem const& fp) {
  MixtureSelection sel = fit_gaussian_mixtures(fp, model.near, model.far);
  if (sel.chosen < 0) {
    model.output_failed = true;
    return sel;
  }
  for (int j = 0; j < model.n_grid; j++) gsl_vector_set(model.distribution, j, sel.grid_mass[j]);
  // The model keeps the mixture's own curve (from the sub-grid), before the
  // scaling that the evaluation applies.
  if (!model.given_fit) model.given_fit = gsl_vector_alloc(model.n_data);
  std::vector<double> plain;
  fitted_curve(fp, sel.grid_mass, plain);
  for (int i = 0; i < model.n_data; i++) {
    double s = model.scaling;
    double v = s > 0 ? (sel.curve[i] - 1.0 + s) / s : (plain[i] - 1.0 + s);
    gsl_vector_set(model.given_fit, i, v);
  }
  model.calc_state_dataonly_nosim();
  return sel;
}

ReplicateSolver gaussian_replicate_solver(Paar const& model, FitProblem const& fp) {
  double near = model.near, far = model.far;
  // One sub-grid kernel for the whole bootstrap: a replicate changes only the
  // target, and every thread reads the same values.
  FineKernel kernel = GaussianMixture(fp, near, far).fine_kernel();
  return [near, far, kernel](FitProblem const& rep) {
    MixtureSelection sel = fit_gaussian_mixtures(rep, near, far, MixtureOptions{}, kernel);
    ReplicateResult out;
    out.ok = sel.chosen >= 0;
    if (!out.ok) return out;
    MixtureFit const& c = sel.fits[sel.chosen];
    out.chi2 = c.chi2;
    out.distribution = sel.grid_mass;
    out.extra.push_back(c.k);
    for (GaussComponent const& g : c.comp) out.extra.insert(out.extra.end(), {g.weight, g.centre, g.width});
    return out;
  };
}

MixtureSpread mixture_spread(MixtureSelection const& fit,
                             std::vector<ReplicateResult> const& accepted) {
  MixtureSpread s;
  s.chosen_k.assign(3, 0);
  int k = fit.chosen >= 0 ? fit.fits[fit.chosen].k : 0;
  std::vector<std::vector<double>> same;
  for (ReplicateResult const& r : accepted) {
    int rk = static_cast<int>(r.extra[0]);
    s.replicates++;
    if (rk >= 1 && rk <= 3) s.chosen_k[rk - 1]++;
    if (rk == k) same.push_back(r.extra);
  }
  s.same_k = static_cast<int>(same.size());
  s.mean.assign(k, GaussComponent());
  s.sd.assign(k, GaussComponent());
  if (same.empty()) return s;
  for (int c = 0; c < k; c++) {
    double* m[3] = {&s.mean[c].weight, &s.mean[c].centre, &s.mean[c].width};
    double* d[3] = {&s.sd[c].weight, &s.sd[c].centre, &s.sd[c].width};
    for (int q = 0; q < 3; q++) {
      double sum = 0.0, sum2 = 0.0;
      for (auto const& e : same) sum += e[1 + 3 * c + q];
      double mean = sum / same.size();
      for (auto const& e : same) sum2 += (e[1 + 3 * c + q] - mean) * (e[1 + 3 * c + q] - mean);
      *m[q] = mean;
      *d[q] = same.size() > 1 ? std::sqrt(sum2 / (same.size() - 1)) : 0.0;
    }
  }
  return s;
}
