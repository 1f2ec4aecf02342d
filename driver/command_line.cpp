#include "driver/command_line.h"

#include "input/text_lines.h"

const char* const kUsage = "usage: redordist [--solver annealing|maxent|gaussians] PARAMETER_FILE\n";

namespace {

bool known_solver(std::string const& s) {
  return s == "annealing" || s == "maxent" || s == "gaussians";
}

// Reads one argument; false (with c.error set) when the line must be refused.
bool take(CommandLine& c, std::string const& a, char const* next, bool& used_next, bool& options_done) {
  if (options_done || a.size() < 2 || a[0] != '-') {
    if (!c.param_file.empty()) {
      c.error = "a second parameter file " + quote_token(a) + ": one run reads one file\n" + kUsage;
      return false;
    }
    c.param_file = a;
  } else if (a == "--") {
    options_done = true;
  } else if (a == "--help") {
    c.help = true;
  } else if (a == "--version") {
    c.version = true;
  } else if (a == "--template") {
    c.print_template = true;
  } else if (a == "--compare") {
    c.compare = true;
  } else if (a == "--fit-scaling") {
    c.fit_scaling = true;
  } else if (a == "--shared") {
    c.shared = true;
  } else if (a == "--study" || a.compare(0, 8, "--study=") == 0) {
    if (a == "--study" && !next) {
      c.error = "--study needs a study file: --study FILE.csv\n" + std::string(kUsage);
      return false;
    }
    c.study_file = a == "--study" ? next : a.substr(8);
    used_next = a == "--study";
  } else if (a == "--solver" || a.compare(0, 9, "--solver=") == 0) {
    if (a == "--solver" && !next) {
      c.error = "--solver needs a name: annealing, maxent or gaussians\n";
      return false;
    }
    c.solver = a == "--solver" ? next : a.substr(9);
    c.solver_given = true;
    used_next = a == "--solver";
    if (!known_solver(c.solver)) {
      c.error = "unknown solver \"" + printable(c.solver) + "\"; choose annealing, maxent or gaussians\n";
      return false;
    }
  } else {
    c.error = "unknown option " + quote_token(a) + "\n" + kUsage;
    return false;
  }
  return true;
}

}  // namespace

CommandLine parse_command_line(int argc, char** argv) {
  CommandLine c;
  bool options_done = false;
  for (int i = 1; i < argc; i++) {
    bool used_next = false;
    if (!take(c, argv[i], i + 1 < argc ? argv[i + 1] : nullptr, used_next, options_done)) return c;
    if (used_next) i++;
  }
  if (c.help || c.version) return c;
  if (c.compare && (c.print_template || c.solver_given))
    c.error = "--compare runs all three solvers on a parameter file: leave out " +
              std::string(c.print_template ? "--template" : "--solver") + "\n" + kUsage;
  else if (!c.study_file.empty() && (c.compare || c.print_template))
    c.error = "--study fits every curve of a study file with one solver: leave out " +
              std::string(c.compare ? "--compare" : "--template") + "\n" + kUsage;
  else if (c.shared && c.study_file.empty())
    c.error = "--shared fits the curves of a study together: give --study FILE.csv\n" + std::string(kUsage);
  else if (c.fit_scaling && (c.compare || c.print_template))
    c.error = "--fit-scaling fits SCALING in one run of maxent or gaussians: leave out " +
              std::string(c.compare ? "--compare" : "--template") + "\n" + kUsage;
  else if (c.fit_scaling && c.solver == "annealing")
    c.error = "--fit-scaling needs --solver maxent or --solver gaussians: the annealing fits the "
              "distribution at the SCALING of the parameter file\n" + std::string(kUsage);
  else if (c.print_template && !c.param_file.empty())
    c.error = "--template prints a parameter file and reads none\n" + std::string(kUsage);
  else if (!c.print_template && c.param_file.empty())
    c.error = kUsage;
  return c;
}
