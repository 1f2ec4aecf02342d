// redordist PARAMETER_FILE --study FILE.csv: every curve of the study file
// fitted on its own, side by side on the OpenMP threads, each a whole run
// into PATH/OUTPUT/<curve>/; then the study's table PATH/OUTPUT-study.csv
// and .json and its figure PATH/OUTPUT-study.png and .pdf (script
// OUTPUT-study.gp). The results do not depend on the number of threads.
#ifndef REDORDIST_DRIVER_STUDY_H
#define REDORDIST_DRIVER_STUDY_H

#include <string>
#include <vector>

struct StudyRequest {
  std::string param_file, study_file, solver;
  bool fit_scaling = false;
  bool shared = false;               // then one distribution for all curves too (maxent)
  std::vector<std::string> command;  // the argument vector, for the summaries
};

// Returns 0 when every curve was fitted, 1 when any failed (refused inputs,
// a failed run) or the study's files could not be written, 128 + signal
// when a signal stopped the study.
int run_study(StudyRequest const& q);

#endif
