// What the assessment of a fit takes from the data alone, at the run's
// SCALING: its range, the kernel on the Gaussians' sub-grid, the mixtures of
// one to three Gaussians, the one-Gaussian profile and the peak models. None
// of it depends on the fitted distribution, so a run may compute it while its
// solver fits, on a core the fit leaves idle (driver/solve_and_assess); the
// values are the same whenever and on whichever thread it is computed.
#ifndef REDORDIST_ASSESSMENT_ASSESSMENT_BASIS_H
#define REDORDIST_ASSESSMENT_ASSESSMENT_BASIS_H

#include <array>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <vector>

#include "assessment/assessment.h"
#include "assessment/peak_support.h"
#include "assessment/skewed_peak.h"
#include "assessment/width_profile.h"
#include "model/gaussian_mixture.h"
#include "model/paar.h"
#include "solver/gaussians/gaussian_fit.h"

using KernelAt = std::function<void(std::vector<double> const&, std::vector<double>&)>;

// Filled by the thread that computes it; read after waiting. Not copied: gm
// refers to fp.
struct AssessmentBasis {
  AssessmentBasis() = default;
  AssessmentBasis(AssessmentBasis const&) = delete;
  AssessmentBasis& operator=(AssessmentBasis const&) = delete;
  ~AssessmentBasis() { wait_all(); }  // its thread writes into it until done

  // Everything but the peak models (and the skewed peak) is filled; then
  // everything. The peak models take longer than the profile: what the fit
  // adds to the profile (its widening over SCALING) runs beside them.
  void wait_profile() const { profile_done.wait(); }
  void wait_all() const {
    if (all_done.valid()) all_done.wait();
  }

  FitProblem plain;  // the run's problem on its grid, at the SCALING it was made for
  AssessmentGrid grid;
  // Where the range leaves no room for the Gaussians (std::invalid_argument)
  // or another failure came, before the profile and the models: rethrown
  // where the assessment is made, with nothing below filled.
  std::exception_ptr before_models;
  KernelAt kernel;
  FitProblem fp;  // plain with kernel: the Gaussians' problem
  MixtureSelection sel;
  std::optional<GaussianMixture> gm;
  // The one-Gaussian profile at the run's SCALING and the curves it shares
  // with the profile over SCALING; the peak models and the skewed peak's
  // fit. A failure of either is kept to be rethrown, the profile's first.
  WidthAllowed width;
  ProfileCurves curves;
  std::exception_ptr profile_failed;
  // The SCALINGs width was widened over ({0, 0}: none); a failure there
  // leaves width as the profile at the run's SCALING.
  std::array<double, 2> widened_over{};
  std::exception_ptr widen_failed;
  std::vector<PeakModel> models;
  SkewedPeak skewed;
  std::exception_ptr models_failed;

  std::shared_future<void> profile_done, all_done;
};

// The basis for the run's problem plain at the SCALING its fit will be judged
// at (model.fit_problem()), the run's transforms built; widen: the SCALINGs
// to widen the profile over ({0, 0}: none).
std::shared_ptr<AssessmentBasis const> assessment_basis(std::shared_ptr<RunSetup const> setup,
                                                        FitProblem const& plain, std::array<double, 2> widen);
// The same before the fit, the SCALINGs to widen over not yet known: on a
// thread of its own when a core may be spare (more than one thread allowed
// and not inside a parallel loop), else here, returning when it is done.
// (A thread of its own costs a few ms to start: worth it only beside a fit.)
std::shared_ptr<AssessmentBasis const> start_assessment_basis(std::shared_ptr<RunSetup const> setup,
                                                              FitProblem const& plain);

// The widths and centres one Gaussian may take with SCALING free over range,
// joined into w (the profile at the run's SCALING, when computed): with
// SCALING fitted, or open to the trap of mass beyond one dephasing cycle, the
// width at one SCALING alone is too narrow a claim. The Gaussians are judged
// against the best over SCALING (one chi2 + 4 region, not one per SCALING).
// Nothing for the range {0, 0}.
void widen_over_scaling(AssessmentBasis const& b, std::array<double, 2> range, WidthAllowed& w);

// Whether b was made for the model's data, errors and SCALING.
bool basis_fits(AssessmentBasis const& b, Paar const& model);

#endif
