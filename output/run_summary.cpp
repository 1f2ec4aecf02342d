#include "output/run_summary.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>
#include <iostream>

#include <gsl/gsl_rng.h>

#include "model/effective_distance.h"
#include "numeric/numeric.h"
#include "numeric/warnings.h"
#include "output/atomic_file.h"
#include "output/determined_report.h"
#include "output/run_directory.h"
#include "output/scaling_report.h"
#include "output/sim_report.h"
#include "output/tidy_tables.h"

namespace {


void say(Paar& m, std::string const& text) {
  m.report().log() << text << "\n";
  m.report().out() << text << "\n";
}

// Skewness and kurtosis have no value for a distribution on one distance
// (calc_dist_stats leaves them NaN; the summary holds null).
std::string shape_line(char const* name, double v) {
  char b[120];
  if (std::isnan(v)) std::snprintf(b, sizeof b, "%s: not defined (the distribution lies on one distance)", name);
  else std::snprintf(b, sizeof b, "%s: %.4f", name, v);
  return b;
}

nlohmann::json moments(std::array<double, 4> const& v, char const* unit) {
  return {{"mean", v[0]}, {"sd", v[1]}, {"skewness", v[2]}, {"excess_kurtosis", v[3] - 3.0},
          {"unit", unit}};
}

nlohmann::json kernel(Paar const& m) {
  if (m.setup->have_curve)
    return {{"type", "curve"}, {"file", m.setup->lambda_d_file}, {"points", m.setup->curve.lambda.size()}};
  if (m.setup->per_2pi == 0) return {{"type", "exact"}};
  return {{"type", "powder"}, {"per_2pi", m.setup->per_2pi}, {"mid_pulse_us", m.setup->mid_pulse}};
}

void add_median_mode(Paar const& m, nlohmann::json& d) {
  std::vector<double> p(m.setup->n_grid), r(m.setup->n_grid);
  for (int j = 0; j < m.setup->n_grid; j++) {
    p[j] = gvg(m.distribution, j);
    r[j] = gvg(m.setup->distances, j);
  }
  d["median"] = distribution_median(p.data(), r.data(), p.size());
  d["mode"] = distribution_mode(p.data(), r.data(), p.size());
}

// The 2.5 and 97.5 percentiles over the runs, and the spread of the median
// and mode.
void add_percentiles(McDistance const& mc, nlohmann::json& d) {
  std::pair<char const*, std::array<double, 2> const*> named[] = {
      {"mean", &mc.mean_p}, {"sd", &mc.sd_p}, {"effective", &mc.effective_p},
      {"median", &mc.median_p}, {"mode", &mc.mode_p}};
  for (auto const& [name, p] : named) {
    d[std::string(name) + "_p025"] = (*p)[0];
    d[std::string(name) + "_p975"] = (*p)[1];
  }
  d["median_mc_sd"] = mc.median_sd;
  d["mode_mc_sd"] = mc.mode_sd;
}

}  // namespace

Diagnostics report_diagnostics(Paar& m, Assessment const& a) {
  Diagnostics d;
  d.computed = true;
  d.edge_share = m.edge_share();
  d.longest_measurable_distance = m.setup->longest_measurable_distance(m.scaling);
  char b[400];
  std::snprintf(b, sizeof b, "Edge share: %.4f (distribution on the first two and last two grid distances)",
                d.edge_share);
  say(m, b);
  std::snprintf(b, sizeof b, "Longest measurable distance: %.3f Angstrom", d.longest_measurable_distance);
  say(m, b);
  bool far_covered = report_edge_advice(m, a, d.edge_share, d.longest_measurable_distance);
  if (m.setup->far > d.longest_measurable_distance && !far_covered) {
    std::snprintf(b, sizeof b,
                  "warning: FAR %g Angstrom lies beyond the longest measurable distance %.2f "
                  "Angstrom: there the longest dephasing time changes S/S0 by less than twice the "
                  "median error",
                  m.setup->far, d.longest_measurable_distance);
    m.report().warn(b);
    m.report().log() << b << "\n";
  }
  return d;
}

void report_result_lines(Paar& m, Assessment const& a) {
  char b[200];
  std::snprintf(b, sizeof b, "Result chi2: %.4f for %d points (%.4f per point)", m.chi2, m.setup->n_data,
                m.chi2 / m.setup->n_data);
  say(m, b);
  McDistance const& mc = m.results.mc.distance;
  // In mode err each number carries the spread over the runs (or replicates).
  auto pm = [&](double sd) {
    char t[40] = "";
    if (mc.runs >= 2) std::snprintf(t, sizeof t, " +- %.4f", sd);
    return std::string(t);
  };
  std::snprintf(b, sizeof b, "Mean distance: %.4f%s Angstrom%s", m.results.distance_moments[0],
                pm(mc.mean_sd).c_str(), mean_note(a).c_str());
  say(m, b);
  std::snprintf(b, sizeof b, "Distance sd: %.4f%s Angstrom%s", m.results.distance_moments[1],
                pm(mc.sd_sd).c_str(), sd_note(a).c_str());
  say(m, b);
  say(m, shape_line("Distance skewness", m.results.distance_moments[2]));
  say(m, shape_line("Distance excess kurtosis", m.results.distance_moments[3] - 3.0));
  report_fitted_scaling(m);
  report_determined(m, a);
  if (mc.runs >= 2) {
    std::snprintf(b, sizeof b,
                  "Note: the +- is the noise part only: the spread over the %zu %s, not the bias the "
                  "regularisation adds",
                  mc.runs, m.results.solver == "annealing" ? "Monte Carlo runs" : "bootstrap replicates");
    say(m, b);
  }
}

nlohmann::json summary_json(Paar const& m, RunSummary const& s) {
  nlohmann::json j;
  j["program"] = "redordist";
  j["version"] = "1";
  j["command"] = s.command;
  j["parameter_file"] = s.parameter_file;
  j["mode"] = m.setup->mode;
  j["solver"] = m.setup->mode == "sim" ? "none" : m.results.solver;
  j["kernel"] = kernel(m);
  j["seed"] = gsl_rng_default_seed;
  j["rng_type"] = gsl_rng_default->name;
  j["n_data"] = m.setup->n_data;
  j["chi2"] = m.chi2;
  j["chi2_per_point"] = m.chi2 / m.setup->n_data;
  j["scaling"] = m.scaling;
  j["prescribed_share"] = m.setup->total_adjust_density;
  add_scaling_json(m, j);
  if (s.fitted) {
    j["distance"] = moments(m.results.distance_moments, "Angstrom");
    j["coupling"] = moments(m.results.coupling_moments, "Hz");
    add_median_mode(m, j["distance"]);
    if (m.results.mc.distance.runs > 0) {
      j["distance"]["mc_mean"] = m.results.mc.distance.mean;
      j["distance"]["mean_mc_sd"] = m.results.mc.distance.mean_sd;
      j["distance"]["mc_sd"] = m.results.mc.distance.sd;
      j["distance"]["sd_mc_sd"] = m.results.mc.distance.sd_sd;
      j["distance"]["mc_runs"] = m.results.mc.distance.runs;
      add_percentiles(m.results.mc.distance, j["distance"]);
    }
    add_determined_json(m, s.assessment, j);
  } else {
    j["distance"] = m.setup->mode == "sim" ? simulation_json(m) : nullptr;
    j["coupling"] = nullptr;
  }
  if (s.diagnostics.computed)
    j["diagnostics"] = {{"edge_share", s.diagnostics.edge_share},
                        {"longest_measurable_distance", s.diagnostics.longest_measurable_distance}};
  else
    j["diagnostics"] = nullptr;
  if (!s.solver_details.is_null()) j["solver_details"] = s.solver_details;
  for (TidyTable const& t : tidy_tables(m)) j[t.key] = table_json(t);
  j["warnings"] = m.report().warnings();
  j["files"] = run_files(m, s.parameter_file);
  j["status"] = s.status;
  return j;
}

bool write_summary_json(Paar const& m, RunSummary const& s) {
  // Non-finite numbers have no JSON form: the library writes them as null.
  return write_file_atomically(m.stem() + ".json", summary_json(m, s).dump(2) + "\n");
}
