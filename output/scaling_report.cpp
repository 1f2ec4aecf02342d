#include "output/scaling_report.h"

#include <cmath>

#include "output/atomic_file.h"
#include "solver/scaling/scaling_fit.h"
#include "solver/scaling/scaling_trap.h"

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

bool scaling_undetermined(ScalingProfile const& p) {
  return p.at_scan_end || p.hi4 > 1.0 + kScalingAtEnd || p.hi4 - p.lo4 > kScalingAllowedWidth;
}

void report_fitted_scaling(Paar& m) {
  ScalingProfile const& p = m.results.scaling_fit;
  if (!p.fitted) return;
  std::string note = scaling_undetermined(p) ? " (not determined by these data)" : "";
  if (m.setup->mode == "err")
    say(m, format("Fitted SCALING: %.4f +- %.4f%s", m.scaling, scaling_sd(m), note.c_str()));
  else
    say(m, format("Fitted SCALING: %.4f%s", m.scaling, note.c_str()));
  say(m, format("SCALING allowed by the data: %.4f to %.4f (AIC within 4 of the best)", p.lo4, p.hi4));
  if (!p.at_scan_end && p.hi4 > 1.0 + kScalingAtEnd) {
    std::string w = format(
        "warning: the data allow SCALING up to %.2f, past 1 (every pair dephasable): the fitted SCALING "
        "%.4f is not determined; measure longer dephasing or fix SCALING from a reference sample",
        p.hi4, m.scaling);
    m.report().warn(w);
    m.report().log() << w << "\n";
  }
  if (p.at_scan_end) {
    std::string w = format(
        "warning: Fitted SCALING %.4f lies at the end of the range scanned (%.2f to %.2f): the data do "
        "not determine it; measure longer dephasing or fix SCALING from a reference sample",
        m.scaling, p.scan_lo, p.scan_hi);
    m.report().warn(w);
    m.report().log() << w << "\n";
  }
  if (p.hi4 - p.lo4 > kScalingAllowedWidth && !m.results.scaling_trap.found) {
    std::string w = format(
        "warning: the data allow SCALING from %.2f to %.2f: SCALING and mass beyond the longest "
        "measurable distance (%.2f Angstrom) cannot be told apart by these data; the fitted SCALING "
        "and the distribution's far side are not determined",
        p.lo4, p.hi4, m.setup->longest_measurable_distance(m.scaling));
    m.report().warn(w);
    m.report().log() << w << "\n";
  }
}

std::string scaling_trap_warning(Paar const& m) {
  ScalingTrap const& t = m.results.scaling_trap;
  if (!t.found || !t.profile.fitted) return "";
  // The claim (before the first ": ") holds both explanations: the console
  // keeps it whole.
  std::string why = format(
      "no full dephasing cycle there (S/S0's first minimum, lambda_D %.3f, is reached by N_c %.0f only up "
      "to %.2f Angstrom); the share there lies at %.2f Angstrom on average",
      t.lambda_min, gsl_vector_max(m.setup->cycles), t.cycle_distance, t.at);
  std::string range = format("the data allow SCALING %.2f to %.2f", t.profile.lo4, t.profile.hi4);
  std::string advice = "measure longer dephasing, or fix SCALING from a reference sample";
  ScalingPoint const& o = t.other;
  // SCALING as told may lie outside what the data allow: then they do tell.
  bool told_out = !m.results.scaling_fit.fitted &&
                  (m.scaling < t.profile.lo4 - 1e-3 || m.scaling > t.profile.hi4 + 1e-3);
  std::string verdict = told_out ? format("the data prefer the second (they allow SCALING %.2f to %.2f)",
                                          t.profile.lo4, t.profile.hi4)
                                 : std::string("these data cannot tell them apart");
  if (trap_other_clears(t))
    return format("warning: %.0f %% of the mass beyond %.2f Angstrom, or SCALING %.2f with a peak at %.2f "
                  "Angstrom: %s: %s; with SCALING %.2f, %.0f %% lies there (%s); %s",
                  100.0 * t.share, t.cycle_distance, o.scaling, o.peak, verdict.c_str(), why.c_str(),
                  o.scaling, 100.0 * o.beyond, range.c_str(), advice.c_str());
  if (std::fabs(o.scaling - m.scaling) < 0.02)
    return format("warning: %.0f %% of the mass beyond %.2f Angstrom is not placed by these data: %s; %s; %s",
                  100.0 * t.share, t.cycle_distance, why.c_str(), range.c_str(), advice.c_str());
  double peak = gsl_vector_get(m.setup->distances, static_cast<int>(gsl_vector_max_index(m.distribution)));
  return format("warning: SCALING %.2f with a peak at %.2f Angstrom, or SCALING %.2f with a peak at %.2f "
                "Angstrom: %s: %.0f %% of the mass lies beyond %.2f Angstrom, with %s; %s; %s",
                m.scaling, peak, o.scaling, o.peak, verdict.c_str(), 100.0 * t.share, t.cycle_distance,
                why.c_str(), range.c_str(), advice.c_str());
}

void add_scaling_json(Paar const& m, nlohmann::json& j) {
  ScalingTrap const& t = m.results.scaling_trap;
  if (t.found && t.profile.fitted)
    j["scaling_trap"] = {{"cycle_distance", t.cycle_distance},   {"first_minimum_lambda_d", t.lambda_min},
                         {"share_beyond", t.share},              {"scaling_allowed", {t.profile.lo4, t.profile.hi4}},
                         {"other_scaling", t.other.scaling},     {"other_share_beyond", t.other.beyond},
                         {"other_peak", t.other.peak}};
  ScalingProfile const& p = m.results.scaling_fit;
  if (!p.fitted) return;
  if (scaling_undetermined(p)) j["scaling_determined"] = false;
  j["scaling_fitted"] = true;
  j["scaling_allowed"] = {p.lo4, p.hi4};
  if (m.setup->mode == "err") j["scaling_sd"] = scaling_sd(m);
}
