// The held weight is the logarithm z of the weight ratio, the mixture's own
// parameter (GaussianMixture::decode): theta = (a0, u0, a1, u1, z). The
// solver sees the four others; residuals and Jacobian are the mixture's,
// with z put back and its column left out.
#include "solver/gaussians/weight_profile.h"

#include <algorithm>
#include <cmath>

#include <gsl/gsl_multifit_nlinear.h>

namespace {

constexpr double kWeightStep = 0.02;
constexpr int kMaxIter = 100;
constexpr double kTol = 1e-10;

struct Held {
  GaussianMixture const* gm;
  double z;
  std::vector<double> full, jac;
  EdgeCdfs cdfs;
  void fill(gsl_vector const* x) {
    for (int j = 0; j < 4; j++) full[j] = gsl_vector_get(x, j);
    full[4] = z;
  }
};

int held_f(gsl_vector const* x, void* params, gsl_vector* f) {
  auto* h = static_cast<Held*>(params);
  h->fill(x);
  h->gm->residuals(h->full.data(), 2, f->data, &h->cdfs);
  return GSL_SUCCESS;
}

int held_df(gsl_vector const* x, void* params, gsl_matrix* J) {
  auto* h = static_cast<Held*>(params);
  h->fill(x);
  h->gm->jacobian(h->full.data(), 2, h->jac.data(), &h->cdfs);
  for (size_t i = 0; i < J->size1; i++)
    for (size_t j = 0; j < 4; j++) gsl_matrix_set(J, i, j, h->jac[i * 5 + j]);
  return GSL_SUCCESS;
}

double chi2_of(gsl_multifit_nlinear_workspace* w) {
  gsl_vector const* f = gsl_multifit_nlinear_residual(w);
  double c2 = 0.0;
  for (size_t i = 0; i < f->size; i++) c2 += gsl_vector_get(f, i) * gsl_vector_get(f, i);
  return c2;
}

// One fit with the weight held: theta's first four entries are the start
// and, on return, the fitted values; returns chi2 (infinite on failure).
double fit_held(GaussianMixture const& gm, double z, std::vector<double>& theta) {
  size_t n = gm.problem().n_data;
  Held h{&gm, z, std::vector<double>(5), std::vector<double>(n * 5), {}};
  gsl_multifit_nlinear_fdf fdf{};
  fdf.f = held_f, fdf.df = held_df, fdf.fvv = nullptr, fdf.n = n, fdf.p = 4, fdf.params = &h;
  gsl_multifit_nlinear_parameters par = gsl_multifit_nlinear_default_parameters();
  par.trs = gsl_multifit_nlinear_trs_lm;
  gsl_multifit_nlinear_workspace* w = gsl_multifit_nlinear_alloc(gsl_multifit_nlinear_trust, &par, n, 4);
  gsl_vector* x0 = gsl_vector_alloc(4);
  for (int j = 0; j < 4; j++) gsl_vector_set(x0, j, theta[j]);
  double c2 = INFINITY;
  if (gsl_multifit_nlinear_init(x0, &fdf, w) == GSL_SUCCESS) {
    for (int it = 0; it < kMaxIter; it++) {
      int info = 0;
      if (gsl_multifit_nlinear_iterate(w) != GSL_SUCCESS ||
          gsl_multifit_nlinear_test(kTol, kTol, 0.0, &info, w) == GSL_SUCCESS)
        break;
    }
    c2 = chi2_of(w);
    gsl_vector const* x = gsl_multifit_nlinear_position(w);
    for (int j = 0; j < 4; j++) theta[j] = gsl_vector_get(x, j);
  }
  gsl_vector_free(x0);
  gsl_multifit_nlinear_free(w);
  return std::isfinite(c2) ? c2 : INFINITY;
}

}  // namespace

std::vector<WeightProfilePoint> two_gaussian_weight_profile(GaussianMixture const& gm, MixtureFit const& best,
                                                            double delta_chi2) {
  std::vector<WeightProfilePoint> below, above;
  if (!best.ok || best.k != 2 || gm.problem().n_data <= 4) return below;
  MixtureShape start;
  for (GaussComponent const& c : best.comp)
    start.weight.push_back(c.weight), start.centre.push_back(c.centre), start.width.push_back(c.width);
  std::vector<double> const first = gm.encode(start);
  double lowest = best.chi2;
  for (int side : {-1, 1}) {
    std::vector<WeightProfilePoint>& out = side < 0 ? below : above;
    std::vector<double> theta = first;
    for (int step = 1;; step++) {
      double w = start.weight[0] + side * step * kWeightStep;
      if (w < 0.01 || w > 0.99) break;
      double z = std::log(w / (1.0 - w));
      double c2 = fit_held(gm, z, theta);
      if (!std::isfinite(c2)) break;
      std::vector<double> full(theta.begin(), theta.begin() + 4);
      full.push_back(z);
      out.push_back({gm.decode(full.data(), 2), c2});
      if (c2 > lowest + delta_chi2) break;
      lowest = std::min(lowest, c2);
    }
  }
  std::vector<WeightProfilePoint> all(below.rbegin(), below.rend());
  all.push_back({start, best.chi2});
  all.insert(all.end(), above.begin(), above.end());
  return all;
}
