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

// The plateau differs from the 1 - SCALING the fit assumes by more than
// three of its standard errors and 0.03.
bool plateau_off(Paar const& m, Assessment const& a, double& suggested) {
  LatePlateau const& p = a.plateau;
  if (!p.levelled || m.setup->n_adj > 0) return false;
  double floor = 1.0 - m.scaling;
  suggested = 1.0 - p.level;
  return std::fabs(p.level - floor) > std::max(3.0 * p.level_err, 0.03);
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

std::string positions(std::vector<PeakInfo> const& peaks, bool only_unsupported) {
  std::string s;
  for (PeakInfo const& p : peaks) {
    if (only_unsupported && p.supported) continue;
    s += (s.empty() ? "" : ", ") + format("%.2f", p.position);
  }
  return s;
}

std::string peaks_line(Assessment const& d) {
  std::string s = format("Peaks: %d", static_cast<int>(d.peaks.size()));
  for (size_t i = 0; i < d.peaks.size(); i++)
    s += format("%s %.2f Angstrom (%.0f %%%s)", i == 0 ? ":" : ",", d.peaks[i].position,
                100.0 * d.peaks[i].share, d.peaks[i].supported ? "" : ", not supported");
  if (d.supported_peaks > 0) s += format("; the data support %d", d.supported_peaks);
  return s;
}

// Mode err: the 95 % intervals (solver/uncertainty/interval95.h), after the
// noise-only +- of the lines above.
std::vector<std::string> interval_lines(Paar const& m, Assessment const& d) {
  std::vector<std::string> out;
  std::pair<char const*, Interval95 const*> named[] = {{"Mean distance", &d.mean_interval},
                                                       {"Distance sd", &d.sd_interval},
                                                       {"Effective distance", &d.effective_interval}};
  for (auto const& [name, i] : named)
    if (i->given) out.push_back(format("%s 95 %% interval: %.4f to %.4f Angstrom", name, i->lo, i->hi));
  if (d.scaling_interval.given)
    out.push_back(format("SCALING 95 %% interval: %.4f to %.4f", d.scaling_interval.lo, d.scaling_interval.hi));
  char const* runs = m.results.solver == "annealing" ? "Monte Carlo runs" : "bootstrap replicates";
  for (size_t k = 0; k < d.peaks.size(); k++) {
    PeakInfo const& p = d.peaks[k];
    if (p.runs < 2) continue;
    out.push_back(format("Peak %zu: %.3f +- %.3f Angstrom, share %.0f +- %.0f %% (found in %zu of the %zu %s); "
                         "95 %% interval: %.3f to %.3f Angstrom, share %.0f to %.0f %%",
                         k + 1, p.position, p.position_sd, 100.0 * p.share, 100.0 * p.share_sd, p.found, p.runs,
                         runs, p.position_interval[0], p.position_interval[1], 100.0 * p.share_interval[0],
                         100.0 * p.share_interval[1]));
  }
  if (!out.empty())
    out.push_back(d.width.computed && d.one_gaussian_describes
                      ? "The 95 % intervals join the noise with the shapes the data allow (single Gaussians "
                        "within chi2 + 4, peak models within 2 of the best AIC), so they hold the regularisation's bias as well"
                      : "The 95 % intervals join the noise with the peak models within 2 of the best AIC (one "
                        "Gaussian does not describe these data)");
  return out;
}

// The best model with the number of peaks the data support.
std::string fewest_model(Assessment const& d) {
  Assessment::Model const* best = nullptr;
  for (Assessment::Model const& pm : d.peak_models)
    if (pm.peaks == d.supported_peaks && (!best || pm.aic < best->aic)) best = &pm;
  return best ? best->name : std::string("a simpler model");
}

void fit_warnings(Paar& m, Assessment const& d) {
  int n = m.setup->n_data;
  if (d.chi2.p_high < 1e-3 || d.runs.p_few < 1e-3) {
    // A grid that cuts the distribution off comes first, unless the plateau
    // blames SCALING for the mass at its ends.
    std::string hint = scaling_hint(m, d, true);
    if (hint.empty() && m.results.scaling_trap.found) hint = "(see the warning on SCALING above)";
    std::string grid = hint.empty() && m.edge_share() > kEdgeLimit
                           ? format("NEAR and FAR (%.0f %% of the distribution lies on the grid's ends), ",
                                    100.0 * m.edge_share())
                           : "";
    warn(m, format("warning: the fit does not explain the data (chi2 %.1f for %d points, p = %.2g; "
                   "runs test p = %.2g): check, in this order, %sSCALING%s%s, the errors in the data "
                   "file, MAS, and the nuclei XN and YN",
                   m.chi2, n, d.chi2.p_high, d.runs.p_few, grid.c_str(), hint.empty() ? "" : " ",
                   hint.c_str()));
  } else if (d.chi2.p_low < 1e-3) {
    warn(m, format("warning: chi2 %.1f is far below what %d points with these errors give (p = %.2g): "
                   "the errors in the data file are probably overestimated%s",
                   m.chi2, n, d.chi2.p_low, d.dof_known ? "" : ", or the annealing fits the noise"));
  }
}

// What to quote instead of the moments: the effective distance, or the
// range of it the data allow when the reported one lies outside.
std::string quote_effective(Paar const& m, Assessment const& d) {
  if (d.effective_outside)
    return format("the effective distances %.2f to %.2f Angstrom the data allow", d.width.effective_lo,
                  d.width.effective_hi);
  return format("the effective distance %.2f Angstrom", m.results.effective_distance);
}

// A peak of maxent's distribution within the inner half of its default
// model's taper at a grid end: the prior, not the data, shapes it there. The grid end that
// gives it room; never a wider FAR while the far mass may be SCALING's or
// past the longest measurable distance.
void taper_warnings(Paar& m, Assessment const& d) {
  nlohmann::json const& det = m.results.details;
  auto it = det.find("default_model_taper_angstrom");
  if (m.results.solver != "maxent" || it == det.end() || !it->is_number()) return;
  double taper = it->get<double>(), near = m.setup->near, far = m.setup->far, room = 2.0 * m.setup->grain;
  double lmd = m.setup->longest_measurable_distance(m.scaling);
  for (PeakInfo const& p : d.peaks) {
    // Within half the taper the prior weight falls below a half.
    bool at_near = p.position - near < 0.5 * taper, at_far = far - p.position < 0.5 * taper;
    if (at_near && p.position - taper - room > 0.5)
      warn(m, format("warning: maxent's peak at %.2f Angstrom lies within its default model's taper (%.2f "
                     "Angstrom from NEAR %g): the grid end is too close for maxent; lower NEAR to %.1f "
                     "Angstrom",
                     p.position, taper, near, std::floor(10.0 * (p.position - taper - room)) / 10.0));
    else if (at_far && !m.results.scaling_trap.found && p.position + taper + room <= lmd)
      warn(m, format("warning: maxent's peak at %.2f Angstrom lies within its default model's taper (%.2f "
                     "Angstrom from FAR %g): the grid end is too close for maxent; widen FAR to %.1f "
                     "Angstrom",
                     p.position, taper, far, std::ceil(10.0 * (p.position + taper + room)) / 10.0));
  }
}

void shape_warnings(Paar& m, Assessment const& d) {
  bool sd_open = !d.sd_determined && !d.sd_disagrees, mean_open = !d.mean_determined && !d.mean_disagrees;
  if (sd_open || mean_open)
    warn(m, format("warning: the %s not determined by these data: %s; quote %s and the allowed widths "
                   "rather than the %s",
                   !sd_open ? "mean distance is" : !mean_open ? "width is" : "width and the mean distance are",
                   d.width_problem.c_str(), quote_effective(m, d).c_str(),
                   !sd_open ? "mean" : !mean_open ? "sd" : "mean and the sd"));
  if (d.sd_disagrees || d.mean_disagrees)
    warn(m, format("warning: the reported %s disagree%s with what these data allow: %s; quote the allowed "
                   "range%s rather than the reported value%s",
                   !d.sd_disagrees ? "mean distance" : !d.mean_disagrees ? "sd" : "sd and mean distance",
                   d.sd_disagrees && d.mean_disagrees ? "" : "s", d.disagree_problem.c_str(),
                   d.sd_disagrees && d.mean_disagrees ? "s" : "", d.sd_disagrees && d.mean_disagrees ? "s" : ""));
  if (d.effective_outside)
    warn(m, format("warning: the reported effective distance %.2f Angstrom lies outside the %.2f to %.2f "
                   "Angstrom of the single Gaussians these data allow (chi2 within 1 of the best): quote that "
                   "range rather than the reported value",
                   m.results.effective_distance, d.width.effective_lo, d.width.effective_hi));
  int unsupported = 0;
  for (PeakInfo const& p : d.peaks) unsupported += p.supported ? 0 : 1;
  // Peaks beyond one cycle alone: the warning on SCALING has said it.
  if (!d.peaks_supported && unsupported > d.peaks_beyond_cycle) {
    int n = static_cast<int>(d.peaks.size());
    int k = d.supported_peaks;
    warn(m, format("warning: the data do not support %d peaks (at %s Angstrom): %d peak%s (%s) fit%s "
                   "them within 2 of the best AIC; the peak%s at %s Angstrom may be the solver's own",
                   n, positions(d.peaks, false).c_str(), k, k > 1 ? "s" : "", fewest_model(d).c_str(),
                   k > 1 ? "" : "s", n - k > 1 ? "s" : "", positions(d.peaks, true).c_str()));
  }
  for (std::string const& c : d.component_problems) warn(m, "warning: " + c);
  taper_warnings(m, d);
}

double share_beyond(Paar const& m, double r) {
  double s = 0.0;
  for (int j = 0; j < m.setup->n_grid; j++)
    if (gvg(m.setup->distances, j) > r) s += gvg(m.distribution, j);
  return s;
}

}  // namespace

bool report_edge_advice(Paar& m, Assessment const& a, double edge_share, double lmd) {
  // Mass beyond one dephasing cycle that a lower SCALING explains as well:
  // a wider grid would only move it further out, so no advice points there.
  std::string trap = scaling_trap_warning(m);
  if (!trap.empty()) {
    m.report().warn(trap);
    m.report().log() << trap << "\n";
    return true;
  }
  double const limit = kEdgeLimit;
  int n = m.setup->n_grid;
  double far2 = n >= 4 ? gvg(m.distribution, n - 1) + gvg(m.distribution, n - 2) : 0.0;
  double near2 = edge_share - far2;
  bool far_side = far2 >= near2;
  std::string hint = scaling_hint(m, a);
  double beyond = share_beyond(m, lmd);
  bool piled = edge_share > limit;
  if (!piled && !(beyond > limit && !hint.empty())) return false;
  std::string advice;
  if (!hint.empty()) {
    advice = "check SCALING first " + hint;
    if (far_side || !piled) advice += "; a wider FAR would only move this share further out";
  } else if (near2 > 0.5 * limit && far2 > 0.5 * limit && m.setup->far < lmd - m.setup->grain) {
    advice = format("lower NEAR and widen FAR, to at most the longest measurable distance %.2f Angstrom", lmd);
  } else if (far_side && m.setup->far < lmd - m.setup->grain) {
    advice = format("widen FAR, to at most the longest measurable distance %.2f Angstrom", lmd);
  } else if (far_side) {
    advice = format("FAR already reaches the longest measurable distance %.2f Angstrom, so a wider "
                    "FAR will not help: this share is signal that does not dephase within the "
                    "experiment (pairs not labelled, or distances beyond %.2f Angstrom); check SCALING",
                    lmd, lmd);
  } else {
    advice = "lower NEAR";
  }
  std::string line =
      piled ? format("warning: %.1f %% of the distribution lies on the first two or last two grid "
                     "distances: the data may not constrain it; ",
                     100.0 * edge_share)
            : format("warning: %.1f %% of the distribution lies beyond the longest measurable "
                     "distance %.2f Angstrom; ",
                     100.0 * beyond, lmd);
  line += advice;
  m.report().warn(line);
  m.report().log() << line << "\n";
  return far_side || !piled;
}

std::string scaling_hint(Paar const& m, Assessment const& a, bool brief) {
  double suggested = 0.0;
  if (!plateau_off(m, a, suggested)) return "";
  LatePlateau const& p = a.plateau;
  if (brief) return format("(near %.2f by the curve's late plateau)", suggested);
  return format(
      "(the curve levels off at S/S0 %.3f +- %.3f from N_c %.0f on, where SCALING %.4g "
      "would let it fall to %.3f: it suggests SCALING near %.2f, more if the curve has "
      "not finished dephasing)",
      p.level, p.level_err, p.from_cycles, m.scaling, 1.0 - m.scaling, suggested);
}

std::string sd_note(Assessment const& d) {
  if (!d.computed || d.sd_determined) return "";
  return d.sd_disagrees ? " (outside what these data allow)" : " (not determined by these data)";
}

std::string mean_note(Assessment const& d) {
  if (!d.computed || d.mean_determined) return "";
  return d.mean_disagrees ? " (outside what these data allow)" : " (not determined by these data)";
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
  fit_warnings(m, d);
  shape_warnings(m, d);
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
  if (d.sd_disagrees || d.mean_disagrees || d.effective_outside)
    dist["outside_allowed"] = {{"sd", d.sd_disagrees}, {"mean", d.mean_disagrees}, {"effective", d.effective_outside}};
  nlohmann::json peaks = nlohmann::json::array();
  for (PeakInfo const& p : d.peaks) {
    peaks.push_back({{"position", p.position}, {"share", p.share}, {"supported", p.supported}});
    if (p.runs < 2) continue;
    nlohmann::json& e = peaks.back();
    e["position_mc_sd"] = p.position_sd, e["share_mc_sd"] = p.share_sd;
    e["found_in_runs"] = p.found, e["mc_runs"] = p.runs;
    e["position_interval"] = p.position_interval, e["share_interval"] = p.share_interval;
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
