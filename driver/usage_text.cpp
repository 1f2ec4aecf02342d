#include "driver/usage_text.h"

#include <string>

namespace {

const char* const kHelp =
    "usage: redordist PARAMETER_FILE\n"
    "       redordist --solver annealing|maxent|gaussians PARAMETER_FILE\n"
    "       redordist --template     print a parameter file to start from\n"
    "       redordist --help         print this text\n"
    "       redordist --version      print the version\n"
    "\n"
    "Reconstructs the distribution of X-Y distances behind a REDOR dephasing\n"
    "curve (S/S0 of X after N_c rotor cycles of dephasing by Y under MAS).\n"
    "Modes (MODE, line 1 of the parameter file):\n"
    "  fit  reconstruct the distance distribution and report its moments\n"
    "  err  fit, then estimate its uncertainty by Monte Carlo\n"
    "  sim  simulate the REDOR curve of a prescribed distribution (DISTDIST)\n"
    "\n"
    "Solvers (--solver):\n"
    "  annealing  maximum entropy by simulated annealing (the default)\n"
    "  maxent     deterministic maximum entropy, regularisation weight chosen\n"
    "             by the Bayesian evidence\n"
    "  gaussians  one to three Gaussians, their number chosen by AIC\n"
    "\n"
    "Parameter file: exactly 33 lines in a fixed order, each `KEY: value'\n"
    "(key at the start of the line, then a colon, then the value). Text after\n"
    "the value is ignored; comment and blank lines are not allowed. Lines 18-23\n"
    "(ITERS AT TEMP ... MIN TEMP) hold one value per annealing try, NTRIES\n"
    "values separated by spaces; a 0 takes the first try's value (in INIT TEMP\n"
    "it continues from the best state). PER 2PI 0 selects the exact\n"
    "closed-form powder average; LAMBDA_D names a universal dephasing curve\n"
    "instead (`none' for the powder average).\n"
    "\n"
    "Data file (XYDATA), one point per line, `#' lines are comments:\n"
    "  N_c S0 S ratio error\n"
    "The ratio column is read and ignored: S/S0 is computed from S and S0. An\n"
    "error that is missing, zero, negative or >= 1 counts as 1.0; chi2 then\n"
    "means little.\n"
    "\n"
    "Results go to the run directory PATH + OUTPUT + `/': the log, the result\n"
    "table (.me), a summary (.json), gnuplot scripts and figures.\n"
    "\n"
    "Exit status: 0 success; 1 bad input, a refused value, an output file or\n"
    "figure that could not be written, or a non-finite result; 130 or 143\n"
    "interrupted by SIGINT or SIGTERM.\n"
    "\n"
    "Start from `redordist --template > my.par'; see redordist(1).\n";

// The explanation column starts here; a value longer than that is followed
// by two spaces.
const int kExplainColumn = 31;

struct TemplateLine {
  const char* key;
  const char* value;
  const char* note;
};

// Per-try lists carry exactly NTRIES (3) values: the reader stops there, so
// the words after them are never read as list entries. No note starts with
// a number (SCALING reads an optional second one).
const TemplateLine kTemplate[33] = {
    {"MODE", "fit", "fit, err or sim"},
    {"LAMBDA_D", "none", "universal dephasing curve, or none"},
    {"XYDATA", "my_redor.dat", "data file: N_c S0 S ratio error"},
    {"DISTDIST", "none", "prescribed distances (distance fraction) or none"},
    {"PATH", "runs/", "existing directory for the run, ends with /"},
    {"OUTPUT", "my_run", "run name: results go to PATH + OUTPUT + /"},
    {"XN", "C13", "observed nucleus: C13 N15 D2 H2 F19 P31 H1"},
    {"YN", "N15", "dephasing nucleus"},
    {"NEAR", "2.5", "shortest distance of the grid, Angstrom"},
    {"FAR", "6.0", "longest distance of the grid, Angstrom"},
    {"GRAIN", "0.05", "grid step, Angstrom"},
    {"PER 2PI", "0", "powder steps per turn; 0: exact closed form"},
    {"MID PULSE", "0", "time offset of the mid pulse, microseconds"},
    {"MAS", "10000", "spinning rate, Hz"},
    {"SCALING", "1.0", "dephasable share: S/S0 ends at 1 - SCALING"},
    {"LAST POINT", "0", "curves up to this N_c; 0: largest data N_c"},
    {"NTRIES", "3", "annealing tries; next 6 lines: a value per try"},
    {"ITERS AT TEMP", "1000 1000 1000", "moves per temperature"},
    {"MAX STEP SIZE", "0.5 0.2 0.1", "largest change of a multiplier in one move"},
    {"BOLTZMANN", "1 1 1", "k in the acceptance test exp(-dchi2/(k T))"},
    {"INIT TEMP", "20 0 0", "start temperature; 0: go on from the best"},
    {"ATTEN TEMP", "1.2 1.2 1.2", "divisor of the temperature after each step"},
    {"MIN TEMP", "0.05 0.05 0.05", "a try ends below this temperature"},
    {"ERR ITERS AT TEMP", "300", "Monte Carlo (mode err): moves per temperature"},
    {"ERR MAX STEP SIZE", "0.3", "Monte Carlo: largest move"},
    {"ERR BOLTZMANN", "1", "Monte Carlo: k of the acceptance test"},
    {"ERR INIT TEMP", "10", "Monte Carlo: start temperature"},
    {"ERR ATTEN TEMP", "1.3", "Monte Carlo: temperature divisor"},
    {"ERR MIN TEMP", "0.05", "Monte Carlo: end temperature"},
    {"MIN STDEV2", "0.001", "stop when the sd scatter between blocks is this"},
    {"PER MC BLOCK", "20", "Monte Carlo runs per block"},
    {"MAX MC BLOCKS", "15", "largest number of blocks"},
    {"MAX MC CHI2", "80", "runs above this chi2 are redone with new noise"},
};

}  // namespace

void print_help(std::ostream& out) { out << kHelp; }

void print_template(std::ostream& out) {
  for (TemplateLine const& t : kTemplate) {
    std::string head = std::string(t.key) + ": " + t.value;
    int pad = kExplainColumn - static_cast<int>(head.size());
    out << head << std::string(pad > 2 ? pad : 2, ' ') << t.note << '\n';
  }
}
