#include "output/determined_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "assessment/assessment_grid.h"
#include "output/atomic_file.h"
#include "numeric/numeric.h"
#include "assessment/advice.h"
#include "assessment/assess.h"
#include "output/scaling_report.h"

namespace {

void say(Paar& m, std::string const& line) {
  m.report().log() << line << "\n";
  m.report().out() << line << "\n";
}

void warn(Paar& m, std::string const& line) {
  m.report().warn(line);
  m.report().log() << line << "\n";
}


std::string fit_line(Paar const& m, Assessment const& d) {
  std::string used = d.dof_known ? format("%.1f used by the solver", d.dof_used)
                                 : std::string("none subtracted: the annealing's are not known");
  std::string chi = d.chi2.nu >= 1.0 ? format("p = %.3g above, %.3g below", d.chi2.p_high, d.chi2.p_low)
                                     : std::string("not tested");
  return format(
      "Goodness of fit: chi2 %.2f for %d points (%s): %s; runs test: %d runs of %d residual "
      "signs (%.1f expected), p = %.3g (%s)",
      m.chi2, m.setup->n_data, used.c_str(), chi.c_str(), d.runs.runs, d.runs.n_plus + d.runs.n_minus,
      d.runs.expected, d.runs.p_few, d.runs.exact ? "exact" : "normal approximation");
}

// The spread of r_eff over the Monte Carlo runs or replicates, or, when
// larger, half the range of r_eff over the single Gaussians within delta
// chi2 1: the runs start from the fitted shape and can miss the shapes the
// data allow but the fit did not take (a narrow fit's runs stay narrow).
double effective_sd(Paar const& m, Assessment const& d) {
  double sd = m.results.mc.distance.effective_sd;
  if (d.computed && d.width.computed && d.one_gaussian_describes)
    sd = std::max(sd, 0.5 * (d.width.effective_hi - d.width.effective_lo));
  return sd;
}


std::string peaks_line(Assessment const& d) { return "Peaks:" + peak_list(d.peaks, d.supported_peaks, "data"); }

// Mode err: the 95 % intervals (solver/uncertainty/interval95.h), after the
// noise-only +- of the lines above.
std::vector<std::string> interval_lines(Paar const& m, Assessment const& d) {
  std::vector<std::string> out;
  std::pair<char const*, Interval95 const*> named[] = {{"Mean distance", &d.mean_interval},
                                                       {"Distance sd", &d.sd_interval},
                                                       {"Effective distance", &d.effective_interval}};
  for (auto const& [name, i] : named)
    if (i->given) out.push_back(format("%s 95 %% interval: %.4f to %.4f Angstrom", name, i->lo, i->hi));
  if (d.chi2_fails() && m.results.mc.distance.runs >= 2)
    out.push_back("Effective distance: not determined by these data (the fit does not explain them): no 95 % interval");
  if (d.scaling_interval.given)
    out.push_back(format("SCALING 95 %% interval: %.4f to %.4f", d.scaling_interval.lo, d.scaling_interval.hi));
  char const* runs = m.results.solver == "annealing" ? "Monte Carlo runs" : "bootstrap replicates";
  for (size_t k = 0; k < d.peaks.size(); k++) {
    PeakInfo const& p = d.peaks[k];
    if (p.runs < 2) continue;
    std::string line = format("Peak %zu: %.3f +- %.3f Angstrom, share %.0f +- %.0f %% (found in %zu of the %zu %s); ",
                              k + 1, p.position, p.position_sd, 100.0 * p.share, 100.0 * p.share_sd, p.found,
                              p.runs, runs);
    // A peak the data do not support has no position or share to hold.
    out.push_back(line + (p.supported ? format("95 %% interval: %.3f to %.3f Angstrom, share %.0f to %.0f %%",
                                               p.position_interval[0], p.position_interval[1],
                                               100.0 * p.share_interval[0], 100.0 * p.share_interval[1])
                                      : std::string("not supported by these data: no 95 % interval")));
  }
  if (!out.empty() && !d.chi2_fails())
    out.push_back(d.width.computed && d.one_gaussian_describes
                      ? "The 95 % intervals join the noise with the shapes the data allow (single Gaussians "
                        "within chi2 + 4, peak models within 2 of the best AIC), so they hold the regularisation's bias as well"
                      : "The 95 % intervals join the noise with the peak models within 2 of the best AIC (one "
                        "Gaussian does not describe these data)");
  return out;
}







}  // namespace

bool report_edge_advice(Paar& m, Assessment const& a, double edge_share, double lmd) {
  // Mass beyond one dephasing cycle that a lower SCALING explains as well:
  // a wider grid would only move it further out, so no advice points there.
  std::string trap = scaling_trap_warning(m);
  if (!trap.empty()) {
    warn(m, trap);
    return true;
  }
  EdgeAdvice e = edge_advice(m, a, edge_share, lmd);
  if (!e.warning.empty()) warn(m, e.warning);
  return e.speaks_of_far;
}



std::string sd_note(Assessment const& d) {
  if (!d.computed || d.sd_determined) return "";
  return d.sd_disagrees ? " (outside what these data allow)" : " (not determined by these data)";
}

std::string mean_note(Assessment const& d) {
  if (!d.computed || d.mean_determined) return "";
  return d.mean_disagrees ? " (outside what these data allow)" : " (not determined by these data)";
}

std::string peak_list(std::vector<PeakInfo> const& peaks, int supported, char const* who) {
  std::string s = format(" %d", static_cast<int>(peaks.size()));
  for (size_t i = 0; i < peaks.size(); i++)
    s += format("%s %.2f Angstrom (%.0f %%%s)", i == 0 ? ":" : ",", peaks[i].position, 100.0 * peaks[i].share,
                peaks[i].supported ? "" : ", not supported");
  if (supported > 0) s += format("; the %s support %d", who, supported);
  return s;
}

void report_determined(Paar& m, Assessment const& d) {
  McDistance const& mc = m.results.mc.distance;
  if (mc.runs >= 2)
    say(m,
        format("Effective distance: %.4f +- %.4f Angstrom", m.results.effective_distance, effective_sd(m, d)));
  else
    say(m, format("Effective distance: %.4f Angstrom", m.results.effective_distance));
  if (!d.computed) return;
  if (mc.runs < 2 && d.width.computed && d.one_gaussian_describes)
    say(m, format("Effective distance allowed by the data: %.3f to %.3f Angstrom (single Gaussians within "
                  "chi2 1 of the best)",
                  d.width.effective_lo, d.width.effective_hi));
  if (d.width.computed) {
    say(m, format("Width allowed by the data: %.3f to %.3f Angstrom (sd %.3f to %.3f, mean %.3f to %.3f "
                  "Angstrom on this grid%s)",
                  d.width.width_lo, d.width.width_hi, d.width.sd_lo, d.width.sd_hi, d.width.mean_lo,
                  d.width.mean_hi, d.one_gaussian_describes ? "" : "; one Gaussian does not describe these data"));
    say(m, format("Centre allowed by the data: %.3f to %.3f Angstrom", d.width.centre_lo, d.width.centre_hi));
  }
  say(m, fit_line(m, d));
  say(m, peaks_line(d));
  for (std::string const& line : interval_lines(m, d)) say(m, line);
  for (std::string const& w : judged_warnings(m, d)) warn(m, w);
  m.report().log() << describe(d.grid) << "\n";
}

void add_determined_json(Paar const& m, Assessment const& d, nlohmann::json& j) {
  nlohmann::json& dist = j["distance"];
  dist["effective"] = m.results.effective_distance;
  if (m.results.mc.distance.runs >= 2) {
    dist["effective_sd"] = effective_sd(m, d);
    dist["effective_mc_sd"] = m.results.mc.distance.effective_sd;
  }
  if (!d.computed) return;
  if (d.width.computed) {
    dist["width_allowed"] = {d.width.width_lo, d.width.width_hi};
    dist["centre_allowed"] = {d.width.centre_lo, d.width.centre_hi};
    dist["sd_allowed"] = {d.width.sd_lo, d.width.sd_hi};
    dist["mean_allowed"] = {d.width.mean_lo, d.width.mean_hi};
    dist["effective_allowed"] = {d.width.effective_lo, d.width.effective_hi};
    dist["one_gaussian_describes"] = d.one_gaussian_describes;
  }
  dist["sd_determined"] = d.sd_determined;
  dist["mean_determined"] = d.mean_determined;
  if (d.chi2_fails() || (d.width.computed && (d.one_gaussian_describes || d.effective_by_models)))
    dist["effective_determined"] = d.effective_determined;
  if (d.chi2_fails()) dist["chi2_fails"] = true;
  if (d.effective_by_models) dist["effective_models"] = {d.effective_models_lo, d.effective_models_hi};
  if (d.effective_by_scaling)
    dist["effective_over_scaling"] = {{"scaling", {d.effective_scaling_lo, d.effective_scaling_hi}},
                                      {"effective", {d.effective_scaling_r_lo, d.effective_scaling_r_hi}}};
  if (d.sd_disagrees || d.mean_disagrees || d.effective_outside)
    dist["outside_allowed"] = {{"sd", d.sd_disagrees}, {"mean", d.mean_disagrees}, {"effective", d.effective_outside}};
  nlohmann::json peaks = nlohmann::json::array();
  for (PeakInfo const& p : d.peaks) {
    peaks.push_back({{"position", p.position}, {"share", p.share}, {"supported", p.supported}});
    if (p.supported && !d.peak_models.empty())
      peaks.back()["position_determined"] = p.placed, peaks.back()["position_allowed"] = p.placed_range;
    if (p.runs < 2) continue;
    nlohmann::json& e = peaks.back();
    e["position_mc_sd"] = p.position_sd, e["share_mc_sd"] = p.share_sd;
    e["found_in_runs"] = p.found, e["mc_runs"] = p.runs;
    if (p.supported) e["position_interval"] = p.position_interval, e["share_interval"] = p.share_interval;
  }
  dist["peaks"] = peaks;
  std::pair<char const*, Interval95 const*> named[] = {
      {"mean_interval", &d.mean_interval}, {"sd_interval", &d.sd_interval}, {"effective_interval", &d.effective_interval}};
  for (auto const& [key, i] : named)
    if (i->given) dist[key] = {i->lo, i->hi};
  if (d.scaling_interval.given) j["scaling_interval"] = {d.scaling_interval.lo, d.scaling_interval.hi};
  nlohmann::json models = nlohmann::json::array();
  for (Assessment::Model const& pm : d.peak_models)
    models.push_back({{"model", pm.name}, {"aic", pm.aic}, {"peaks", pm.peaks}});
  dist["peak_models"] = models;
  dist["supported_peaks"] = d.supported_peaks;
  if (d.edge_pile.found)
    dist["edge_pile"] = {{"at", d.edge_pile.at_far ? "FAR" : "NEAR"},
                         {"share", d.edge_pile.share},
                         {"mean_without", d.edge_pile.mean_without},
                         {"sd_without", d.edge_pile.sd_without}};
  if (d.plateau.levelled)
    j["late_plateau"] = {{"level", d.plateau.level},
                         {"level_sd", d.plateau.level_err},
                         {"from_cycles", d.plateau.from_cycles},
                         {"points", d.plateau.points}};
  j["goodness_of_fit"] = {
      {"chi2", d.chi2.chi2},
      {"dof_used_by_solver", d.dof_known ? nlohmann::json(d.dof_used) : nlohmann::json(nullptr)},
      {"degrees_of_freedom", d.chi2.nu},
      {"p_chi2_above", d.chi2.p_high},
      {"p_chi2_below", d.chi2.p_low},
      {"runs", d.runs.runs},
      {"runs_expected", d.runs.expected},
      {"p_runs_few", d.runs.p_few},
      {"runs_test", d.runs.exact ? "exact" : "normal approximation"}};
}
