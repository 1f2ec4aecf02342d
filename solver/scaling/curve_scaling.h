// One curve's SCALING s with its distribution held fixed. Its weighted
// residuals are affine in s: the fitted curve s m_i + 1 - s and the target
// (data less s times any prescribed components) both are, so
// chi2(s) = sum_i (v_i + s u_i)^2 has a closed-form least-squares optimum.
#ifndef REDORDIST_SOLVER_SCALING_CURVE_SCALING_H
#define REDORDIST_SOLVER_SCALING_CURVE_SCALING_H

#include <vector>

struct CurveScaling {
  double best = 0.0;         // the SCALING of least chi2 within [lo, hi]
  double chi2 = 0.0;         // chi2 there
  double lo4 = 0.0, hi4 = 0.0;  // the SCALINGs within [lo, hi] whose chi2 is within 4 of it
};

// u, v: the weighted residual's slope and value at s = 0 of each point.
CurveScaling curve_scaling(std::vector<double> const& u, std::vector<double> const& v, double lo, double hi);

#endif
