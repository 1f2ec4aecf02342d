// The one table of the parameter file's keys: name, type, unit, default,
// when a run needs it, the rule on its value and a line of help. The reader,
// the value checks, the run log's echo, --template and the test and
// benchmark fixtures all walk this table.
#ifndef REDORDIST_INPUT_PARAM_KEYS_H
#define REDORDIST_INPUT_PARAM_KEYS_H

#include <cstddef>
#include <string>
#include <vector>

#include "input/run_params.h"

enum class ValueKind {
  kText,        // one token
  kInt,         // a whole number
  kDouble,      // a number
  kScaling,     // a number and an optional second one (only echoed)
  kIntList,     // NTRIES whole numbers, one per annealing try
  kDoubleList,  // NTRIES numbers
};

// When a run needs the key. A key the run needs must be written in the file
// (kOptional excepted); any other key may be left out and takes its default.
enum class Need {
  kRequired,      // every run
  kOptional,      // every run, but the default is a sensible choice
  kAnnealing,     // --solver annealing in mode fit or err (the fit's schedule)
  kAnnealingErr,  // --solver annealing in mode err (the Monte Carlo runs' schedule)
  kErr,           // mode err, any solver (the block loop of the uncertainty)
};

// The rule on a number: lo < v (lo_open) or lo <= v, and v <= hi; each
// side with the text that ends its refusal ("it must be above 0").
struct Rule {
  double lo, hi;
  bool lo_open;
  char const* lo_text;
  char const* hi_text;
};

struct ParamKey {
  char const* name;     // as written before the colon
  ValueKind kind;
  char const* unit;     // of the value, "" for none
  Need need;
  char const* deflt;    // value text of a key left out; nullptr: none
  char const* example;  // the value --template writes
  char const* help;     // what the value means, without its unit
  Rule rule;            // numbers, checked when the run uses the key
  size_t max_len;       // texts: the longest value allowed (0: no own limit)
  // The field that receives the value: the one that fits kind is set.
  std::string RunParams::*text;
  int RunParams::*whole;
  double RunParams::*real;
  std::vector<double> RunParams::*list;
  double RunParams::*second;  // SCALING's second value
};

// Every key, in the order of the 33-line file.
std::vector<ParamKey> const& param_keys();

// The key of that name (exactly as in the table), or nullptr.
ParamKey const* find_param_key(std::string const& name);

// Position of the key in param_keys() (its 33-line file line is this + 1).
size_t param_key_index(ParamKey const& key);

// Whether a run of this mode and solver uses the key's value, and whether
// it must then be written in the file.
bool key_used(ParamKey const& key, std::string const& mode, std::string const& solver);
bool key_required(ParamKey const& key, std::string const& mode, std::string const& solver);

// The value as the run log echoes it: the stream's default number format
// (six significant digits), a list as NTRIES entries each followed by a blank.
std::string value_text(RunParams const& p, ParamKey const& key);

// The help line of --template: the help and the unit ("grid step, Angstrom").
std::string key_note(ParamKey const& key);

#endif
