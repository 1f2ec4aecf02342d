// The inputs of a study (redordist PARAMETER_FILE --study FILE.csv), read
// and checked before anything is written: the parameter file once, the
// study file, and per curve the inputs of a single run whose parameter text
// is the parameter file's with XYDATA, PATH, OUTPUT and the curve's own MAS,
// XN, YN and SCALING put in. A curve whose inputs are refused is kept with
// its reason and does not stop the others.
#ifndef REDORDIST_DRIVER_STUDY_INPUTS_H
#define REDORDIST_DRIVER_STUDY_INPUTS_H

#include <string>
#include <utility>
#include <vector>

#include "input/run_inputs.h"

struct StudyCurveInputs {
  std::string name;
  std::string reason;                 // non-empty: refused, and not run
  RunInputs inputs;                   // checked, when reason is empty
  std::vector<std::string> warnings;  // the readers' warnings
  std::string console;                // what reading the inputs printed
};

struct StudyInputs {
  std::string path, base;  // the parameter file's PATH and OUTPUT
  std::vector<StudyCurveInputs> curves;
};

// The parameter file's lines with each key of keys set: a line that holds
// the key gets the new value (its line number kept), a key not there is
// added at the end.
std::string param_text_with(std::vector<std::string> const& lines,
                            std::vector<std::pair<std::string, std::string>> const& keys);

// A refusal concerns the whole study: the parameter file, the study file's
// form, a mode other than fit or err, or a run directory in use.
InputStatus read_study_inputs(std::string const& param_file, std::string const& study_file,
                              std::string const& solver, StudyInputs& st);

#endif
