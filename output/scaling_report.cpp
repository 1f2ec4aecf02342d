#include "output/scaling_report.h"

#include "output/atomic_file.h"

namespace {

void say(Paar& m, std::string const& text) {
  m.report().log() << text << "\n";
  m.report().out() << text << "\n";
}

}  // namespace

double scaling_sd(Paar const& m) {
  ScalingProfile const& p = m.results.scaling_fit;
  return 0.5 * (p.hi1 - p.lo1);
}

void report_fitted_scaling(Paar& m) {
  ScalingProfile const& p = m.results.scaling_fit;
  if (!p.fitted) return;
  if (m.setup->mode == "err")
    say(m, format("Fitted SCALING: %.4f +- %.4f", m.scaling, scaling_sd(m)));
  else
    say(m, format("Fitted SCALING: %.4f", m.scaling));
  say(m, format("SCALING allowed by the data: %.4f to %.4f (chi2 within 4 of the best)", p.lo4, p.hi4));
  if (p.at_scan_end) {
    std::string w = format(
        "warning: Fitted SCALING %.4f lies at the end of the range scanned (%.2f to %.2f): the data do "
        "not determine it; measure longer dephasing or fix SCALING from a reference sample",
        m.scaling, p.scan_lo, p.scan_hi);
    m.report().warn(w);
    m.report().log() << w << "\n";
  }
  if (p.hi4 - p.lo4 > kScalingAllowedWidth) {
    std::string w = format(
        "warning: the data allow SCALING from %.2f to %.2f: SCALING and mass beyond the longest "
        "measurable distance (%.2f Angstrom) cannot be told apart by these data; the fitted SCALING "
        "and the distribution's far side are not determined",
        p.lo4, p.hi4, m.setup->longest_measurable_distance(m.scaling));
    m.report().warn(w);
    m.report().log() << w << "\n";
  }
}

void add_scaling_json(Paar const& m, nlohmann::json& j) {
  ScalingProfile const& p = m.results.scaling_fit;
  if (!p.fitted) return;
  j["scaling_fitted"] = true;
  j["scaling_allowed"] = {p.lo4, p.hi4};
  if (m.setup->mode == "err") j["scaling_sd"] = scaling_sd(m);
}
