// One fit or err run on checked inputs without touching the disk: the same
// set-up, solver, diagnostics, result lines and summary as a run of the
// command line, with everything it would print kept in memory (the Python
// module's fits).
#ifndef REDORDIST_DRIVER_RUN_IN_MEMORY_H
#define REDORDIST_DRIVER_RUN_IN_MEMORY_H

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "input/run_inputs.h"

struct MemoryRun {
  std::string refusal;        // non-empty: the set-up is too large; nothing ran
  int status = 1;             // the command line's exit status for this run
  std::string console;        // all the run would print on standard output
  std::string result_lines;   // the result lines and what the data determine
  std::vector<std::string> warnings;
  nlohmann::json summary;     // the summary's keys; "files" is empty
};

// input_warnings: the readers' warnings (numeric/warnings.h), kept first.
MemoryRun run_in_memory(RunInputs const& inputs, std::string const& solver, bool fit_scaling,
                        std::vector<std::string> const& input_warnings);

#endif
