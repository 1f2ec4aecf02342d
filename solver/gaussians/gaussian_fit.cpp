// Fits of 1-3 truncated Gaussians with GSL's nonlinear least squares (trust
// region, Levenberg-Marquardt, analytic Jacobian). Each k starts from a small
// fixed set of mixtures: every start gets a few screening iterations, the best
// few are carried on to convergence. Starts for k + 1 grow out of the best k fit.
#include "solver/gaussians/gaussian_fit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <utility>

#include <gsl/gsl_errno.h>
#include <gsl/gsl_multifit_nlinear.h>

#include "model/gaussian_mixture.h"

namespace {

// A fitted width within this much of kWidthFloor (Angstrom) counts as at the
// floor: the logistic approaches its bound only slowly, so a fit that wants an
// infinitely narrow line stops a little above it.
constexpr double kFloorMargin = 0.005;
// Screening and polishing tolerances on the step and gradient; chi2 is only
// compared between starts, so 1e-10 relative is far below any difference that matters.
constexpr double kTol = 1e-10;
// chi2 gain over five steps below which a fit counts as converged: AIC
// differences that matter are of order 1, and recovered parameters move by
// far less than their errors once chi2 is this flat.
constexpr double kStall = 1e-9;

struct Candidate {
  std::vector<double> theta;
  double chi2 = std::numeric_limits<double>::infinity();
};

struct Context {
  GaussianMixture const* gm;
  int k;
  std::vector<double> jac;
  EdgeCdfs cdfs;  // of the last residuals, for the Jacobian at the same point
};

int residual_cb(gsl_vector const* x, void* params, gsl_vector* f) {
  auto* c = static_cast<Context*>(params);
  c->gm->residuals(x->data, c->k, f->data, &c->cdfs);
  return GSL_SUCCESS;
}

int jacobian_cb(gsl_vector const* x, void* params, gsl_matrix* J) {
  auto* c = static_cast<Context*>(params);
  c->gm->jacobian(x->data, c->k, c->jac.data(), &c->cdfs);
  for (size_t i = 0; i < J->size1; i++)
    for (size_t j = 0; j < J->size2; j++) gsl_matrix_set(J, i, j, c->jac[i * J->size2 + j]);
  return GSL_SUCCESS;
}


// One multifit workspace for k components, reused by every start.
class Solver {
 public:
  Solver(GaussianMixture const& gm, int k) : ctx_{&gm, k, {}, {}} {
    size_t n = gm.problem().n_data, p = GaussianMixture::n_params(k);
    ctx_.jac.resize(n * p);
    fdf_.f = residual_cb;
    fdf_.df = jacobian_cb;
    fdf_.fvv = nullptr;
    fdf_.n = n;
    fdf_.p = p;
    fdf_.params = &ctx_;
    gsl_multifit_nlinear_parameters par = gsl_multifit_nlinear_default_parameters();
    par.trs = gsl_multifit_nlinear_trs_lm;
    w_ = gsl_multifit_nlinear_alloc(gsl_multifit_nlinear_trust, &par, n, p);
    x0_ = gsl_vector_alloc(p);
  }
  ~Solver() {
    gsl_multifit_nlinear_free(w_);
    gsl_vector_free(x0_);
  }
  Solver(Solver const&) = delete;
  Solver& operator=(Solver const&) = delete;

  Candidate run(std::vector<double> const& theta, int max_iter) {
    for (size_t j = 0; j < theta.size(); j++) gsl_vector_set(x0_, j, theta[j]);
    Candidate out;
    out.theta = theta;
    if (gsl_multifit_nlinear_init(x0_, &fdf_, w_) != GSL_SUCCESS) return out;
    // GSL's driver has no test on chi2 itself, and an over-parametrised
    // mixture creeps along flat valleys for hundreds of steps: stop also
    // when five steps gain less than kStall.
    double c2 = chi2(), before = c2;
    for (int it = 1; it <= max_iter; it++) {
      if (gsl_multifit_nlinear_iterate(w_) != GSL_SUCCESS) break;
      int info = 0;
      if (gsl_multifit_nlinear_test(kTol, kTol, 0.0, &info, w_) == GSL_SUCCESS) break;
      if (it % 5 == 0) {
        c2 = chi2();
        if (before - c2 <= kStall * (1.0 + c2)) break;
        before = c2;
      }
    }
    c2 = chi2();
    if (!std::isfinite(c2)) return out;
    gsl_vector const* x = gsl_multifit_nlinear_position(w_);
    for (size_t j = 0; j < theta.size(); j++) out.theta[j] = gsl_vector_get(x, j);
    out.chi2 = c2;
    return out;
  }

 private:
  double chi2() const {
    gsl_vector const* f = gsl_multifit_nlinear_residual(w_);
    double c2 = 0.0;
    for (size_t i = 0; i < f->size; i++) c2 += gsl_vector_get(f, i) * gsl_vector_get(f, i);
    return c2;
  }
  Context ctx_;
  gsl_multifit_nlinear_fdf fdf_{};
  gsl_multifit_nlinear_workspace* w_;
  gsl_vector* x0_;
};

// Screen every start briefly, converge the best few, keep the lowest chi2
// (ties to the earlier start, so the result does not depend on sort details).
// Each run starts afresh (gsl_multifit_nlinear_init resets the trust region),
// so the starts go to the threads, each with a workspace of its own: the
// same results for any thread count.
std::vector<Candidate> run_each(GaussianMixture const& gm, int k, std::vector<std::vector<double>> const& thetas,
                                int max_iter) {
  std::vector<Candidate> out(thetas.size());
  int n = static_cast<int>(thetas.size());
#pragma omp parallel if (n > 1)
  {
    Solver solver(gm, k);
#pragma omp for schedule(dynamic, 1)
    for (int i = 0; i < n; i++) out[static_cast<size_t>(i)] = solver.run(thetas[static_cast<size_t>(i)], max_iter);
  }
  return out;
}

Candidate best_fit(GaussianMixture const& gm, int k, std::vector<MixtureShape> const& starts,
                   MixtureOptions const& opt) {
  std::vector<std::vector<double>> thetas;
  for (MixtureShape const& s : starts) thetas.push_back(gm.encode(s));
  std::vector<Candidate> screened = run_each(gm, k, thetas, opt.screen_iterations);
  std::vector<size_t> order(screened.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return screened[a].chi2 < screened[b].chi2; });
  size_t n = std::min(order.size(), static_cast<size_t>(std::max(1, opt.polish_starts)));
  std::vector<std::vector<double>> carried;
  for (size_t i = 0; i < n; i++) carried.push_back(screened[order[i]].theta);
  Candidate best;
  for (Candidate& c : run_each(gm, k, carried, opt.polish_iterations))
    if (c.chi2 < best.chi2 || best.theta.empty()) best = std::move(c);
  return best;
}

// Start mixtures. Widths are kept off their bounds, where the transform's
// slope vanishes and the solver could not move them.
struct Starts {
  double near, far, wmax;
  double width(double w) const { return std::min(std::max(w, 1.5 * kWidthFloor), 0.9 * wmax); }
  double centre(double c) const {
    double pad = 0.01 * (far - near);
    return std::min(std::max(c, near + pad), far - pad);
  }
  double spread(int i, int n) const { return near + (far - near) * (i + 0.5) / n; }

  std::vector<MixtureShape> one() const {
    std::vector<MixtureShape> out;
    for (int i = 0; i < 6; i++)
      for (double w : {0.05, 0.2, 0.5}) out.push_back({{1.0}, {spread(i, 6)}, {width(w)}});
    return out;
  }
  std::vector<MixtureShape> two(MixtureShape const& b) const {
    std::vector<MixtureShape> out;
    double mu = b.centre[0], d = std::max(b.width[0], 0.1), w = width(0.5 * b.width[0]);
    for (double a : {0.5, 0.7, 0.3}) out.push_back({{a, 1.0 - a}, {centre(mu - d), centre(mu + d)}, {w, w}});
    for (int i = 0; i < 5; i++)
      for (int j = i + 1; j < 5; j++)
        out.push_back({{0.5, 0.5}, {spread(i, 5), spread(j, 5)}, {width(0.2), width(0.2)}});
    return out;
  }
  std::vector<MixtureShape> three(MixtureShape const& b) const {
    std::vector<MixtureShape> out;
    for (int i = 0; i < 5; i++) {
      MixtureShape s = b;
      for (double& x : s.weight) x *= 0.8;
      s.weight.push_back(0.2);
      s.centre.push_back(spread(i, 5));
      s.width.push_back(width(0.2));
      out.push_back(s);
    }
    for (int c = 0; c < 2; c++) {  // split one of the two components
      MixtureShape s = b;
      double mu = b.centre[c], d = std::max(b.width[c], 0.1);
      s.weight[c] *= 0.5;
      s.centre[c] = centre(mu - d);
      s.width[c] = width(0.5 * b.width[c]);
      s.weight.push_back(s.weight[c]);
      s.centre.push_back(centre(mu + d));
      s.width.push_back(s.width[c]);
      out.push_back(s);
    }
    return out;
  }
};

MixtureFit describe(GaussianMixture const& gm, int k, Candidate const& c) {
  MixtureFit fit;
  fit.k = k;
  fit.ok = std::isfinite(c.chi2);
  MixtureShape m = gm.decode(c.theta.data(), k);
  for (int i = 0; i < k; i++)
    fit.comp.push_back({m.weight[i], m.centre[i], m.width[i], m.width[i] < kWidthFloor + kFloorMargin});
  std::stable_sort(fit.comp.begin(), fit.comp.end(),
                   [](GaussComponent const& a, GaussComponent const& b) { return a.centre < b.centre; });
  fit.chi2 = c.chi2;
  fit.aic = c.chi2 + 2.0 * GaussianMixture::n_params(k);
  return fit;
}

// A component the data do not need: the fit with one fewer, started from
// the chosen mixture without that component, whose AIC is no worse (its
// chi2 rises by less than the 2 x 3 parameters it saves), replaces the fit
// with one fewer and is chosen. The k - 1 fit from its own starts can miss
// that minimum.
void drop_idle_components(GaussianMixture const& gm, MixtureOptions const& opt, MixtureSelection& sel,
                          std::vector<Candidate>& best) {
  while (sel.chosen > 0) {
    int k = sel.fits[sel.chosen].k;
    MixtureShape m = gm.decode(best[sel.chosen].theta.data(), k);
    std::vector<MixtureShape> starts;
    for (int c = 0; c < k; c++) {
      MixtureShape s;
      for (int i = 0; i < k; i++)
        if (i != c) s.weight.push_back(m.weight[i] / (1.0 - m.weight[c] + 1e-300)), s.centre.push_back(m.centre[i]),
                    s.width.push_back(m.width[i]);
      starts.push_back(s);
    }
    Candidate fewer = best_fit(gm, k - 1, starts, opt);
    MixtureFit f = describe(gm, k - 1, fewer);
    if (!f.ok || f.aic > sel.fits[sel.chosen].aic) return;
    if (!sel.fits[sel.chosen - 1].ok || f.chi2 < sel.fits[sel.chosen - 1].chi2)
      sel.fits[sel.chosen - 1] = f, best[sel.chosen - 1] = fewer;
    sel.chosen--;
  }
}

}  // namespace

MixtureSelection fit_gaussian_mixtures(FitProblem const& fp, double near, double far,
                                       MixtureOptions const& opt, FineKernel kernel) {
  GaussianMixture gm(fp, near, far, std::move(kernel));
  Starts starts{near, far, gm.width_max()};
  MixtureSelection sel;
  std::vector<Candidate> best;
  int kmax = std::min(std::max(opt.max_components, 1), 3);
  for (int k = 1; k <= kmax; k++) {
    if (GaussianMixture::n_params(k) > fp.n_data || (k > 1 && !sel.fits.back().ok)) {
      sel.fits.push_back(MixtureFit{k, {}, 0.0, 0.0, false});
      best.emplace_back();
      continue;
    }
    std::vector<MixtureShape> s;
    if (k == 1) s = starts.one();
    if (k == 2) s = starts.two(gm.decode(best[0].theta.data(), 1));
    if (k == 3) s = starts.three(gm.decode(best[1].theta.data(), 2));
    best.push_back(best_fit(gm, k, s, opt));
    sel.fits.push_back(describe(gm, k, best.back()));
  }
  for (size_t i = 0; i < sel.fits.size(); i++)
    if (sel.fits[i].ok && (sel.chosen < 0 || sel.fits[i].aic < sel.fits[sel.chosen].aic))
      sel.chosen = static_cast<int>(i);
  if (sel.chosen < 0) return sel;
  drop_idle_components(gm, opt, sel, best);

  MixtureShape m = gm.decode(best[sel.chosen].theta.data(), sel.fits[sel.chosen].k);
  sel.grid_mass = gm.grid_mass(m);
  gm.curve(m, sel.curve);
  std::vector<double> mass;
  gm.fine_mass(m, mass);
  std::vector<double> const& r = gm.fine_centres();
  double m1 = 0.0, m2 = 0.0;
  for (size_t b = 0; b < mass.size(); b++) m1 += mass[b] * r[b];
  for (size_t b = 0; b < mass.size(); b++) m2 += mass[b] * (r[b] - m1) * (r[b] - m1);
  sel.mean = m1;
  sel.sd = std::sqrt(m2);
  return sel;
}
