// The study's own table: one row per curve, every number taken from that
// curve's run summary (OUTPUT.json in its run directory) as written, so the
// study and the single run agree to the last digit. Written beside the study
// directory as PATH/OUTPUT-study.csv and PATH/OUTPUT-study.json.
#ifndef REDORDIST_OUTPUT_STUDY_TABLE_H
#define REDORDIST_OUTPUT_STUDY_TABLE_H

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

struct StudyRow {
  std::string curve;       // its name: the run is PATH/OUTPUT/<curve>/
  int status = 1;          // the run's exit status (1 when it was refused)
  std::string reason;      // why it failed, or ""
  nlohmann::json summary;  // the run's summary as read back; null when none
};

struct StudyResult {
  std::string path, base;  // PATH and OUTPUT of the parameter file
  std::string parameter_file, study_file, solver;
  std::vector<std::string> command;
  std::vector<StudyRow> rows;
};

// The value at a JSON pointer ("/distance/effective") of a run's summary,
// null when it has none; and as a number, not a number when it is none.
nlohmann::json summary_at(nlohmann::json const& summary, char const* pointer);
double summary_number(nlohmann::json const& summary, char const* pointer);

// The table's columns, in order (the CSV header, the JSON keys of a curve).
std::vector<std::string> study_columns();

// One row's cells as JSON values (null for an empty cell), by study_columns().
std::vector<nlohmann::json> study_cells(StudyRow const& row);

// The CSV: a header, then a row per curve; empty cells where a run has no
// value (no interval outside mode err, no fit for a refused curve).
std::string study_csv(StudyResult const& s);

// The same as JSON, with the study's inputs and its exit status.
nlohmann::json study_json(StudyResult const& s, int status);

// The study's table on standard output: per curve its status, chi2 per
// point, effective distance (with +- in mode err), mean, sd and the reason
// it failed; a value the data do not determine is marked "*".
std::string study_console_table(StudyResult const& s);

// How many curves failed (status not 0).
size_t failed_curves(StudyResult const& s);

#endif
