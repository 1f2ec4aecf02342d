#include "assessment/assessment_grid.h"

#include <algorithm>
#include <cmath>

#include "numeric/format.h"

AssessmentGrid assessment_grid(RunSetup const& s, double longest_measurable) {
  AssessmentGrid g;
  g.near = s.near;
  g.far = std::min(s.far, std::max(2.0 * longest_measurable, s.near + 0.5));
  double span = g.far - g.near;
  g.step = std::max(kAssessCentreStep, span / (kAssessMaxCentres - 1));
  g.centres = static_cast<int>(std::floor(span / g.step + 1e-9)) + 1;
  g.lambda_top = gsl_vector_max(s.cycles) / 2.0 * s.dipolar_constant / std::pow(g.near, 3.0) / s.mas;
  return g;
}

std::string describe(AssessmentGrid const& g) {
  return format("Assessment: %d centres from %.2f to %.2f Angstrom every %.3f Angstrom", g.centres, g.near,
                g.far, g.step);
}
