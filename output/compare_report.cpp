#include "output/compare_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

using json = nlohmann::json;

// A number of a summary in printf format, or "-" where it has none.
std::string number(json const& v, char const* fmt) {
  if (!v.is_number()) return "-";
  char b[64];
  std::snprintf(b, sizeof b, fmt, v.get<double>());
  return b;
}

json at(json const& j, std::initializer_list<char const*> keys) {
  json const* p = &j;
  for (char const* k : keys) {
    if (!p->is_object() || !p->contains(k)) return nullptr;
    p = &(*p)[k];
  }
  return *p;
}

// A distance value with its spread over the Monte Carlo runs or bootstrap
// replicates where the summary has one, "*" when it is not determined.
std::string distance_cell(json const& d, char const* key, char const* spread, bool& marked) {
  std::string s = number(at(d, {key}), "%.4f");
  if (spread && at(d, {spread}).is_number()) s += " +- " + number(at(d, {spread}), "%.4f");
  if (at(d, {(std::string(key) + "_determined").c_str()}) == json(false)) {
    s += " *";
    marked = true;
  }
  return s;
}

// The peaks of a run: position (Angstrom) and share, each with its spread
// over the runs or replicates in mode err; a peak the data do not support
// is marked "?". "-" without peaks.
std::string peaks_cell(json const& d) {
  std::string s;
  json peaks = at(d, {"peaks"});
  if (!peaks.is_array()) return "-";
  for (json const& p : peaks) {
    json sd = at(p, {"position_mc_sd"}), share = at(p, {"share"}), share_sd = at(p, {"share_mc_sd"});
    std::string one = number(at(p, {"position"}), sd.is_number() ? "%.3f" : "%.2f");
    if (sd.is_number()) one += " +- " + number(sd, "%.3f");
    one += " (" + (share.is_number() ? number(100.0 * share.get<double>(), "%.0f") : std::string("-"));
    if (share_sd.is_number()) one += " +- " + number(100.0 * share_sd.get<double>(), "%.0f");
    one += " %)" + std::string(at(p, {"supported"}) == json(false) ? " ?" : "");
    s += (s.empty() ? "" : ", ") + one;
  }
  return s.empty() ? "-" : s;
}

std::string g_or_k(json const& summary) {
  json g = at(summary, {"solver_details", "G"}), k = at(summary, {"solver_details", "chosen_k"});
  if (g.is_number()) return number(g, "G %.2f");
  if (k.is_number()) return number(k, "k %.0f");
  return "-";
}

// Columns padded to their widest cell, two blanks apart.
std::string layout(std::vector<std::vector<std::string>> const& rows) {
  std::vector<size_t> w;
  for (auto const& r : rows)
    for (size_t c = 0; c < r.size(); c++) {
      if (w.size() <= c) w.push_back(0);
      w[c] = std::max(w[c], r[c].size());
    }
  std::string t;
  for (auto const& r : rows) {
    std::string line;
    for (size_t c = 0; c < r.size(); c++) line += r[c] + std::string(c + 1 < r.size() ? w[c] - r[c].size() + 2 : 0, ' ');
    t += line + "\n";
  }
  return t;
}

std::string gp_string(std::string const& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("''") : std::string(1, c);
  return q + "'";
}

// The range of distances of the runs' distributions, widened to show the
// longest measurable distance.
bool distance_range(Comparison const& c, double& lo, double& hi) {
  lo = HUGE_VAL, hi = -HUGE_VAL;
  for (CompareRun const& r : c.runs)
    for (json const& row : at(r.summary, {"distribution"})) {
      double x = at(row, {"r_angstrom"}).is_number() ? row["r_angstrom"].get<double>() : NAN;
      if (std::isfinite(x)) lo = std::min(lo, x), hi = std::max(hi, x);
    }
  double l = longest_measurable(c);
  if (std::isfinite(l)) hi = std::max(hi, l + 0.03 * (hi - lo));
  return lo < hi;
}

const char* const kColours[] = {"#c00000", "#0060c0", "#208020"};

// Maximum entropy's P(r) falls to zero near the grid ends because its
// default model does (within half the taper of an end the model is below
// half its height): gnuplot conditions on the distance $1 for the part drawn
// solid and the part drawn dashed, sharing the grid point at each border.
// Empty when the run has no taper.
void taper_conditions(json const& summary, std::string& inside, std::string& outside) {
  json t = at(summary, {"solver_details", "default_model_taper_angstrom"});
  json d = at(summary, {"distribution"});
  if (!t.is_number() || !(t.get<double>() > 0) || !d.is_array() || d.size() < 2) return;
  json r0 = at(d.front(), {"r_angstrom"}), r1 = at(d[1], {"r_angstrom"}), rn = at(d.back(), {"r_angstrom"});
  if (!r0.is_number() || !r1.is_number() || !rn.is_number()) return;
  double z = 0.5 * t.get<double>(), h = 0.5 * (r1.get<double>() - r0.get<double>());
  std::ostringstream in, out;
  in.precision(10), out.precision(10);
  in << "($1 > " << r0.get<double>() + z - h << " && $1 < " << rn.get<double>() - z + h << ")";
  out << "($1 < " << r0.get<double>() + z + h << " || $1 > " << rn.get<double>() - z - h << ")";
  inside = in.str(), outside = out.str();
}

}  // namespace

json read_summary(std::string const& path, std::string const& base) {
  std::ifstream in(path + base + "/" + base + ".json");
  if (!in) return nullptr;
  std::stringstream s;
  s << in.rdbuf();
  json j = json::parse(s.str(), nullptr, false);
  return j.is_discarded() ? json(nullptr) : j;
}

double longest_measurable(Comparison const& c) {
  for (CompareRun const& r : c.runs) {
    json l = at(r.summary, {"diagnostics", "longest_measurable_distance"});
    if (l.is_number()) return l.get<double>();
  }
  return NAN;
}

std::string compare_table(Comparison const& c) {
  bool effective = false, marked = false;
  for (CompareRun const& r : c.runs) effective = effective || at(r.summary, {"distance", "effective"}).is_number();
  std::vector<std::vector<std::string>> rows = {
      {"solver", "status", "chi2/point", "G or k", "mean (Angstrom)", "sd (Angstrom)"}};
  if (effective) rows[0].push_back("r_eff (Angstrom)");
  rows[0].push_back("peaks (Angstrom, share)");
  rows[0].push_back("warnings");
  for (CompareRun const& r : c.runs) {
    json d = at(r.summary, {"distance"});
    std::vector<std::string> row = {r.solver, std::to_string(r.status), number(at(r.summary, {"chi2_per_point"}), "%.4f"),
                                    g_or_k(r.summary), distance_cell(d, "mean", "mean_mc_sd", marked),
                                    distance_cell(d, "sd", "sd_mc_sd", marked)};
    if (effective) row.push_back(distance_cell(d, "effective", "effective_mc_sd", marked));
    row.push_back(peaks_cell(d));
    json w = at(r.summary, {"warnings"});
    row.push_back(w.is_array() ? std::to_string(w.size()) : "-");
    rows.push_back(row);
  }
  std::string t = "Solvers compared on " + c.parameter_file + " (" + c.path + c.base + "-compare.json):\n" + layout(rows);
  if (marked) t += "* not determined by the data (see the run's log and summary)\n";
  if (t.find(" %) ?") != std::string::npos) t += "? a peak the data do not support\n";
  return t;
}

namespace {

// The runs an interruption left out, with the directories whose results are
// an earlier run's.
json stale_runs(Comparison const& c) {
  json out = json::array();
  for (std::string const& solver : c.stale) {
    std::string base = c.base + "-" + solver;
    out.push_back({{"solver", solver}, {"directory", c.path + base + "/"}, {"not_run", true}});
  }
  return out;
}

}  // namespace

json compare_json(Comparison const& c, int status) {
  // Everything a summary says of its result; the tables and the run's own
  // bookkeeping stay in the run's summary.
  static const char* const kLeftOut[] = {"program", "version", "command", "parameter_file",
                                         "files", "distribution", "curve", "curve_smooth"};
  json runs = json::array();
  for (CompareRun const& r : c.runs) {
    json o = {{"solver", r.solver}, {"status", r.status},
              {"directory", c.path + r.base + "/"},
              {"summary", c.path + r.base + "/" + r.base + ".json"},
              {"distribution_csv", c.path + r.base + "/" + r.base + "-distribution.csv"}};
    if (r.summary.is_object())
      for (auto const& [k, v] : r.summary.items())
        if (std::find(std::begin(kLeftOut), std::end(kLeftOut), k) == std::end(kLeftOut) && !o.contains(k)) o[k] = v;
    runs.push_back(o);
  }
  std::string stem = c.path + c.base + "-compare";
  double l = longest_measurable(c);
  return {{"program", "redordist"},
          {"version", "1"},
          {"command", c.command},
          {"parameter_file", c.parameter_file},
          {"longest_measurable_distance", std::isfinite(l) ? json(l) : json(nullptr)},
          {"runs", runs},
          {"stale_runs", stale_runs(c)},
          {"figure", {stem + ".png", stem + ".pdf"}},
          {"status", status}};
}

std::string compare_figure_script(Comparison const& c) {
  double lo, hi, l = longest_measurable(c);
  if (!distance_range(c, lo, hi)) return "";
  std::ostringstream o;
  o.precision(10);
  std::string stem = c.base + "-compare";
  o << "# The distance distributions of the three solvers on the same data, from\n"
    << "# their tables OUTPUT-SOLVER/OUTPUT-SOLVER-distribution.csv. Run it in the\n"
    << "# directory that holds the run directories:  gnuplot " << stem << ".gp\n"
    << "set encoding utf8\nset datafile separator comma\n"
    << "rlong = " << (std::isfinite(l) ? l : hi + 1.0) << "    # longest measurable distance, Å\n"
    << "set xrange [" << lo << ":" << hi << "]\nset yrange [0:*]\nset offsets 0, 0, graph 0.05, 0\n"
    << "set xlabel 'distance r (Å)'\nset ylabel 'P(r) (1/Å)'\n"
    << "set key outside top center horizontal noenhanced\nset grid lc rgb '#dddddd'\n";
  if (std::isfinite(l))
    o << "set object 1 rectangle from rlong, graph 0 to graph 1, graph 1 fc rgb '#ececec' fs solid noborder behind\n"
      << "set arrow 1 from rlong, graph 0 to rlong, graph 1 nohead dt 2 lw 1.5 lc rgb 'gray30'\n"
      << "set label 1 sprintf(\"longest measurable\\ndistance %.2f Å\", rlong) at rlong, graph 0.96 "
         "right offset -0.8, 0 noenhanced\n";
  o << "do for [fmt in 'pdf png'] {\n"
    << "  if (fmt eq 'pdf') {\n"
    << "    set terminal pdfcairo enhanced color size 6in,4in font 'sans,10' linewidth 1.5\n"
    << "    set output " << gp_string(stem + ".pdf") << "\n"
    << "  } else {\n"
    << "    set terminal pngcairo enhanced color size 1200,800 font 'sans,18' linewidth 2\n"
    << "    set output " << gp_string(stem + ".png") << "\n"
    << "  }\n  plot ";
  int n = 0;
  for (size_t i = 0; i < c.runs.size(); i++) {
    CompareRun const& r = c.runs[i];
    json d = at(r.summary, {"distribution"});
    if (!d.is_array() || d.empty()) continue;
    std::string title = r.solver;
    json chi = at(r.summary, {"chi2_per_point"});
    if (chi.is_number()) title += number(chi, " (χ²/point %.3f)");
    std::string file = gp_string(r.base + "/" + r.base + "-distribution.csv"), colour = kColours[i % 3];
    std::string inside, outside;
    taper_conditions(r.summary, inside, outside);
    o << (n++ ? ", \\\n       " : "") << file << " skip 1 using 1:" << (inside.empty() ? "2" : "(" + inside + " ? $2 : NaN)")
      << " with lines lw 2 lc rgb '" << colour << "' title " << gp_string(title);
    if (!outside.empty())
      o << ", \\\n       " << file << " skip 1 using 1:(" << outside << " ? $2 : NaN) with lines lw 1.5 dt 2 lc rgb '"
        << colour << "' title " << gp_string(r.solver + " in its default model's taper");
  }
  o << "\n  set output\n}\n";
  return o.str();
}
