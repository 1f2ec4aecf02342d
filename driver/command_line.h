// The command line: options anywhere, one parameter file.
#ifndef REDORDIST_DRIVER_COMMAND_LINE_H
#define REDORDIST_DRIVER_COMMAND_LINE_H

#include <string>

extern const char* const kUsage;

struct CommandLine {
  std::string solver = "annealing";  // --solver NAME or --solver=NAME
  std::string param_file;            // the one argument that is not an option
  bool help = false, version = false, print_template = false;
  bool compare = false;       // --compare: the three solvers on the file
  bool solver_given = false;  // --solver was on the line
  bool fit_scaling = false;   // --fit-scaling: SCALING fitted with the distribution
  std::string study_file;     // --study FILE.csv: every curve of the file fitted
  bool shared = false;        // --shared: one distribution for all curves as well
  // Empty when the line is sound; else what to print (ending in a newline).
  std::string error;
};

// Options may stand before or after the file; "--" ends the options. An
// unknown option, a second file, --template with a file or a missing file
// leaves the reason and the usage line in error.
CommandLine parse_command_line(int argc, char** argv);

#endif
