#include "driver/usage_text.h"

#include <string>

#include "input/param_keys.h"

namespace {

const char* const kHelp =
    "usage: redordist [--solver annealing|maxent|gaussians] PARAMETER_FILE\n"
    "       redordist --template [--solver NAME]  a parameter file to start from\n"
    "       redordist --solver maxent|gaussians --fit-scaling PARAMETER_FILE\n"
    "                    fits SCALING (the dephasable fraction) too\n"
    "       redordist --compare PARAMETER_FILE  the three solvers side by side\n"
    "       redordist [--solver NAME] PARAMETER_FILE --study FILE.csv [--shared]\n"
    "                    fits every curve of a study file, each on its own\n"
    "       redordist --help         print this text\n"
    "       redordist --version      print the version\n"
    "Options may stand before or after the file.\n"
    "\n"
    "Reconstructs the distribution of X-Y distances behind a REDOR dephasing\n"
    "curve (S/S0 of X after N_c rotor cycles of dephasing by Y under MAS).\n"
    "Modes (MODE in the parameter file):\n"
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
    "Parameter file: one `KEY: value' per line, keys in any order, blank lines\n"
    "and `#' comments anywhere; a word after the value is a remark. Keys a run\n"
    "does not use may be left out (the annealing's schedule for maxent and\n"
    "gaussians, the Monte Carlo keys in mode fit) and take their defaults, as\n"
    "may LAMBDA_D, DISTDIST (none), PATH (./), PER 2PI, MID PULSE, LAST POINT (0).\n"
    "Numbers take a decimal point. ITERS AT TEMP ... MIN TEMP hold NTRIES values,\n"
    "one per annealing try; a 0 takes the first try's value. PER 2PI 0 selects\n"
    "the exact closed-form powder average; LAMBDA_D names a universal dephasing\n"
    "curve (S/S0 against lambda_D = N_c D / (2 MAS), half the N_c T_r D of\n"
    "many papers). Nuclei: 13C 15N 31P 19F 1H 2H 29Si 77Se 89Y 103Rh 109Ag\n"
    "113Cd 117Sn 119Sn 125Te 129Xe 183W 195Pt 199Hg 205Tl 207Pb (or C13 ...).\n"
    "\n"
    "Data file (XYDATA), one point per line, `#' lines are comments:\n"
    "  N_c S0 S S/S0 error\n"
    "S/S0 must agree with S / S0; for S/S0 alone write S0 1 and S = S/S0. The\n"
    "error of S/S0 may be left out; one that is 0, negative or >= 1 counts as\n"
    "1.0, and chi2 then means little.\n"
    "\n"
    "Results go to the run directory PATH + OUTPUT + `/': the log, the result\n"
    "table (.me), a summary (.json), gnuplot scripts and figures.\n"
    "\n"
    "Study file (--study FILE.csv): a CSV with the header\n"
    "  curve,n_c,s0,s,s_s0,error[,mas][,xn][,yn][,scaling]\n"
    "and one data point per line. Each curve (a name of letters, digits, `.',\n"
    "`_' and `-') is fitted as a run of the parameter file into\n"
    "PATH + OUTPUT + `/<curve>/'; XYDATA is not read (it may be left out) and\n"
    "the columns mas, xn, yn and scaling, one value per curve, replace MAS, XN,\n"
    "YN and SCALING. The curves run side by side on OMP_NUM_THREADS threads\n"
    "(the results do not depend on it). A curve whose data are refused is\n"
    "listed with its reason and the others run. The table of all curves goes\n"
    "to PATH + OUTPUT + `-study.csv' and `.json', the figure to `-study.png' and\n"
    "`.pdf'; the status is 1 when any curve failed. With --shared one\n"
    "distribution is also fitted to all curves by the same solver and weighed\n"
    "against the separate fits by AIC; a warning names the curve that disagrees\n"
    "most, and a line says what the curves determine together. With\n"
    "--fit-scaling too (maxent or gaussians), the shared fit fits each curve's\n"
    "SCALING beside the one distribution.\n"
    "\n"
    "Exit status: 0 success; 1 bad input, a refused value, an output file or\n"
    "figure that could not be written, or a non-finite result; 130 or 143\n"
    "interrupted by SIGINT or SIGTERM.\n"
    "\n"
    "Start from `redordist --template > my.par'; see redordist(1).\n";

// The explanation column starts here; a value longer than that is followed
// by two spaces.
const int kExplainColumn = 31;

}  // namespace

void print_help(std::ostream& out) { out << kHelp; }

void print_template(std::ostream& out, std::string const& solver) {
  // The annealing reads every key: the whole 33-line file. The other solvers
  // get the keys they read, the schedules of the annealing left out.
  bool full = solver == "annealing";
  if (!full)
    out << "# redordist --solver " << solver << ": keys in any order, # starts a comment\n";
  for (ParamKey const& k : param_keys()) {
    if (!full && (k.need == Need::kAnnealing || k.need == Need::kAnnealingErr)) continue;
    std::string head = std::string(k.name) + ": " + k.example;
    int pad = kExplainColumn - static_cast<int>(head.size());
    out << head << std::string(pad > 2 ? pad : 2, ' ') << key_note(k) << '\n';
  }
}
