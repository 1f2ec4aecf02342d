#include "assessment/assessment_basis.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <system_error>
#include <utility>

#ifdef _OPENMP
#include <omp.h>
#endif

#include <gsl/gsl_spline.h>

#include "assessment/assessment_grid.h"
#include "numeric/numeric.h"

namespace {

// Beyond this lambda_D the table of the powder average is kept every 0.1:
// there the curve has nearly died away and a knot every 0.01 would make the
// table grow as 1 / NEAR^3.
constexpr double kFineTableEnd = 20.0;

// The knots of the table: every 0.01 from -0.1 to 0.1 past min(top,
// kFineTableEnd), then every 0.1 to 1 past top.
std::vector<double> table_knots(double top) {
  std::vector<double> lam;
  int n = static_cast<int>(std::ceil(std::min(top, kFineTableEnd) / 0.01)) + 21;
  for (int k = 0; k < n; k++) lam.push_back(0.01 * (k - 10));
  for (int k = 1; top > kFineTableEnd && lam.back() < top + 1.0; k++) lam.push_back(lam[n - 1] + 0.1 * k);
  return lam;
}

// The run's kernel for the Gaussians on the assessment's range g, with its
// values on their sub-grid computed once; it does not depend on SCALING, so
// one serves the fit problems of every SCALING tried. The powder average
// depends on lambda_D = j D / MAS alone: tabulated up to the largest
// lambda_D the range needs and interpolated by a cubic spline (on the exact
// curve the error is below 1e-8), it costs a few hundred powder averages
// instead of one per data point and sub-grid distance.
KernelAt determined_kernel(RunSetup const& s, FitProblem fp, AssessmentGrid const& g) {
  // Ten steps past each end, and S/S0 even in lambda_D below 0: the spline's
  // free ends then lie where their error has died away.
  std::vector<double> lam = table_knots(g.lambda_top);
  double n_direct = s.n_data * (g.far - g.near) / kFineStep;
  if (!s.have_curve && s.per_2pi > 0 && static_cast<double>(lam.size()) < n_direct) {
    int n = static_cast<int>(lam.size());
    std::vector<double> val(n);
    // Each knot's powder average alone: the same values for any thread count.
#pragma omp parallel for schedule(dynamic, 8)
    for (int k = 0; k < n; k++) val[k] = s.kernel_value(s.powder, 1, std::fabs(lam[k]) * s.mas);
    auto spline = std::shared_ptr<gsl_spline>(gsl_spline_alloc(gsl_interp_cspline, n), gsl_spline_free);
    gsl_spline_init(spline.get(), lam.data(), val.data(), n);
    RunSetup const* setup = &s;
    fp.kernel_at = [setup, spline, last = lam.back()](std::vector<double> const& r, std::vector<double>& out) {
      out.assign(static_cast<size_t>(setup->n_data) * r.size(), 0.0);
      for (int i = 0; i < setup->n_data; i++) {
        double j = static_cast<int>(gvg(setup->cycles, i)) / 2;
        for (size_t c = 0; c < r.size(); c++) {
          double l = std::min(last, j * setup->dipolar_constant / std::pow(r[c], 3.0) / setup->mas);
          out[i * r.size() + c] = gsl_spline_eval(spline.get(), l, nullptr);
        }
      }
    };
  }
  // The sub-grid is fixed by the range: its kernel is computed once.
  auto where = std::make_shared<std::vector<double>>(GaussianMixture(fp, g.near, g.far).fine_centres());
  auto cache = std::make_shared<std::vector<double>>();
  fp.kernel_at(*where, *cache);
  return [where, cache, compute = fp.kernel_at](std::vector<double> const& r, std::vector<double>& out) {
    if (r == *where) out = *cache;
    else compute(r, out);
  };
}

// The one-Gaussian profile (widened over SCALING when the range is known)
// beside the peak models (the skewed peak's fit also into b.skewed), each on
// a thread of its own (the loops inside each run
// on that thread, OpenMP not nesting teams). Every value is computed by the
// same code whatever the thread count.
void profile_and_models(AssessmentBasis& b, std::promise<void>& profile_done) {
#pragma omp parallel sections
  {
#pragma omp section
    {
      try {
        b.width = one_gaussian_profile(b.fp, b.grid.near, b.grid.far, kAllowedDeltaChi2, b.grid.step, &b.curves);
        try {
          widen_over_scaling(b, b.widened_over, b.width);
        } catch (...) {
          b.widen_failed = std::current_exception();
        }
      } catch (...) {
        b.profile_failed = std::current_exception();
      }
      profile_done.set_value();
    }
#pragma omp section
    try {
      b.models = peak_models(b.sel, *b.gm, &b.skewed);
    } catch (...) {
      b.models_failed = std::current_exception();
    }
  }
}

void fill_basis(AssessmentBasis& b, RunSetup const& setup, std::promise<void>& profile_done) {
  // The Gaussians need a range of a few of their narrowest widths.
  try {
    b.kernel = determined_kernel(setup, b.plain, b.grid);
    b.fp = b.plain;
    b.fp.kernel_at = b.kernel;
    b.sel = fit_gaussian_mixtures(b.fp, b.grid.near, b.grid.far);
    b.gm.emplace(b.fp, b.grid.near, b.grid.far);
  } catch (...) {
    b.before_models = std::current_exception();
    profile_done.set_value();
    return;
  }
  profile_and_models(b, profile_done);
}

int thread_limit() {
#ifdef _OPENMP
  return omp_get_max_threads();
#else
  return 1;
#endif
}

void set_thread_limit(int threads) {
#ifdef _OPENMP
  omp_set_num_threads(threads);
#else
  (void)threads;
#endif
}

bool core_may_be_spare() {
#ifdef _OPENMP
  return thread_limit() > 1 && !omp_in_parallel();
#else
  return false;
#endif
}

// The basis, computed here or on a thread of its own (beside).
std::shared_ptr<AssessmentBasis const> make_basis(std::shared_ptr<RunSetup const> setup, FitProblem const& plain,
                                                  std::array<double, 2> widen, bool beside) {
  auto b = std::make_shared<AssessmentBasis>();
  b->plain = plain;
  b->widened_over = widen;
  b->grid = assessment_grid(*setup, setup->longest_measurable_distance(plain.scaling));
  auto profile_done = std::make_shared<std::promise<void>>();
  b->profile_done = profile_done->get_future().share();
  // The thread holds the basis by its address: the basis waits for it before it goes.
  auto fill = [basis = b.get(), setup, profile_done] { fill_basis(*basis, *setup, *profile_done); };
  if (beside) {
    try {
      // A new thread starts from the process's number of threads, not its caller's.
      b->all_done = std::async(std::launch::async, [fill, threads = thread_limit()] {
                      set_thread_limit(threads);
                      fill();
                    }).share();
      return b;
    } catch (std::system_error const&) {  // no thread to be had: here, then
    }
  }
  fill();
  std::promise<void> done;
  done.set_value();
  b->all_done = done.get_future().share();
  return b;
}

}  // namespace

std::shared_ptr<AssessmentBasis const> assessment_basis(std::shared_ptr<RunSetup const> setup,
                                                        FitProblem const& plain, std::array<double, 2> widen) {
  return make_basis(std::move(setup), plain, widen, false);
}

std::shared_ptr<AssessmentBasis const> start_assessment_basis(std::shared_ptr<RunSetup const> setup,
                                                              FitProblem const& plain) {
  return make_basis(std::move(setup), plain, {0.0, 0.0}, core_may_be_spare());
}

void widen_over_scaling(AssessmentBasis const& b, std::array<double, 2> range, WidthAllowed& w) {
  if (range[1] <= range[0] || !w.computed) return;
  ProfileCurves curves = b.curves;
  WidthAllowed o = one_gaussian_profile(b.fp, b.grid.near, b.grid.far, kAllowedDeltaChi2, b.grid.step, &curves,
                                        range);
  if (o.computed) join_allowed(w, o);
}

bool basis_fits(AssessmentBasis const& b, Paar const& model) {
  FitProblem now = model.fit_problem();
  return now.scaling == b.plain.scaling && now.target == b.plain.target && now.sigma == b.plain.sigma &&
         now.kernel == b.plain.kernel && now.distance == b.plain.distance;
}
