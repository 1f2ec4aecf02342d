#include "output/tidy_tables.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "numeric/numeric.h"
#include "output/atomic_file.h"

namespace {

// Ten significant digits: enough for any measured quantity, and grid
// distances such as 2.9 read as 2.9 rather than 2.9000000000000004.
double rounded(double v) {
  char b[40];
  std::snprintf(b, sizeof b, "%.10g", v);
  return std::strtod(b, nullptr);
}

// The shortest text that reads back as exactly v (the JSON library writes
// the same value), so the file and the summary hold equal numbers.
std::string shortest(double v) {
  char b[40];
  auto r = std::to_chars(b, b + sizeof b, v);
  return std::string(b, r.ptr);
}

// Without a result (chi2 not finite: a failed fit, or a run stopped before
// its fit, whose set-up may be incomplete) the tables hold no rows and
// nothing is read from the set-up.
bool no_result(Paar const& m) { return !std::isfinite(m.chi2); }

void add_row(TidyTable& t, std::vector<double> row) {
  for (double& v : row) v = rounded(v);
  t.rows.push_back(std::move(row));
}

// A table with a number that is not finite (a failed fit) keeps only its header.
void drop_if_not_finite(TidyTable& t) {
  for (auto const& row : t.rows)
    for (double v : row)
      if (!std::isfinite(v)) {
        t.rows.clear();
        return;
      }
}

TidyTable distribution_table(Paar const& m) {
  RunSetup const& s = *m.setup;
  TidyTable t{"-distribution.csv", "distribution", {"r_angstrom"}, {}};
  if (s.mode == "sim") {  // the distribution simulated, as point masses
    t.columns.push_back("fraction");
    if (no_result(m)) return t;
    for (int i = 0; i < s.n_adj; i++) add_row(t, {gvg(s.adj_distances, i), gvg(s.adj_density, i)});
    return t;
  }
  bool band = s.mode == "err";
  t.columns.push_back("density_per_angstrom");
  if (band) t.columns.insert(t.columns.end(), {"band_mean", "band_sd", "band_low95", "band_high95"});
  if (no_result(m)) return t;
  std::vector<double> w = cell_widths(m);
  for (int j = 0; j < s.n_grid; j++) {
    auto per_a = [&](double mass) { return w[j] > 0.0 ? mass / w[j] : 0.0; };
    std::vector<double> row = {gvg(s.distances, j), per_a(gvg(m.distribution, j))};
    if (band) {
      // The 95 % band: the 2.5 and 97.5 percentiles over the runs (a skewed
      // or bounded share is not symmetric about its mean).
      McEstimate const& e = m.results.mc;
      bool have = e.band_p025.size() == static_cast<size_t>(s.n_grid);
      double mean = per_a(gvg(e.average, j)), sd = per_a(gvg(e.stdev, j));
      row.insert(row.end(), {mean, sd, have ? per_a(e.band_p025[j]) : 0.0, have ? per_a(e.band_p975[j]) : 0.0});
    }
    add_row(t, row);
  }
  return t;
}

// The fitted S/S0 of the whole population: with a prescribed share T (fit
// and err), (1 - T) times the fitted share's curve plus SCALING times the
// prescribed curve, as the residual the fit minimises assumes.
double whole(Paar const& m, double fitted, double prescribed) {
  RunSetup const& s = *m.setup;
  if (s.mode == "sim" || s.n_adj <= 0) return fitted;
  return (1.0 - s.total_adjust_density) * fitted + m.scaling * prescribed;
}

TidyTable curve_table(Paar const& m) {
  RunSetup const& s = *m.setup;
  TidyTable t{"-curve.csv", "curve", {"n_c", "time_ms", "s_s0", "error", "fit", "residual"}, {}};
  if (no_result(m)) return t;
  for (int i = 0; i < s.n_data; i++) {
    double nc = gvg(s.cycles, i), y = gvg(s.measured, i), err = gvg(s.data_error, i);
    double fit = whole(m, gvg(m.fit_to_data, i), gvg(s.fit_adjust, i));
    // An error the data did not give is 1 in the fit; written as 0, as in the table.
    add_row(t, {nc, nc * 1000.0 / s.mas, y, std::fabs(err - 1.0) < 1e-06 ? 0.0 : err, fit, y - fit});
  }
  return t;
}

TidyTable smooth_table(Paar const& m) {
  RunSetup const& s = *m.setup;
  TidyTable t{"-curve-smooth.csv", "curve_smooth", {"n_c", "time_ms", "fit"}, {}};
  if (no_result(m)) return t;
  for (int j = 0; j < s.n_cycles; j++)
    add_row(t, {2.0 * j, 2000.0 * j / s.mas, whole(m, gvg(m.smooth_fit, j), gvg(s.smooth_adjust, j))});
  return t;
}

}  // namespace

std::vector<double> cell_widths(Paar const& m) {
  RunSetup const& s = *m.setup;
  std::vector<double> w(s.n_grid, s.grain);
  if (m.results.solver != "gaussians" || s.n_grid < 2) return w;
  double g = gvg(s.distances, 1) - gvg(s.distances, 0);
  for (int j = 0; j < s.n_grid; j++) {
    double r = gvg(s.distances, j);
    w[j] = std::max(0.0, std::min(s.far, r + 0.5 * g) - std::max(s.near, r - 0.5 * g));
  }
  return w;
}

std::vector<TidyTable> tidy_tables(Paar const& m) {
  std::vector<TidyTable> t = {distribution_table(m), curve_table(m), smooth_table(m)};
  for (TidyTable& x : t) drop_if_not_finite(x);
  return t;
}

std::string csv_text(TidyTable const& t) {
  std::string s;
  for (size_t c = 0; c < t.columns.size(); c++) s += (c ? "," : "") + t.columns[c];
  s += "\n";
  for (auto const& row : t.rows) {
    for (size_t c = 0; c < row.size(); c++) s += (c ? "," : "") + shortest(row[c]);
    s += "\n";
  }
  return s;
}

nlohmann::json table_json(TidyTable const& t) {
  nlohmann::json a = nlohmann::json::array();
  for (auto const& row : t.rows) {
    nlohmann::json o = nlohmann::json::object();
    for (size_t c = 0; c < row.size(); c++) o[t.columns[c]] = row[c];
    a.push_back(o);
  }
  return a;
}

bool write_tidy_tables(Paar const& m) {
  bool ok = true;
  for (TidyTable const& t : tidy_tables(m)) ok = write_file_atomically(m.stem() + t.suffix, csv_text(t)) && ok;
  return ok;
}
