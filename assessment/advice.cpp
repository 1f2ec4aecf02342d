#include "assessment/advice.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "numeric/format.h"
#include "numeric/numeric.h"

namespace {

// The plateau differs from the 1 - SCALING the fit assumes by more than
// three of its standard errors and 0.03.
bool plateau_off(Paar const& m, Assessment const& a, double& suggested) {
  LatePlateau const& p = a.plateau;
  if (!p.levelled || m.setup->n_adj > 0) return false;
  double floor = 1.0 - m.scaling;
  suggested = 1.0 - p.level;
  return std::fabs(p.level - floor) > std::max(3.0 * p.level_err, 0.03);
}

std::string positions(std::vector<PeakInfo> const& peaks, bool only_unsupported) {
  std::string s;
  for (PeakInfo const& p : peaks) {
    if (only_unsupported && p.supported) continue;
    s += (s.empty() ? "" : ", ") + format("%.2f", p.position);
  }
  return s;
}

// The best model with the number of peaks the data support.
std::string fewest_model(Assessment const& d) {
  Assessment::Model const* best = nullptr;
  for (Assessment::Model const& pm : d.peak_models)
    if (pm.peaks == d.supported_peaks && (!best || pm.aic < best->aic)) best = &pm;
  return best ? best->name : std::string("a simpler model");
}

void fit_warnings(Paar const& m, Assessment const& d, std::vector<std::string>& out) {
  int n = m.setup->n_data;
  if (!d.fit_explains()) {
    // A grid that cuts the distribution off comes first, unless the plateau
    // blames SCALING for the mass at its ends.
    std::string hint = scaling_hint(m, d, true);
    if (hint.empty() && m.results.scaling_trap.found) hint = "(see the warning on SCALING above)";
    std::string grid = hint.empty() && m.edge_share() > kEdgeLimit
                           ? format("NEAR and FAR (%.0f %% of the distribution lies on the grid's ends), ",
                                    100.0 * m.edge_share())
                           : "";
    // The claim (before the first ": ") is what the console keeps whole.
    out.push_back(format("warning: the fit does not explain the data (chi2 %.1f for %d points, p = %.2g; "
                   "runs test p = %.2g)%s: check, in this order, %sSCALING%s%s, the errors in the data "
                   "file, MAS, and the nuclei XN and YN",
                   m.chi2, n, d.chi2.p_high, d.runs.p_few,
                   d.chi2_fails() ? ", so none of its numbers (effective distance, mean, sd, peaks) is determined"
                                  : "",
                   grid.c_str(), hint.empty() ? "" : " ", hint.c_str()));
  } else if (d.chi2.p_low < 1e-3) {
    out.push_back(format("warning: chi2 %.1f is far below what %d points with these errors give (p = %.2g): "
                   "the errors in the data file are probably overestimated%s",
                   m.chi2, n, d.chi2.p_low, d.dof_known ? "" : ", or the annealing fits the noise"));
  }
}

// The span of effective distances to quote when r_eff is not determined:
// the peak models' (where one Gaussian does not describe the data) or the
// single Gaussians', each with the solver's fits at other SCALINGs that widened it.
std::array<double, 2> effective_quoted(Assessment const& d) {
  if (d.effective_by_models) return {d.effective_models_lo, d.effective_models_hi};
  double lo = d.width.effective_lo, hi = d.width.effective_hi;
  if (d.effective_by_scaling) lo = std::min(lo, d.effective_scaling_r_lo), hi = std::max(hi, d.effective_scaling_r_hi);
  return {lo, hi};
}

// What to quote instead of the moments: the effective distance, or the
// range of it the data allow when the reported one lies outside or the range is wide.
std::string quote_effective(Paar const& m, Assessment const& d) {
  if (!d.effective_determined)
    return format("the effective distances %.2f to %.2f Angstrom the data allow", effective_quoted(d)[0],
                  effective_quoted(d)[1]);
  return format("the effective distance %.2f Angstrom", m.results.effective_distance);
}

// The clause on the solver's fits at other SCALINGs that widened the span.
std::string scaling_fits_clause(Assessment const& d) {
  return format(" and the solver's fits at SCALING %.2f to %.2f (criterion within 2 of the best; effective "
                "distances %.2f to %.2f Angstrom)",
                d.effective_scaling_lo, d.effective_scaling_hi, d.effective_scaling_r_lo, d.effective_scaling_r_hi);
}

// A peak of maxent's distribution within the inner half of its default
// model's taper at a grid end: the prior, not the data, shapes it there. The grid end that
// gives it room; never a wider FAR while the far mass may be SCALING's or
// past the longest measurable distance.
void taper_warnings(Paar const& m, Assessment const& d, std::vector<std::string>& out) {
  nlohmann::json const& det = m.results.details;
  auto it = det.find("default_model_taper_angstrom");
  if (m.results.solver != "maxent" || it == det.end() || !it->is_number()) return;
  double taper = it->get<double>(), near = m.setup->near, far = m.setup->far, room = 2.0 * m.setup->grain;
  double lmd = m.setup->longest_measurable_distance(m.scaling);
  for (PeakInfo const& p : d.peaks) {
    // Within half the taper the prior weight falls below a half.
    bool at_near = p.position - near < 0.5 * taper, at_far = far - p.position < 0.5 * taper;
    if (at_near && p.position - taper - room > 0.5)
      out.push_back(format("warning: maxent's peak at %.2f Angstrom lies within its default model's taper (%.2f "
                     "Angstrom from NEAR %g): the grid end is too close for maxent; lower NEAR to %.1f "
                     "Angstrom",
                     p.position, taper, near, std::floor(10.0 * (p.position - taper - room)) / 10.0));
    else if (at_far && !m.results.scaling_trap.found && p.position + taper + room <= lmd)
      out.push_back(format("warning: maxent's peak at %.2f Angstrom lies within its default model's taper (%.2f "
                     "Angstrom from FAR %g): the grid end is too close for maxent; widen FAR to %.1f "
                     "Angstrom",
                     p.position, taper, far, std::ceil(10.0 * (p.position + taper + room)) / 10.0));
  }
}

// What the data leave open of the fitted shape. A fit that does not explain
// the data has said that of every number already.
void shape_warnings(Paar const& m, Assessment const& d, std::vector<std::string>& out) {
  if (d.chi2_fails()) return;
  bool sd_open = !d.sd_determined && !d.sd_disagrees, mean_open = !d.mean_determined && !d.mean_disagrees;
  if (sd_open || mean_open)
    out.push_back(format("warning: the %s not determined by these data: %s; quote %s and the allowed widths "
                   "rather than the %s",
                   !sd_open ? "mean distance is" : !mean_open ? "width is" : "width and the mean distance are",
                   d.width_problem.c_str(), quote_effective(m, d).c_str(),
                   !sd_open ? "mean" : !mean_open ? "sd" : "mean and the sd"));
  if (d.sd_disagrees || d.mean_disagrees)
    out.push_back(format("warning: the reported %s disagree%s with what these data allow: %s; quote the allowed "
                   "range%s rather than the reported value%s",
                   !d.sd_disagrees ? "mean distance" : !d.mean_disagrees ? "sd" : "sd and mean distance",
                   d.sd_disagrees && d.mean_disagrees ? "" : "s", d.disagree_problem.c_str(),
                   d.sd_disagrees && d.mean_disagrees ? "s" : "", d.sd_disagrees && d.mean_disagrees ? "s" : ""));
  if (d.effective_outside)
    out.push_back(format("warning: the reported effective distance %.2f Angstrom lies outside the %.2f to %.2f "
                   "Angstrom of the single Gaussians these data allow (chi2 within 1 of the best): quote that "
                   "range rather than the reported value",
                   m.results.effective_distance, d.width.effective_lo, d.width.effective_hi));
  else if (!d.effective_determined && d.effective_by_models)
    out.push_back(format("warning: the effective distance is not determined by these data: the reported %.2f "
                         "Angstrom%s the peak models within 2 of the best AIC (1 to 3 Gaussians, a skewed and a "
                         "flat-topped peak)%s span %.2f to %.2f Angstrom, more than 1.5 %% either way; quote %.2f to "
                         "%.2f Angstrom rather than the reported value",
                         m.results.effective_distance, d.effective_by_scaling ? "," : " and",
                         d.effective_by_scaling ? scaling_fits_clause(d).c_str() : "",
                         d.effective_models_lo, d.effective_models_hi, d.effective_models_lo, d.effective_models_hi));
  else if (!d.effective_determined)
    out.push_back(format("warning: the effective distance is not determined by these data: the single Gaussians "
                         "they allow (chi2 within 1 of the best)%s have effective distances from %.2f to %.2f "
                         "Angstrom; quote %.2f to %.2f Angstrom rather than the reported %.2f",
                         d.effective_by_scaling ? scaling_fits_clause(d).c_str() : "", effective_quoted(d)[0],
                         effective_quoted(d)[1], effective_quoted(d)[0], effective_quoted(d)[1],
                         m.results.effective_distance));
  int unsupported = 0;
  for (PeakInfo const& p : d.peaks) unsupported += p.supported ? 0 : 1;
  // Peaks beyond one cycle alone: the warning on SCALING has said it.
  if (!d.peaks_supported && unsupported > d.peaks_beyond_cycle) {
    int n = static_cast<int>(d.peaks.size());
    int k = d.supported_peaks;
    out.push_back(format("warning: the data do not support %d peaks (at %s Angstrom): %d peak%s (%s) fit%s "
                   "them within 2 of the best AIC; the peak%s at %s Angstrom may be the solver's own",
                   n, positions(d.peaks, false).c_str(), k, k > 1 ? "s" : "", fewest_model(d).c_str(),
                   k > 1 ? "" : "s", n - k > 1 ? "s" : "", positions(d.peaks, true).c_str()));
  }
  for (PeakInfo const& p : d.peaks)
    if (p.supported && !p.placed)
      out.push_back(format("warning: the position of the peak at %.2f Angstrom is not determined by these data: "
                           "the peak models within 2 of the best AIC (1 to 3 Gaussians, a skewed and a "
                           "flat-topped peak)%s put it from %.2f to %.2f Angstrom; quote %.2f to %.2f Angstrom",
                           p.position,
                           d.peaks_by_scaling ? format(" and the solver's fits at SCALING %.2f to %.2f (criterion "
                                                       "within 2 of the best)",
                                                       d.peaks_scaling_lo, d.peaks_scaling_hi).c_str()
                                              : "",
                           p.placed_range[0], p.placed_range[1], p.placed_range[0], p.placed_range[1]));
}

// Mass the solver put where the grid or its prior shapes it: said whether
// or not the fit explains the data.
void placement_warnings(Paar const& m, Assessment const& d, std::vector<std::string>& out) {
  for (std::string const& c : d.component_problems) out.push_back("warning: " + c);
  if (d.edge_pile.found) {
    Assessment::EdgePile const& e = d.edge_pile;
    int n = m.setup->n_grid, a = e.at_far ? n - 2 : 0;
    out.push_back(format("warning: %.1f %% of the distribution lies at %s (%.2f and %.2f Angstrom) and enters the "
                         "mean and the sd; without it they are %.2f and %.2f Angstrom: a share where the grid "
                         "stops may be the solver's own",
                         100.0 * e.share, e.at_far ? "FAR" : "NEAR", gvg(m.setup->distances, a),
                         gvg(m.setup->distances, a + 1), e.mean_without, e.sd_without));
  }
  taper_warnings(m, d, out);
}

double share_beyond(Paar const& m, double r) {
  double s = 0.0;
  for (int j = 0; j < m.setup->n_grid; j++)
    if (gvg(m.setup->distances, j) > r) s += gvg(m.distribution, j);
  return s;
}

}  // namespace

std::vector<std::string> judged_warnings(Paar const& m, Assessment const& a) {
  std::vector<std::string> out;
  fit_warnings(m, a, out);
  shape_warnings(m, a, out);
  placement_warnings(m, a, out);
  return out;
}

EdgeAdvice edge_advice(Paar const& m, Assessment const& a, double edge_share, double lmd) {
  double const limit = kEdgeLimit;
  int n = m.setup->n_grid;
  double far2 = n >= 4 ? gvg(m.distribution, n - 1) + gvg(m.distribution, n - 2) : 0.0;
  double near2 = edge_share - far2;
  bool far_side = far2 >= near2;
  std::string hint = scaling_hint(m, a);
  double beyond = share_beyond(m, lmd);
  bool piled = edge_share > limit;
  if (!piled && !(beyond > limit && !hint.empty())) return {};
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
  return {line + advice, far_side || !piled};
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
