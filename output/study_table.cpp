#include "output/study_table.h"

#include <cmath>
#include <cstdio>
#include <sstream>

namespace {

using json = nlohmann::json;

// Each summary column and where the run's summary keeps it.
const std::pair<char const*, char const*> kSummaryColumns[] = {
    {"points", "/n_data"},
    {"chi2_per_point", "/chi2_per_point"},
    {"p_chi2_above", "/goodness_of_fit/p_chi2_above"},
    {"p_chi2_below", "/goodness_of_fit/p_chi2_below"},
    {"p_runs_few", "/goodness_of_fit/p_runs_few"},
    {"effective", "/distance/effective"},
    {"effective_sd", "/distance/effective_sd"},
    {"effective_p025", "/distance/effective_p025"},
    {"effective_p975", "/distance/effective_p975"},
    {"effective_determined", "/distance/effective_determined"},
    {"mean", "/distance/mean"},
    {"mean_sd", "/distance/mean_mc_sd"},
    {"mean_determined", "/distance/mean_determined"},
    {"sd", "/distance/sd"},
    {"sd_sd", "/distance/sd_mc_sd"},
    {"sd_determined", "/distance/sd_determined"},
    {"width_allowed_lo", "/distance/width_allowed/0"},
    {"width_allowed_hi", "/distance/width_allowed/1"},
    {"supported_peaks", "/distance/supported_peaks"},
    {"scaling", "/scaling"},
};

// A cell as CSV text: numbers as the summary writes them, text quoted when
// it holds a comma, a quote or a line end.
std::string csv_cell(json const& v) {
  if (v.is_null()) return "";
  if (!v.is_string()) return v.dump();
  std::string s = v.get<std::string>();
  if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

}  // namespace

json summary_at(json const& j, char const* pointer) {
  json::json_pointer p(pointer);
  return j.is_object() && j.contains(p) ? j.at(p) : json(nullptr);
}

double summary_number(json const& j, char const* pointer) {
  json v = summary_at(j, pointer);
  return v.is_number() ? v.get<double>() : std::nan("");
}

std::vector<std::string> study_columns() {
  std::vector<std::string> c = {"curve"};
  for (auto const& col : kSummaryColumns) c.push_back(col.first);
  for (char const* tail : {"warnings", "status", "reason"}) c.push_back(tail);
  return c;
}

std::vector<json> study_cells(StudyRow const& row) {
  std::vector<json> cells = {row.curve};
  for (auto const& col : kSummaryColumns) cells.push_back(summary_at(row.summary, col.second));
  json w = summary_at(row.summary, "/warnings");
  cells.push_back(w.is_array() ? json(w.size()) : json(nullptr));
  cells.push_back(row.status);
  cells.push_back(row.reason.empty() ? json(nullptr) : json(row.reason));
  return cells;
}

std::string study_csv(StudyResult const& s) {
  std::ostringstream o;
  std::vector<std::string> head = study_columns();
  for (size_t i = 0; i < head.size(); i++) o << (i ? "," : "") << head[i];
  o << "\n";
  for (StudyRow const& r : s.rows) {
    std::vector<json> cells = study_cells(r);
    for (size_t i = 0; i < cells.size(); i++) o << (i ? "," : "") << csv_cell(cells[i]);
    o << "\n";
  }
  return o.str();
}

json study_json(StudyResult const& s, int status) {
  json j = {{"program", "redordist"}, {"version", "1"},        {"command", s.command},
            {"parameter_file", s.parameter_file}, {"study_file", s.study_file}, {"solver", s.solver},
            {"curves_failed", failed_curves(s)}, {"status", status}};
  std::vector<std::string> head = study_columns();
  json curves = json::array();
  for (StudyRow const& r : s.rows) {
    std::vector<json> cells = study_cells(r);
    json c = {{"run_directory", s.path + s.base + "/" + r.curve + "/"}};
    for (size_t i = 0; i < cells.size(); i++) c[head[i]] = cells[i];
    curves.push_back(c);
  }
  j["curves"] = curves;
  return j;
}

size_t failed_curves(StudyResult const& s) {
  size_t n = 0;
  for (StudyRow const& r : s.rows) n += r.status != 0;
  return n;
}

std::string study_console_table(StudyResult const& s) {
  std::ostringstream o;
  char b[300];
  std::snprintf(b, sizeof b, "%-16s %6s %10s %20s %10s %10s  %s\n", "curve", "status", "chi2/point", "effective (A)",
                "mean (A)", "sd (A)", "reason");
  o << b;
  for (StudyRow const& r : s.rows) {
    json const& j = r.summary;
    auto cell = [&](char const* p, char const* det) {
      double v = summary_number(j, p);
      if (!std::isfinite(v)) return std::string("-");
      std::snprintf(b, sizeof b, "%.4f%s", v, det && summary_at(j, det) == json(false) ? "*" : "");
      return std::string(b);
    };
    std::string eff = cell("/distance/effective", "/distance/effective_determined"), sd = cell("/distance/effective_sd", nullptr);
    if (sd != "-") eff += " +- " + sd;
    std::snprintf(b, sizeof b, "%-16s %6d %10s %20s %10s %10s  %s\n", r.curve.c_str(), r.status,
                  cell("/chi2_per_point", nullptr).c_str(), eff.c_str(), cell("/distance/mean", "/distance/mean_determined").c_str(),
                  cell("/distance/sd", "/distance/sd_determined").c_str(), r.reason.substr(0, 200).c_str());
    o << b;
  }
  o << "(* not determined by the data)\n";
  return o.str();
}
