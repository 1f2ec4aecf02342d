#include "input/param_keys.h"

#include <limits>
#include <sstream>

#include "input/param_limits.h"

namespace {

const double kInf = std::numeric_limits<double>::infinity();

Rule any_number() { return {-kInf, kInf, false, "", ""}; }
Rule above(double lo, char const* text) { return {lo, kInf, true, text, ""}; }
Rule at_least(double lo, char const* text) { return {lo, kInf, false, text, ""}; }
Rule within(double lo, double hi, char const* lo_text, char const* hi_text) {
  return {lo, hi, false, lo_text, hi_text};
}

ParamKey base(char const* name, ValueKind kind, char const* unit, Need need, char const* deflt,
              char const* example, char const* help) {
  return {name, kind, unit, need, deflt, example, help, any_number(), 0,
          nullptr, nullptr, nullptr, nullptr, nullptr};
}

ParamKey text(char const* name, std::string RunParams::*field, Need need, char const* deflt,
              char const* example, char const* help, size_t max_len) {
  ParamKey k = base(name, ValueKind::kText, "", need, deflt, example, help);
  k.text = field;
  k.max_len = max_len;
  return k;
}

ParamKey whole(char const* name, int RunParams::*field, Need need, char const* deflt,
               char const* example, char const* help, Rule rule) {
  ParamKey k = base(name, ValueKind::kInt, "", need, deflt, example, help);
  k.whole = field;
  k.rule = rule;
  return k;
}

ParamKey real(char const* name, double RunParams::*field, char const* unit, Need need,
              char const* deflt, char const* example, char const* help, Rule rule) {
  ParamKey k = base(name, ValueKind::kDouble, unit, need, deflt, example, help);
  k.real = field;
  k.rule = rule;
  return k;
}

// The per-try lists: their rules depend on the try (a 0 takes the first
// try's value), so they are checked with the schedule (param_checks.cpp).
ParamKey list(char const* name, std::vector<double> RunParams::*field, ValueKind kind,
              char const* example, char const* help) {
  ParamKey k = base(name, kind, "", Need::kAnnealing, example, example, help);
  k.list = field;
  return k;
}

const char* const kNotBelow0 = "it must not be below 0";
const char* const kAbove0 = "it must be above 0";

// The table itself, one entry per key in the order of the 33-line file: data
// read top to bottom, hence longer than a function would be.
std::vector<ParamKey> make_keys() {
  using R = RunParams;
  // Defaults of the schedules are the template's values; they stand in for
  // keys the run does not use (the annealing's schedule for the other
  // solvers, the Monte Carlo settings in mode fit).
  return {
      text("MODE", &R::mode, Need::kRequired, nullptr, "fit", "fit, err or sim", kMaxModeLen),
      text("LAMBDA_D", &R::lambda_d_file, Need::kOptional, "none", "none",
           "universal dephasing curve, or none", kMaxLambdaFileLen),
      text("XYDATA", &R::xydata_file, Need::kRequired, nullptr, "my_redor.dat",
           "data file: N_c S0 S S/S0 error", kMaxFileLen),
      text("DISTDIST", &R::distdist_file, Need::kOptional, "none", "none",
           "prescribed distances (distance fraction) or none", kMaxFileLen),
      text("PATH", &R::path, Need::kOptional, "./", "runs/",
           "existing directory for the run, ends with /", 0),
      text("OUTPUT", &R::output_base, Need::kRequired, nullptr, "my_run",
           "run name: results go to PATH + OUTPUT + /", kMaxOutputLen),
      text("XN", &R::detect_nucleus, Need::kRequired, nullptr, "13C",
           "observed nucleus: 13C 15N 31P 19F 1H 2H 29Si ...", kMaxNucleusLen),
      text("YN", &R::dephase_nucleus, Need::kRequired, nullptr, "15N", "dephasing nucleus",
           kMaxNucleusLen),
      real("NEAR", &R::near, "Angstrom", Need::kRequired, nullptr, "2.5",
           "shortest distance of the grid",
           at_least(kMinDistance, "it must be at least 0.5 Angstrom (no chemical bond is shorter)")),
      real("FAR", &R::far, "Angstrom", Need::kRequired, nullptr, "6.0",
           "longest distance of the grid", any_number()),
      real("GRAIN", &R::grain, "Angstrom", Need::kRequired, nullptr, "0.05", "grid step",
           above(0, kAbove0)),
      // Its rule depends on LAMBDA_D (param_checks.cpp).
      whole("PER 2PI", &R::per_2pi, Need::kOptional, "0", "0",
            "powder steps per turn; 0: exact closed form", any_number()),
      real("MID PULSE", &R::mid_pulse, "microseconds", Need::kOptional, "0", "0",
           "time offset of the mid pulse", any_number()),
      real("MAS", &R::mas, "Hz", Need::kRequired, nullptr, "10000", "spinning rate",
           within(kMinMas, kMaxMas, "it must lie between 100 Hz and 1 MHz (the spinning rate in Hz)",
                  "it must lie between 100 Hz and 1 MHz (the spinning rate in Hz)")),
      [] {
        ParamKey k = real("SCALING", &R::scaling_a, "", Need::kRequired, nullptr, "1.0",
                          "dephasable share: S/S0 ends at 1 - SCALING",
                          above(0, "it must be above 0 (the share of X that Y can dephase)"));
        k.kind = ValueKind::kScaling;
        k.second = &R::scaling_b;
        return k;
      }(),
      whole("LAST POINT", &R::last_point, Need::kOptional, "0", "0",
            "curves up to this N_c; 0: largest data N_c",
            within(0, kMaxCycleCount, kNotBelow0, "at most 100000 rotor cycles are allowed")),
      whole("NTRIES", &R::ntries, Need::kAnnealing, "3", "3",
            "annealing tries; next 6 lines: a value per try",
            within(0, kMaxTries, kNotBelow0, "at most 1000 tries are allowed")),
      list("ITERS AT TEMP", &R::iters_at_temp, ValueKind::kIntList, "1000 1000 1000",
           "moves per temperature"),
      list("MAX STEP SIZE", &R::max_step_size, ValueKind::kDoubleList, "0.5 0.2 0.1",
           "largest change of a multiplier in one move"),
      list("BOLTZMANN", &R::boltzmann, ValueKind::kDoubleList, "1 1 1",
           "k in the acceptance test exp(-dchi2/(k T))"),
      list("INIT TEMP", &R::init_temp, ValueKind::kDoubleList, "20 0 0",
           "start temperature; 0: go on from the best"),
      list("ATTEN TEMP", &R::atten_temp, ValueKind::kDoubleList, "1.2 1.2 1.2",
           "divisor of the temperature after each step"),
      list("MIN TEMP", &R::min_temp, ValueKind::kDoubleList, "0.05 0.05 0.05",
           "a try ends below this temperature"),
      whole("ERR ITERS AT TEMP", &R::err_iters_at_temp, Need::kAnnealingErr, "300", "300",
            "Monte Carlo (mode err): moves per temperature", at_least(1, "it must be at least 1")),
      real("ERR MAX STEP SIZE", &R::err_max_step_size, "", Need::kAnnealingErr, "0.3", "0.3",
           "Monte Carlo: largest move", any_number()),
      real("ERR BOLTZMANN", &R::err_boltzmann, "", Need::kAnnealingErr, "1", "1",
           "Monte Carlo: k of the acceptance test", above(0, kAbove0)),
      real("ERR INIT TEMP", &R::err_init_temp, "", Need::kAnnealingErr, "10", "10",
           "Monte Carlo: start temperature", above(0, kAbove0)),
      real("ERR ATTEN TEMP", &R::err_atten_temp, "", Need::kAnnealingErr, "1.3", "1.3",
           "Monte Carlo: temperature divisor", above(1, "it must be above 1")),
      real("ERR MIN TEMP", &R::err_min_temp, "", Need::kAnnealingErr, "0.05", "0.05",
           "Monte Carlo: end temperature", above(0, kAbove0)),
      real("MIN STDEV2", &R::min_stdev2, "", Need::kErr, "0.001", "0.001",
           "stop when the sd scatter between blocks is this", any_number()),
      whole("PER MC BLOCK", &R::per_mc_block, Need::kErr, "20", "20", "Monte Carlo runs per block",
            at_least(2, "it must be at least 2")),
      whole("MAX MC BLOCKS", &R::max_mc_blocks, Need::kErr, "15", "15", "largest number of blocks",
            at_least(2, "it must be at least 2")),
      real("MAX MC CHI2", &R::max_mc_chi2, "", Need::kErr, "80", "80",
           "redo runs above it; 2N + 4 sqrt(2N) for N points",
           above(0, kAbove0)),
  };
}

}  // namespace

std::vector<ParamKey> const& param_keys() {
  static const std::vector<ParamKey> keys = make_keys();
  return keys;
}

ParamKey const* find_param_key(std::string const& name) {
  for (ParamKey const& k : param_keys())
    if (name == k.name) return &k;
  return nullptr;
}

size_t param_key_index(ParamKey const& key) {
  return static_cast<size_t>(&key - param_keys().data());
}

bool key_used(ParamKey const& key, std::string const& mode, std::string const& solver) {
  bool fitting = mode == "fit" || mode == "err";
  switch (key.need) {
    case Need::kRequired:
    case Need::kOptional:
      return true;
    case Need::kAnnealing:
      return solver == "annealing" && fitting;
    case Need::kAnnealingErr:
      return solver == "annealing" && mode == "err";
    case Need::kErr:
      return mode == "err";
  }
  return true;
}

bool key_required(ParamKey const& key, std::string const& mode, std::string const& solver) {
  return key.need != Need::kOptional && key_used(key, mode, solver);
}

std::string value_text(RunParams const& p, ParamKey const& key) {
  std::ostringstream s;
  switch (key.kind) {
    case ValueKind::kText:
      s << p.*key.text;
      break;
    case ValueKind::kInt:
      s << p.*key.whole;
      break;
    case ValueKind::kDouble:
      s << p.*key.real;
      break;
    case ValueKind::kScaling:
      s << p.*key.real << " " << p.*key.second;
      break;
    case ValueKind::kIntList:
    case ValueKind::kDoubleList:
      for (int i = 0; i < p.ntries && i < static_cast<int>((p.*key.list).size()); i++)
        s << (p.*key.list)[i] << " ";
      break;
  }
  return s.str();
}

std::string key_note(ParamKey const& key) {
  return *key.unit ? std::string(key.help) + ", " + key.unit : key.help;
}
