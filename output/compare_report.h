// The comparison of the three solvers on the same inputs, made from each
// run's summary as written (so it carries whatever the summaries hold): the
// table on standard output, PATH/OUTPUT-compare.json and the gnuplot script
// PATH/OUTPUT-compare.gp that overlays the three P(r) in
// OUTPUT-compare.png and .pdf.
#ifndef REDORDIST_OUTPUT_COMPARE_REPORT_H
#define REDORDIST_OUTPUT_COMPARE_REPORT_H

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

struct CompareRun {
  std::string solver;      // annealing, maxent or gaussians
  std::string base;        // the run's OUTPUT, e.g. fit_cn-maxent
  int status = 0;          // its exit status
  nlohmann::json summary;  // its summary as read back; null when unreadable
};

struct Comparison {
  std::string path;  // PATH: the runs are PATH + base + "/"
  std::string base;  // OUTPUT: the comparison's files are PATH + OUTPUT + "-compare.*"
  std::vector<std::string> command;
  std::string parameter_file;
  std::vector<CompareRun> runs;
  // Solvers whose runs an interruption left out: their directories hold an
  // earlier run's results, which this comparison does not describe.
  std::vector<std::string> stale;
};

// Reads PATH + base + "/" + base + ".json" (null when missing or malformed).
nlohmann::json read_summary(std::string const& path, std::string const& base);

// The data's longest measurable distance from the first summary that has
// one (Angstrom), or not a number.
double longest_measurable(Comparison const& c);

// The table: per solver its status, chi2 per point, G (maxent) or k
// (gaussians), mean and sd (with their Monte Carlo or bootstrap spread in
// mode err), effective distance when the summaries give one, the peaks
// (position and share, with their spreads in mode err), warnings; a
// value whose "<name>_determined" is false in the summary is marked "*".
std::string compare_table(Comparison const& c);

// The comparison's summary; status is the worst of the runs' and its own.
nlohmann::json compare_json(Comparison const& c, int status);

// The figure script (run in PATH), or "" when no run has a distribution.
std::string compare_figure_script(Comparison const& c);

#endif
