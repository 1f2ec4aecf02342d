// Reader of the parameter file: one "KEY: value" per line, keys in any
// order, blank lines and "#" comments anywhere.
//
// A blank inside a key matches any run of white space, or none ("PER2PI:").
// A value is the first token after the colon and must be wholly a number
// where the key takes one; what follows it after white space is a remark.
// The 33-line file of earlier versions, every key in a fixed order, is read
// by the same rules and gives the same values.
#include <cctype>
#include <string>
#include <vector>

#include "input/param_keys.h"
#include "input/param_limits.h"
#include "input/run_params.h"
#include "input/text_inputs.h"
#include "input/text_lines.h"

namespace {

// A parameter file holds one line per key; more lines than this is not one.
const size_t kMaxParamLines = 1000;

bool is_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// The key as the reader compares it: no white space, and in capitals when
// the letter case is to be ignored.
std::string squeezed(std::string const& s, bool upper) {
  std::string t;
  for (char c : s)
    if (!is_space(c)) t += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
  return t;
}

ParamKey const* match_key(std::string const& written, bool ignore_case) {
  std::string w = squeezed(written, ignore_case);
  for (ParamKey const& k : param_keys())
    if (squeezed(k.name, ignore_case) == w) return &k;
  return nullptr;
}

struct Entry {
  size_t line = 0;  // 0: not in the file
  std::string value;  // the text after the colon
};

class ParamReader {
 public:
  ParamReader(std::string const& file, std::vector<std::string> const& lines)
      : file_(printable(file)), lines_(lines), found_(param_keys().size()) {}

  // Finds the line of every key; refuses a line that is not "KEY: value".
  InputStatus locate();
  // Converts every key's value (or its default) into p, MODE first, since
  // which keys the run needs depends on it.
  InputStatus convert(std::string const& solver, RunParams& p);

 private:
  std::string at(size_t line) const {
    return "parameter error: " + file_ + " line " + std::to_string(line) + ": ";
  }
  InputStatus missing(ParamKey const& k) const;
  InputStatus convert_one(ParamKey const& k, Entry const& e, RunParams& p) const;
  InputStatus convert_list(ParamKey const& k, Entry const& e, std::vector<std::string> const& tok,
                           RunParams& p) const;
  InputStatus bad_number(ParamKey const& k, Entry const& e, std::string const& tok, bool whole) const {
    return refused(at(e.line) + k.name + " " + number_fault(tok, whole) + "\n");
  }

  std::string file_;
  std::vector<std::string> const& lines_;
  std::vector<Entry> found_;  // by key, in table order
};

InputStatus ParamReader::locate() {
  for (size_t i = 0; i < lines_.size(); i++) {
    std::string const& l = lines_[i];
    size_t start = 0;
    while (start < l.size() && is_space(l[start])) start++;
    if (start == l.size() || l[start] == '#') continue;
    size_t colon = l.find(':');
    if (colon == std::string::npos)
      return refused(at(i + 1) + quote_token(l.substr(start)) +
                     " is not a \"KEY: value\" line (a comment starts with #)\n");
    std::string written = l.substr(start, colon - start);
    ParamKey const* k = match_key(written, false);
    if (!k) {
      ParamKey const* near = match_key(written, true);
      if (near)
        return refused(at(i + 1) + quote_token(written + ":") + " is not a key; did you mean " +
                       near->name + ":?\n");
      return refused(at(i + 1) + "unknown key " + quote_token(written + ":") +
                     "; redordist --template lists the keys\n");
    }
    Entry& e = found_[param_key_index(*k)];
    if (e.line != 0)
      return refused(at(i + 1) + k->name + " is given twice (first on line " +
                     std::to_string(e.line) + ")\n");
    e.line = i + 1;
    e.value = l.substr(colon + 1);
  }
  return std::nullopt;
}

InputStatus ParamReader::missing(ParamKey const& k) const {
  char const* who = "every run needs it";
  if (k.need == Need::kAnnealing) who = "--solver annealing needs it in mode fit and err";
  if (k.need == Need::kAnnealingErr) who = "--solver annealing needs it in mode err";
  if (k.need == Need::kErr) who = "mode err needs it";
  return refused("parameter error: " + file_ + " has no " + k.name + " line, and " + who +
                 "; add one such as \"" + k.name + ": " + k.example + "\" (" + key_note(k) + ")\n");
}

InputStatus ParamReader::convert(std::string const& solver, RunParams& p) {
  auto const& keys = param_keys();
  for (size_t i = 0; i < keys.size(); i++) {
    Entry e = found_[i];
    if (e.line == 0) {
      if (key_required(keys[i], p.mode, solver)) return missing(keys[i]);
      e.value = keys[i].deflt;
      p.defaulted |= 1ULL << i;
    }
    if (InputStatus s = convert_one(keys[i], e, p)) return s;
  }
  return std::nullopt;
}

InputStatus ParamReader::convert_one(ParamKey const& k, Entry const& e, RunParams& p) const {
  std::vector<std::string> tok = split_tokens(e.value);
  if (tok.empty())
    return refused(at(e.line) + k.name + " has no value; write for example \"" + k.name + ": " +
                   k.example + "\"\n");
  switch (k.kind) {
    case ValueKind::kText:
      p.*k.text = tok[0];
      break;
    case ValueKind::kInt:
      if (!parse_int_token(tok[0], p.*k.whole)) return bad_number(k, e, tok[0], true);
      break;
    case ValueKind::kDouble:
      if (!parse_double_token(tok[0], p.*k.real)) return bad_number(k, e, tok[0], false);
      break;
    case ValueKind::kScaling:
      // The second value is optional; a word after the first is a remark.
      if (!parse_double_token(tok[0], p.*k.real)) return bad_number(k, e, tok[0], false);
      p.*k.second = 0.0;
      if (tok.size() > 1 && !parse_double_token(tok[1], p.*k.second) && looks_numeric(tok[1]))
        return bad_number(k, e, tok[1], false);
      break;
    case ValueKind::kIntList:
    case ValueKind::kDoubleList:
      return convert_list(k, e, tok, p);
  }
  return std::nullopt;
}

// NTRIES entries (NTRIES is read first): entry 0 must be there; the list
// ends early at a word (a remark) and the entries not given are filled, in
// INIT TEMP with 0 (go on from the best state), elsewhere with entry 0.
// Numbers beyond the NTRIES-th are not read.
InputStatus ParamReader::convert_list(ParamKey const& k, Entry const& e,
                                      std::vector<std::string> const& tok, RunParams& p) const {
  size_t n = static_cast<size_t>(p.ntries >= 0 && p.ntries <= kMaxTries ? p.ntries : 0);
  bool whole = k.kind == ValueKind::kIntList;
  std::vector<double> got;
  for (size_t j = 0; j < tok.size() && j < std::max<size_t>(n, 1); j++) {
    double v = 0.0;
    int iv = 0;
    bool ok = whole ? parse_int_token(tok[j], iv) : parse_double_token(tok[j], v);
    if (!ok) {
      if (j == 0 || looks_numeric(tok[j])) return bad_number(k, e, tok[j], whole);
      break;
    }
    got.push_back(whole ? iv : v);
  }
  bool zero_fill = std::string(k.name) == "INIT TEMP";
  std::vector<double>& field = p.*k.list;
  field.assign(n, 0.0);
  for (size_t i = 0; i < n; i++) field[i] = i < got.size() ? got[i] : (zero_fill ? 0.0 : got[0]);
  return std::nullopt;
}

}  // namespace

InputStatus read_params(std::string const& param_file, std::string const& solver, RunParams& p) {
  std::vector<std::string> lines;
  // A line is cut at 16 MiB, far beyond anything the value checks accept,
  // so that an endless pipe cannot exhaust memory.
  if (!read_first_lines(param_file, kMaxParamLines + 1, 16u << 20, lines))
    return refused("Can't open input params from " + param_file + "\n");
  if (lines.size() > kMaxParamLines)
    return refused("parameter error: " + printable(param_file) + " has more than " +
                   std::to_string(kMaxParamLines) + " lines; it holds one line per key\n");
  return read_params_lines(param_file, lines, solver, p);
}

InputStatus read_params_lines(std::string const& name, std::vector<std::string> const& lines,
                              std::string const& solver, RunParams& p) {
  p = RunParams();
  ParamReader reader(name, lines);
  if (InputStatus s = reader.locate()) return s;
  return reader.convert(solver, p);
}
