// synth_redor: a synthetic REDOR data file for a prescribed distance
// distribution, made independently of redordist's own code (GSL only).
//
// S/S0 of one X-Y pair is the exact powder average
//   S/S0(lambda) = (sqrt(2) pi / 4) J_{1/4}(x) J_{-1/4}(x),  x = 2 sqrt(2) lambda,
// lambda = (N_c / 2) D / MAS, D = d / r^3 (Hz, r in Angstrom), with
// J_{-nu} = cos(nu pi) J_nu - sin(nu pi) Y_nu. The distribution is integrated
// over r on a fine grid (0.002 Angstrom by default); Gaussian components of
// zero width are exact single distances.
//
//   synth_redor --pair CN --mas 5000 --nc 0:4:64 --comp 0.5:3.0:0.1
//               --comp 0.5:4.0:0.1 --noise 0.02 --seed 7 --out cn.dat --truth cn.truth
//
// Data lines: N_c S0 S S/S0 error, with S = S0 (S/S0 + noise) and error the
// noise standard deviation (relative to S0). The truth file holds the mean,
// the standard deviation and the density (per Angstrom) on the fine grid;
// single distances appear as "# point r weight" lines.
#include <gsl/gsl_errno.h>
#include <gsl/gsl_math.h>
#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>
#include <gsl/gsl_sf_bessel.h>
#include <gsl/gsl_sf_erf.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const double kPi = M_PI;

// Gyromagnetic ratios (rad s^-1 T^-1), hbar (J s), mu0 / 4 pi (T m / A).
const double kGammaC = 6.7283e7;
const double kGammaN = 2.712e7;  // magnitude; 15N's is negative
const double kGammaP = 10.841e7;
const double kGammaF = 25.181e7;
const double kGammaH = 26.7522205e7;
const double kHbar = 1.05457168e-34;
const double kMu0Over4Pi = 1e-7;

// Dipolar constant in Hz Angstrom^3: D(r) = d / r^3 with r in Angstrom.
double dipolar_constant(double gx, double gy) {
  return kMu0Over4Pi * gx * gy * kHbar / (2.0 * kPi) / 1e-30;
}

double bessel_j_minus(double nu, double x) {
  return std::cos(nu * kPi) * gsl_sf_bessel_Jnu(nu, x) - std::sin(nu * kPi) * gsl_sf_bessel_Ynu(nu, x);
}

// Exact powder-averaged REDOR S/S0 at lambda = N_c D / (2 MAS).
double redor(double lambda) {
  lambda = std::fabs(lambda);
  if (lambda < 1e-12) return 1.0;
  double x = 2.0 * std::sqrt(2.0) * lambda;
  return std::sqrt(2.0) * kPi / 4.0 * gsl_sf_bessel_Jnu(0.25, x) * bessel_j_minus(0.25, x);
}

void check_closed_form() {
  const double lam[4] = {0.25, 0.5, 1.0, 2.0};
  const double want[4] = {0.7575780804, 0.2716559048, 0.0087956314, -0.0157321081};
  for (int i = 0; i < 4; i++) {
    double got = redor(lam[i]);
    if (std::fabs(got - want[i]) > 5e-10) {
      std::fprintf(stderr, "synth_redor: closed form check failed at lambda %g: %.10f, expected %.10f\n",
                   lam[i], got, want[i]);
      std::exit(2);
    }
  }
  if (redor(0.0) != 1.0 || std::fabs(redor(1e-6) - 1.0) > 1e-6) {
    std::fprintf(stderr, "synth_redor: closed form check failed near lambda 0\n");
    std::exit(2);
  }
}

enum class Shape { Gauss, SkewNormal, GammaTail, Flat };

struct Component {
  Shape shape;
  double weight;
  double a, b, c;  // Gauss: centre, sd; skew-normal: location, scale, shape;
                   // gamma tail: onset, shape k, scale theta; flat: from a to b
};

double component_density(Component const& k, double r) {
  switch (k.shape) {
    case Shape::Gauss: {
      double z = (r - k.a) / k.b;
      return std::exp(-0.5 * z * z) / (k.b * std::sqrt(2.0 * kPi));
    }
    case Shape::SkewNormal: {
      double z = (r - k.a) / k.b;
      return 2.0 / k.b * std::exp(-0.5 * z * z) / std::sqrt(2.0 * kPi) * 0.5 *
             gsl_sf_erfc(-k.c * z / std::sqrt(2.0));
    }
    case Shape::GammaTail:
      if (r <= k.a) return 0.0;
      return gsl_ran_gamma_pdf(r - k.a, k.b, k.c);
    case Shape::Flat:
      return r >= k.a && r < k.b ? 1.0 / (k.b - k.a) : 0.0;
  }
  return 0.0;
}

// Range of r holding practically all of a component.
void component_range(Component const& k, double& lo, double& hi) {
  switch (k.shape) {
    case Shape::Gauss:
      lo = k.a - 8 * k.b;
      hi = k.a + 8 * k.b;
      break;
    case Shape::SkewNormal:
      lo = k.a - 8 * k.b;
      hi = k.a + 8 * k.b;
      break;
    case Shape::GammaTail: {
      double m = k.b * k.c, s = std::sqrt(k.b) * k.c;
      lo = k.a;
      hi = k.a + m + 12 * s;
      break;
    }
    case Shape::Flat:
      lo = k.a;
      hi = k.b;
      break;
  }
}

std::vector<double> split_numbers(std::string const& s, char sep) {
  std::vector<double> v;
  size_t pos = 0;
  while (true) {
    size_t q = s.find(sep, pos);
    std::string t = s.substr(pos, q == std::string::npos ? std::string::npos : q - pos);
    char* end = nullptr;
    double x = std::strtod(t.c_str(), &end);
    if (t.empty() || *end != '\0' || !std::isfinite(x)) {
      std::fprintf(stderr, "synth_redor: bad number \"%s\" in \"%s\"\n", t.c_str(), s.c_str());
      std::exit(1);
    }
    v.push_back(x);
    if (q == std::string::npos) break;
    pos = q + 1;
  }
  return v;
}

void usage(FILE* f) {
  std::fprintf(f,
               "usage: synth_redor [options]\n"
               "  --comp W:C:SD        Gaussian component: weight, centre (A), sd (A; 0 = one distance)\n"
               "  --skew [W:]C:SD:A    skew-normal component: location, scale (A), shape alpha\n"
               "  --gamma [W:]R0:K:TH  gamma tail from R0 (A): shape K, scale TH (A)\n"
               "  --flat [W:]LO:HI     flat band: every distance from LO to HI (A) equally likely\n"
               "  --pair XY            nuclei pair: CN, CP, NP, FC, FP or HC (1H-13C), e.g. NP for 15N observed\n"
               "                       and 31P dephasing (default CN)\n"
               "  --fraction F         dephasable fraction: S/S0 = 1 - F (1 - curve) (default 1)\n"
               "  --mas HZ             spinning rate (default 5000)\n"
               "  --nc A:STEP:B        rotor-cycle counts (default 0:4:64)\n"
               "  --nclist N1,N2,...   rotor-cycle counts one by one (e.g. denser early)\n"
               "  --noise REL          noise sd relative to S0 (default 0.02)\n"
               "  --s0 VALUE           S0 of every point (default 1)\n"
               "  --seed N             noise seed (default 1)\n"
               "  --dr STEP            integration grid step in A (default 0.002)\n"
               "  --out FILE           data file (default standard output)\n"
               "  --truth FILE         the truth: mean, sd and density on the fine grid\n"
               "  --quiet              no summary on standard error\n"
               "  --curve STEP:MAX     print only the universal curve, lambda_D and S/S0\n");
}

}  // namespace

int main(int argc, char** argv) {
  gsl_set_error_handler_off();
  check_closed_form();

  std::vector<Component> comps;
  std::string pair = "CN", out_name, truth_name;
  double mas = 5000, noise = 0.02, s0 = 1.0, dr = 0.002, fraction = 1.0;
  double nc_a = 0, nc_step = 4, nc_b = 64;
  std::vector<double> nc_list;  // explicit counts (--nclist) replace A:STEP:B
  unsigned long seed = 1;
  bool quiet = false;

  for (int i = 1; i < argc; i++) {
    std::string o = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "synth_redor: %s needs a value\n", o.c_str());
        std::exit(1);
      }
      return argv[++i];
    };
    if (o == "--help" || o == "-h") {
      usage(stdout);
      return 0;
    } else if (o == "--curve") {
      // The universal dephasing curve alone: lambda_D = 0, STEP, ..., MAX.
      std::vector<double> v = split_numbers(value(), ':');
      if (v.size() != 2 || !(v[0] > 0) || !(v[1] > 0)) {
        std::fprintf(stderr, "synth_redor: --curve wants step:max\n");
        return 1;
      }
      long n = std::lround(v[1] / v[0]);
      for (long k = 0; k <= n; k++) std::printf("%.3f %.10f\n", k * v[0], redor(k * v[0]));
      return 0;
    } else if (o == "--comp") {
      auto v = split_numbers(value(), ':');
      if (v.size() != 3 || v[0] <= 0 || v[1] <= 0 || v[2] < 0) {
        std::fprintf(stderr, "synth_redor: --comp wants weight>0:centre>0:sd>=0\n");
        return 1;
      }
      comps.push_back({Shape::Gauss, v[0], v[1], v[2], 0});
    } else if (o == "--skew" || o == "--gamma") {
      auto v = split_numbers(value(), ':');
      if (v.size() == 3) v.insert(v.begin(), 1.0);
      if (v.size() != 4 || v[0] <= 0 || v[2] <= 0 || (o == "--gamma" && (v[3] <= 0 || v[1] < 0))) {
        std::fprintf(stderr, "synth_redor: %s wants [weight:]three numbers (see --help)\n", o.c_str());
        return 1;
      }
      comps.push_back({o == "--skew" ? Shape::SkewNormal : Shape::GammaTail, v[0], v[1], v[2], v[3]});
    } else if (o == "--flat") {
      auto v = split_numbers(value(), ':');
      if (v.size() == 2) v.insert(v.begin(), 1.0);
      if (v.size() != 3 || v[0] <= 0 || v[1] <= 0 || v[2] <= v[1]) {
        std::fprintf(stderr, "synth_redor: --flat wants [weight:]lo:hi with 0 < lo < hi\n");
        return 1;
      }
      comps.push_back({Shape::Flat, v[0], v[1], v[2], 0});
    } else if (o == "--pair") {
      pair = value();
    } else if (o == "--fraction") {
      fraction = std::atof(value().c_str());
    } else if (o == "--mas") {
      mas = std::atof(value().c_str());
    } else if (o == "--nc") {
      auto v = split_numbers(value(), ':');
      if (v.size() != 3 || v[1] <= 0 || v[0] < 0 || v[2] < v[0]) {
        std::fprintf(stderr, "synth_redor: --nc wants start:step:end\n");
        return 1;
      }
      nc_a = v[0], nc_step = v[1], nc_b = v[2];
    } else if (o == "--nclist") {
      nc_list = split_numbers(value(), ',');
      for (double n : nc_list) {
        if (n < 0 || n != std::floor(n)) {
          std::fprintf(stderr, "synth_redor: --nclist wants whole counts from 0 up\n");
          return 1;
        }
      }
    } else if (o == "--noise") {
      noise = std::atof(value().c_str());
    } else if (o == "--s0") {
      s0 = std::atof(value().c_str());
    } else if (o == "--seed") {
      seed = std::strtoul(value().c_str(), nullptr, 10);
    } else if (o == "--dr") {
      dr = std::atof(value().c_str());
    } else if (o == "--out") {
      out_name = value();
    } else if (o == "--truth") {
      truth_name = value();
    } else if (o == "--quiet") {
      quiet = true;
    } else {
      std::fprintf(stderr, "synth_redor: unknown option %s\n", o.c_str());
      usage(stderr);
      return 1;
    }
  }
  if (comps.empty()) {
    std::fprintf(stderr, "synth_redor: no distribution given (--comp, --skew or --gamma)\n");
    return 1;
  }
  if (!(mas > 0) || !(noise >= 0) || !(s0 > 0) || !(dr > 0)) {
    std::fprintf(stderr, "synth_redor: --mas, --s0 and --dr must be above 0, --noise not below 0\n");
    return 1;
  }
  // The dipolar constant depends only on the product of the two ratios.
  double gx = kGammaC, gy = 0.0;
  if (pair == "CN") {
    gy = kGammaN;
  } else if (pair == "CP") {
    gy = kGammaP;
  } else if (pair == "NP") {
    gx = kGammaN, gy = kGammaP;
  } else if (pair == "FC") {
    gx = kGammaF, gy = kGammaC;
  } else if (pair == "FP") {
    gx = kGammaF, gy = kGammaP;
  } else if (pair == "HC") {
    gx = kGammaH, gy = kGammaC;
  } else {
    std::fprintf(stderr, "synth_redor: --pair must be CN, CP, NP, FC, FP or HC\n");
    return 1;
  }
  if (!(fraction > 0.0 && fraction <= 1.0)) {
    std::fprintf(stderr, "synth_redor: --fraction must lie in (0, 1]\n");
    return 1;
  }
  const double dconst = dipolar_constant(gx, gy);

  // The truth on the fine grid: midpoints r_k with masses w_k (sum 1), plus
  // exact single distances.
  double wsum = 0;
  for (auto const& k : comps) wsum += k.weight;
  std::vector<double> point_r, point_w;
  double lo = 1e300, hi = -1e300;
  for (auto const& k : comps) {
    if (k.shape == Shape::Gauss && k.b == 0) {
      point_r.push_back(k.a);
      point_w.push_back(k.weight / wsum);
      continue;
    }
    double a = 0, b = 0;
    component_range(k, a, b);
    lo = std::min(lo, a);
    hi = std::max(hi, b);
  }
  std::vector<double> grid_r, grid_w;  // masses
  std::vector<double> grid_f;          // density per Angstrom
  if (hi > lo) {
    lo = std::max(lo, 0.5);
    if (hi <= lo) {
      std::fprintf(stderr, "synth_redor: the distribution lies below 0.5 Angstrom\n");
      return 1;
    }
    long n = static_cast<long>(std::ceil((hi - lo) / dr));
    for (long j = 0; j < n; j++) {
      double r = lo + (j + 0.5) * dr;
      grid_r.push_back(r);
      grid_f.push_back(0.0);
    }
    for (auto const& k : comps) {
      if (k.shape == Shape::Gauss && k.b == 0) continue;
      // Each continuous component normalised on the grid to its own weight.
      std::vector<double> f(grid_r.size());
      double s = 0;
      for (size_t j = 0; j < grid_r.size(); j++) s += (f[j] = component_density(k, grid_r[j])) * dr;
      if (!(s > 0)) {
        std::fprintf(stderr, "synth_redor: a component has no weight above 0.5 Angstrom\n");
        return 1;
      }
      for (size_t j = 0; j < grid_r.size(); j++) grid_f[j] += f[j] / s * k.weight / wsum;
    }
    for (double f : grid_f) grid_w.push_back(f * dr);
  }
  double mean = 0, m2 = 0;
  for (size_t j = 0; j < grid_r.size(); j++) mean += grid_w[j] * grid_r[j];
  for (size_t j = 0; j < point_r.size(); j++) mean += point_w[j] * point_r[j];
  for (size_t j = 0; j < grid_r.size(); j++) m2 += grid_w[j] * (grid_r[j] - mean) * (grid_r[j] - mean);
  for (size_t j = 0; j < point_r.size(); j++) m2 += point_w[j] * (point_r[j] - mean) * (point_r[j] - mean);
  double sd = std::sqrt(m2);

  // The curve at each N_c.
  gsl_rng* rng = gsl_rng_alloc(gsl_rng_mt19937);
  gsl_rng_set(rng, seed);
  FILE* out = out_name.empty() ? stdout : std::fopen(out_name.c_str(), "w");
  if (!out) {
    std::fprintf(stderr, "synth_redor: cannot write %s\n", out_name.c_str());
    return 1;
  }
  std::fprintf(out, "# synth_redor: %s, d = %.2f Hz A^3, MAS %.1f Hz, noise %.4f of S0, seed %lu, fraction %g\n",
               pair.c_str(), dconst, mas, noise, seed, fraction);
  std::fprintf(out, "# truth: mean %.6f A, sd %.6f A\n", mean, sd);
  std::fprintf(out, "# N_c        S0             S          S/S0         error    (exact S/S0)\n");
  int npoints = 0;
  if (nc_list.empty()) {
    for (double nc = nc_a; nc <= nc_b + 1e-9; nc += nc_step) nc_list.push_back(nc);
  }
  for (double nc : nc_list) {
    double curve = 0;
    for (size_t j = 0; j < grid_r.size(); j++) {
      double d = dconst / (grid_r[j] * grid_r[j] * grid_r[j]);
      curve += grid_w[j] * redor(0.5 * nc * d / mas);
    }
    for (size_t j = 0; j < point_r.size(); j++) {
      double d = dconst / (point_r[j] * point_r[j] * point_r[j]);
      curve += point_w[j] * redor(0.5 * nc * d / mas);
    }
    curve = 1.0 - fraction * (1.0 - curve);
    double ratio = curve + (noise > 0 ? gsl_ran_gaussian(rng, noise) : 0.0);
    std::fprintf(out, "%5d %13.6f %13.6f %13.8f %13.8f  # %.10f\n", static_cast<int>(std::lround(nc)), s0,
                 s0 * ratio, ratio, noise, curve);
    npoints++;
  }
  if (out != stdout) std::fclose(out);
  gsl_rng_free(rng);

  if (!truth_name.empty()) {
    FILE* t = std::fopen(truth_name.c_str(), "w");
    if (!t) {
      std::fprintf(stderr, "synth_redor: cannot write %s\n", truth_name.c_str());
      return 1;
    }
    std::fprintf(t, "# mean %.8f\n# sd %.8f\n# dr %.6f\n", mean, sd, dr);
    for (size_t j = 0; j < point_r.size(); j++) std::fprintf(t, "# point %.8f %.10f\n", point_r[j], point_w[j]);
    std::fprintf(t, "# r(A) density(1/A)\n");
    double fmax = 0;
    for (double f : grid_f) fmax = std::max(fmax, f);
    for (size_t j = 0; j < grid_r.size(); j++) {
      if (grid_f[j] > 1e-12 * fmax) std::fprintf(t, "%.4f %.8e\n", grid_r[j], grid_f[j]);
    }
    std::fclose(t);
  }
  if (!quiet) {
    std::fprintf(stderr, "synth_redor: %s dipolar constant %.2f Hz A^3; %d points; truth mean %.4f A, sd %.4f A\n",
                 pair.c_str(), dconst, npoints, mean, sd);
  }
  return 0;
}
