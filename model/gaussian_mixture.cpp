// Truncated-Gaussian mixture on the sub-grid: bin masses from exact normal
// CDF differences, the curve through the cached sub-grid kernel, and the
// analytic Jacobian chained through the bounded parametrisation.
#include "model/gaussian_mixture.h"

#include "numeric/kernel_dots.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

#include <gsl/gsl_cdf.h>
#include <gsl/gsl_randist.h>

namespace {

// Beyond 9 standard deviations the normal CDF is 0 or 1 to within 1e-19, so
// bins there carry no mass and are skipped. Clamping the CDF itself (not just
// skipping) keeps the skipped bins exactly zero and the masses telescoping to 1.
constexpr double kTail = 9.0;

double cdf(double t) { return t < -kTail ? 0.0 : (t > kTail ? 1.0 : gsl_cdf_ugaussian_P(t)); }
double pdf(double t) { return std::fabs(t) > kTail ? 0.0 : gsl_ran_ugaussian_pdf(t); }
double logistic(double x) { return 1.0 / (1.0 + std::exp(-x)); }
double logit(double p) {
  // Pull bounds inside so the parameter stays finite and the slope nonzero.
  p = std::min(std::max(p, 1e-6), 1.0 - 1e-6);
  return std::log(p / (1.0 - p));
}

// Sub-grid bins [lo, hi) that can hold mass of a component (mu, sd); one
// bin of margin each side so the edges outside are strictly past kTail.
void active_bins(double mu, double sd, double near, int n_fine, int& lo, int& hi) {
  double a = std::floor((mu - kTail * sd - near) / kFineStep) - 1.0;
  double b = std::ceil((mu + kTail * sd - near) / kFineStep) + 1.0;
  lo = static_cast<int>(std::max(0.0, std::min(a, static_cast<double>(n_fine))));
  hi = static_cast<int>(std::max(0.0, std::min(b, static_cast<double>(n_fine))));
}

}  // namespace

GaussianMixture::GaussianMixture(FitProblem const& fp, double near, double far, FineKernel kernel)
    : fp_(fp), near_(near), far_(far), width_max_(0.5 * (far - near)) {
  if (!(width_max_ > 2.0 * kWidthFloor))
    throw std::invalid_argument("Gaussian mixture: distance range too short for a width above 0.02 Angstrom");
  n_fine_ = static_cast<int>(std::ceil((far - near) / kFineStep - 1e-9));
  edge_.resize(n_fine_ + 1);
  centre_.resize(n_fine_);
  for (int b = 0; b < n_fine_; b++) edge_[b] = near + b * kFineStep;
  edge_[n_fine_] = far;
  for (int b = 0; b < n_fine_; b++) centre_[b] = 0.5 * (edge_[b] + edge_[b + 1]);
  if (kernel && kernel->size() == static_cast<size_t>(fp.n_data) * n_fine_) {
    kfine_ = std::move(kernel);
    kt_ = std::make_shared<std::vector<double> const>(transposed(*kfine_, fp.n_data, n_fine_));
    return;
  }
  auto own = std::make_shared<std::vector<double>>();
  fp.kernel_at(centre_, *own);
  kfine_ = std::move(own);
  kt_ = std::make_shared<std::vector<double> const>(transposed(*kfine_, fp.n_data, n_fine_));
}

MixtureShape GaussianMixture::decode(double const* theta, int k) const {
  MixtureShape m;
  m.weight.resize(k);
  m.centre.resize(k);
  m.width.resize(k);
  double zmax = 0.0;  // z_{k-1} = 0
  for (int c = 0; c + 1 < k; c++) zmax = std::max(zmax, theta[2 * k + c]);
  double sum = 0.0;
  for (int c = 0; c < k; c++) {
    m.centre[c] = near_ + (far_ - near_) * logistic(theta[2 * c]);
    m.width[c] = kWidthFloor + (width_max_ - kWidthFloor) * logistic(theta[2 * c + 1]);
    double z = c + 1 < k ? theta[2 * k + c] : 0.0;
    m.weight[c] = std::exp(z - zmax);
    sum += m.weight[c];
  }
  for (double& w : m.weight) w /= sum;
  return m;
}

std::vector<double> GaussianMixture::encode(MixtureShape const& m) const {
  int k = m.k();
  std::vector<double> theta(n_params(k));
  for (int c = 0; c < k; c++) {
    theta[2 * c] = logit((m.centre[c] - near_) / (far_ - near_));
    theta[2 * c + 1] = logit((m.width[c] - kWidthFloor) / (width_max_ - kWidthFloor));
  }
  for (int c = 0; c + 1 < k; c++) theta[2 * k + c] = std::log(m.weight[c] / m.weight[k - 1]);
  return theta;
}

void GaussianMixture::fine_mass(MixtureShape const& m, std::vector<double>& mass, EdgeCdfs* keep) const {
  mass.assign(n_fine_, 0.0);
  if (keep) keep->p.resize(m.k()), keep->z.resize(m.k());
  for (int c = 0; c < m.k(); c++) {
    double mu = m.centre[c], sd = m.width[c];
    double z = cdf((far_ - mu) / sd) - cdf((near_ - mu) / sd);
    int lo, hi;
    active_bins(mu, sd, near_, n_fine_, lo, hi);
    double p0 = cdf((edge_[lo] - mu) / sd);
    if (keep) keep->z[c] = z, keep->p[c].assign(1, p0);
    for (int b = lo; b < hi; b++) {
      double p1 = cdf((edge_[b + 1] - mu) / sd);
      mass[b] += m.weight[c] * (p1 - p0) / z;
      p0 = p1;
      if (keep) keep->p[c].push_back(p1);
    }
  }
}

std::vector<double> GaussianMixture::grid_mass(MixtureShape const& m) const {
  int n = fp_.n_grid;
  double g = n > 1 ? fp_.distance[1] - fp_.distance[0] : 2.0 * (far_ - near_);
  std::vector<double> out(n, 0.0);
  for (int c = 0; c < m.k(); c++) {
    double mu = m.centre[c], sd = m.width[c];
    double z = cdf((far_ - mu) / sd) - cdf((near_ - mu) / sd);
    for (int j = 0; j < n; j++) {
      double a = std::max(near_, fp_.distance[j] - 0.5 * g);
      double b = std::min(far_, fp_.distance[j] + 0.5 * g);
      if (b > a) out[j] += m.weight[c] * (cdf((b - mu) / sd) - cdf((a - mu) / sd)) / z;
    }
  }
  return out;
}

void GaussianMixture::curve(MixtureShape const& m, std::vector<double>& f, EdgeCdfs* keep) const {
  std::vector<double> mass;
  fine_mass(m, mass, keep);
  // Narrow components leave most bins exactly empty: sum only the span with mass.
  int lo = 0, hi = n_fine_;
  while (lo < hi && mass[lo] == 0.0) lo++;
  while (hi > lo && mass[hi - 1] == 0.0) hi--;
  f.assign(fp_.n_data, 0.0);
  kernel_dots(kt_->data(), fp_.n_data, mass.data(), lo, hi, f.data());
  for (int i = 0; i < fp_.n_data; i++) f[i] = fp_.scaling * f[i] + 1.0 - fp_.scaling;
}

void GaussianMixture::residuals(double const* theta, int k, double* r, EdgeCdfs* cdfs) const {
  std::vector<double> f;
  if (cdfs) cdfs->theta.assign(theta, theta + n_params(k));
  curve(decode(theta, k), f, cdfs);
  for (int i = 0; i < fp_.n_data; i++) r[i] = (f[i] - fp_.target[i]) / fp_.sigma[i];
}

// One pass per component over its active bins gives K m_c (its curve) and
// K dm_c/dcentre, K dm_c/dwidth at every data point. With N_b the untruncated
// bin mass and Z the truncation normaliser, m_b = N_b / Z and
//   dN_b/dmu = -(phi(t1) - phi(t0)) / sd,  dN_b/dsd = -(phi(t1) t1 - phi(t0) t0) / sd,
// the same for Z at (near, far), and dm_b = (dN_b - m_b dZ) / Z. The columns
// then follow by the chain rule through the transforms; the weights' columns
// use dw_c/dz_d = w_c (delta_cd - w_d).
void GaussianMixture::jacobian(double const* theta, int k, double* jac, EdgeCdfs const* cdfs) const {
  MixtureShape m = decode(theta, k);
  // The residuals' CDFs at these very parameters (compared bit for bit).
  bool kept = cdfs && cdfs->theta.size() == static_cast<size_t>(n_params(k)) &&
              std::equal(cdfs->theta.begin(), cdfs->theta.end(), theta);
  int nd = fp_.n_data, np = n_params(k);
  std::vector<double> km(static_cast<size_t>(k) * nd), kmass(nd, 0.0);
  std::vector<double> dn(n_fine_), dp(n_fine_), dpt(n_fine_), sn(nd), sp(nd), spt(nd);
  for (int c = 0; c < k; c++) {
    double mu = m.centre[c], sd = m.width[c];
    double tn = (near_ - mu) / sd, tf = (far_ - mu) / sd;
    double z = kept ? cdfs->z[c] : cdf(tf) - cdf(tn);
    double dz_mu = -(pdf(tf) - pdf(tn)) / sd;
    double dz_sd = -(pdf(tf) * tf - pdf(tn) * tn) / sd;
    int lo, hi;
    active_bins(mu, sd, near_, n_fine_, lo, hi);
    double const* pk = kept ? cdfs->p[c].data() - lo : nullptr;  // pk[b]: the CDF at edge b
    double t0 = (edge_[lo] - mu) / sd, p0 = kept ? pk[lo] : cdf(t0), f0 = pdf(t0);
    for (int b = lo; b < hi; b++) {
      double t1 = (edge_[b + 1] - mu) / sd, p1 = kept ? pk[b + 1] : cdf(t1), f1 = pdf(t1);
      dn[b] = p1 - p0;
      dp[b] = f1 - f0;
      dpt[b] = f1 * t1 - f0 * t0;
      t0 = t1, p0 = p1, f0 = f1;
    }
    double lc = logistic(theta[2 * c]), dmu_da = (far_ - near_) * lc * (1.0 - lc);
    double lw = logistic(theta[2 * c + 1]);
    double dsd_du = (width_max_ - kWidthFloor) * lw * (1.0 - lw);
    kernel_dots(kt_->data(), nd, dn.data(), lo, hi, sn.data());
    kernel_dots(kt_->data(), nd, dp.data(), lo, hi, sp.data());
    kernel_dots(kt_->data(), nd, dpt.data(), lo, hi, spt.data());
    for (int i = 0; i < nd; i++) {
      double kmc = sn[i] / z;
      double kd_mu = (-sp[i] / sd - dz_mu * kmc) / z;
      double kd_sd = (-spt[i] / sd - dz_sd * kmc) / z;
      double scale = fp_.scaling / fp_.sigma[i] * m.weight[c];
      jac[i * np + 2 * c] = scale * kd_mu * dmu_da;
      jac[i * np + 2 * c + 1] = scale * kd_sd * dsd_du;
      km[static_cast<size_t>(c) * nd + i] = kmc;
      kmass[i] += m.weight[c] * kmc;
    }
  }
  for (int d = 0; d + 1 < k; d++)
    for (int i = 0; i < nd; i++)
      jac[i * np + 2 * k + d] =
          fp_.scaling / fp_.sigma[i] * m.weight[d] * (km[static_cast<size_t>(d) * nd + i] - kmass[i]);
}
