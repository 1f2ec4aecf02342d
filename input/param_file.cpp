// Reader of the 33-line positional parameter file.
//
// Each line starts with a fixed key matched with scanf rules (a blank in the
// key matches any run of white space, including none); the value follows.
// A line that does not match leaves its field at 0 (empty for texts) with a
// warning on standard output, and reading goes on by position.
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "input/param_limits.h"
#include "input/run_params.h"
#include "input/text_lines.h"
#include "numeric/fatal.h"
#include "numeric/warnings.h"

namespace {

bool is_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Matches the key of a pattern such as "NEAR: %le" against the line and
// returns the position where the value starts (white space skipped), or -1.
long match_key(std::string const& line, std::string const& pattern) {
  std::string key = pattern.substr(0, pattern.find('%'));
  std::string fmt = key + "%n";
  int pos = -1;
  std::sscanf(line.c_str(), fmt.c_str(), &pos);
  if (pos < 0) return -1;
  size_t p = static_cast<size_t>(pos);
  while (p < line.size() && is_space(line[p])) p++;
  return static_cast<long>(p);
}

// strtod from position p; returns the count consumed (0: no number).
size_t read_double(std::string const& line, size_t p, double& v) {
  if (p >= line.size()) return 0;
  char const* s = line.c_str() + p;
  char* end = nullptr;
  errno = 0;
  double x = std::strtod(s, &end);
  if (end == s) return 0;
  v = x;
  return static_cast<size_t>(end - s);
}

// Decimal integer (optional sign) from position p; 0 when none or out of range.
size_t read_int(std::string const& line, size_t p, int& v) {
  if (p >= line.size()) return 0;
  char const* s = line.c_str() + p;
  if (!(std::isdigit(static_cast<unsigned char>(s[0])) ||
        ((s[0] == '+' || s[0] == '-') && std::isdigit(static_cast<unsigned char>(s[1])))))
    return 0;
  char* end = nullptr;
  errno = 0;
  long x = std::strtol(s, &end, 10);
  if (end == s || errno == ERANGE || x < INT_MIN || x > INT_MAX) return 0;
  v = static_cast<int>(x);
  return static_cast<size_t>(end - s);
}

std::string token_at(std::string const& line, size_t p) {
  size_t e = p;
  while (e < line.size() && !is_space(line[e])) e++;
  return line.substr(p, e - p);
}

void warn_mismatch(int lineno, bool missing, char const* pattern, char const* key, bool text) {
  std::ostringstream w;
  w << "warning: parameter line " << lineno;
  if (missing)
    w << " is missing";
  else
    w << " does not match \"" << pattern << "\"";
  w << "; " << key << (text ? " left empty" : " set to 0");
  warn(w.str());
}

// Reads the lines by position; each method reads the next line into a field.
class Reader {
 public:
  std::vector<std::string> lines;
  int lineno = 0;  // 1-based number of the line being read

  void text_line(char const* pattern, char const* key, std::string& field) {
    std::string l;
    bool have = next(l);
    long p = have ? match_key(l, pattern) : -1;
    if (p >= 0 && static_cast<size_t>(p) < l.size()) {
      field = token_at(l, static_cast<size_t>(p));
      return;
    }
    field.clear();
    warn_mismatch(lineno, !have, pattern, key, true);
  }

  // A number read with read (read_double or read_int); 0 when it does not match.
  template <typename T>
  void number_line(char const* pattern, char const* key, T& field,
                   size_t (*read)(std::string const&, size_t, T&)) {
    std::string l;
    bool have = next(l);
    long p = have ? match_key(l, pattern) : -1;
    T v = 0;
    field = 0;
    if (p >= 0 && read(l, static_cast<size_t>(p), v) > 0)
      field = v;
    else
      warn_mismatch(lineno, !have, pattern, key, false);
  }
  void double_line(char const* pattern, char const* key, double& field) {
    number_line(pattern, key, field, read_double);
  }
  void int_line(char const* pattern, char const* key, int& field) {
    number_line(pattern, key, field, read_int);
  }

  // SCALING: the second value is optional and only echoed.
  void scaling_line(double& a, double& b) {
    std::string l;
    bool have = next(l);
    long p = have ? match_key(l, "SCALING: %le %le") : -1;
    double x = 0.0, y = 0.0;
    size_t used = p >= 0 ? read_double(l, static_cast<size_t>(p), x) : 0;
    a = b = 0.0;
    if (used == 0) {
      warn_mismatch(lineno, !have, "SCALING: %le %le", "SCALING", false);
      return;
    }
    a = x;
    size_t q = static_cast<size_t>(p) + used;
    while (q < l.size() && is_space(l[q])) q++;
    if (read_double(l, q, y) > 0) b = y;
  }

  // A per-try list of n entries: entry 0 after the key, then further
  // numbers. Entries not given are filled with fill_zero ? 0 : entry 0.
  void list_line(char const* pattern, char const* key, bool integer, bool fill_zero, int ntries,
                 std::vector<double>& field) {
    size_t n = static_cast<size_t>(ntries >= 0 && ntries <= kMaxTries ? ntries : 0);
    std::string l;
    bool have = next(l);
    long p = have ? match_key(l, pattern) : -1;
    std::vector<double> got;
    if (p < 0)
      warn_mismatch(lineno, !have, pattern, key, false);
    else
      got = list_numbers(l, static_cast<size_t>(p), std::max<size_t>(n, 1), pattern, key, integer);
    double entry0 = got.empty() ? 0.0 : got[0];
    field.assign(n, 0.0);
    for (size_t i = 0; i < n; i++) field[i] = i < got.size() ? got[i] : (fill_zero ? 0.0 : entry0);
  }

 private:
  bool next(std::string& out) {
    lineno++;
    if (static_cast<size_t>(lineno) > lines.size()) return false;
    out = lines[lineno - 1];
    return true;
  }

  // Up to max numbers from pos on; a first entry that is not a number is a
  // mismatch (nothing is taken), a later one ends the list with a warning.
  std::vector<double> list_numbers(std::string const& l, size_t pos, size_t max,
                                   char const* pattern, char const* key, bool integer) {
    std::vector<double> got;
    while (got.size() < max) {
      while (pos < l.size() && is_space(l[pos])) pos++;
      size_t used = 0;
      double v = 0.0;
      bool whole = true;
      if (pos < l.size() && integer) {
        int iv = 0;
        used = read_int(l, pos, iv);
        v = iv;
        // "200.5" is not an integer: the list ends before it.
        whole = used > 0 && (pos + used >= l.size() || is_space(l[pos + used]));
      } else if (pos < l.size()) {
        used = read_double(l, pos, v);
      }
      if (used == 0 || !whole) {
        if (got.empty()) {
          warn_mismatch(lineno, false, pattern, key, false);
        } else if (pos < l.size()) {
          warn("warning: parameter line " + std::to_string(lineno) + " holds " +
               quote_token(token_at(l, pos)) + (integer ? ", not an integer" : ", not a number") +
               "; " + key + " ends before it");
        }
        break;
      }
      got.push_back(v);
      pos += used;
    }
    return got;
  }
};

// The keys of the 33 lines, in order.
const char* const kKeys[33] = {
    "MODE:", "LAMBDA_D:", "XYDATA:", "DISTDIST:", "PATH:", "OUTPUT:", "XN:", "YN:", "NEAR:", "FAR:",
    "GRAIN:", "PER 2PI:", "MID PULSE:", "MAS:", "SCALING:", "LAST POINT:", "NTRIES:",
    "ITERS AT TEMP:", "MAX STEP SIZE:", "BOLTZMANN:", "INIT TEMP:", "ATTEN TEMP:", "MIN TEMP:",
    "ERR ITERS AT TEMP:", "ERR MAX STEP SIZE:", "ERR BOLTZMANN:", "ERR INIT TEMP:",
    "ERR ATTEN TEMP:", "ERR MIN TEMP:", "MIN STDEV2:", "PER MC BLOCK:", "MAX MC BLOCKS:",
    "MAX MC CHI2:"};

// Lines are read by position, so one missing or extra line shifts every
// later value onto the wrong key. A line that carries another line's key
// shows that; the file is refused with the place instead of a warning for
// every later line and a misleading refusal of some shifted value.
void refuse_shifted(std::string const& file, std::vector<std::string> const& lines) {
  for (size_t i = 0; i < lines.size() && i < 33; i++) {
    if (match_key(lines[i], std::string(kKeys[i]) + "%") >= 0) continue;
    for (size_t j = 0; j < 33; j++) {
      if (j == i || match_key(lines[i], std::string(kKeys[j]) + "%") < 0) continue;
      std::ostringstream m;
      m << "parameter error: " << file << " line " << i + 1 << " holds the key of line " << j + 1
        << " (" << kKeys[j] << "): a line is missing or extra near line " << std::min(i, j) + 1
        << "\n";
      fatal_exit(m.str(), 1);
    }
  }
}

}  // namespace

RunParams read_params(char const* param_file) {
  std::vector<std::string> all;
  // Lines beyond the 33rd are never read; a line is cut at 16 MiB, far
  // beyond anything the value checks accept, so an endless pipe cannot
  // exhaust memory.
  if (!read_first_lines(param_file, 33, 16u << 20, all)) {
    fatal_exit(std::string("Can't open input params from ") + param_file + "\n", 1);
  }
  refuse_shifted(param_file, all);
  Reader rd;
  rd.lines = std::move(all);
  RunParams rp;
  rd.text_line("MODE: %s", "MODE", rp.mode);
  rd.text_line("LAMBDA_D: %s", "LAMBDA_D", rp.lambda_d_file);
  rd.text_line("XYDATA: %s", "XYDATA", rp.xydata_file);
  rd.text_line("DISTDIST: %s", "DISTDIST", rp.distdist_file);
  rd.text_line("PATH: %s", "PATH", rp.path);
  rd.text_line("OUTPUT: %s", "OUTPUT", rp.output_base);
  rd.text_line("XN: %s", "XN", rp.detect_nucleus);
  rd.text_line("YN: %s", "YN", rp.dephase_nucleus);
  rd.double_line("NEAR: %le", "NEAR", rp.near);
  rd.double_line("FAR: %le", "FAR", rp.far);
  rd.double_line("GRAIN: %le", "GRAIN", rp.grain);
  rd.int_line("PER 2PI: %d", "PER 2PI", rp.per_2pi);
  rd.double_line("MID PULSE: %le", "MID PULSE", rp.mid_pulse);
  rd.double_line("MAS: %le", "MAS", rp.mas);
  rd.scaling_line(rp.scaling_a, rp.scaling_b);
  rd.int_line("LAST POINT: %d", "LAST POINT", rp.last_point);
  rd.int_line("NTRIES: %d", "NTRIES", rp.ntries);
  rd.list_line("ITERS AT TEMP:%d%n", "ITERS AT TEMP", true, false, rp.ntries, rp.iters_at_temp);
  rd.list_line("MAX STEP SIZE: %le%n", "MAX STEP SIZE", false, false, rp.ntries, rp.max_step_size);
  rd.list_line("BOLTZMANN: %le%n", "BOLTZMANN", false, false, rp.ntries, rp.boltzmann);
  rd.list_line("INIT TEMP: %le%n", "INIT TEMP", false, true, rp.ntries, rp.init_temp);
  rd.list_line("ATTEN TEMP: %le%n", "ATTEN TEMP", false, false, rp.ntries, rp.atten_temp);
  rd.list_line("MIN TEMP: %le%n", "MIN TEMP", false, false, rp.ntries, rp.min_temp);
  rd.int_line("ERR ITERS AT TEMP: %d", "ERR ITERS AT TEMP", rp.err_iters_at_temp);
  rd.double_line("ERR MAX STEP SIZE: %le", "ERR MAX STEP SIZE", rp.err_max_step_size);
  rd.double_line("ERR BOLTZMANN: %le", "ERR BOLTZMANN", rp.err_boltzmann);
  rd.double_line("ERR INIT TEMP: %le", "ERR INIT TEMP", rp.err_init_temp);
  rd.double_line("ERR ATTEN TEMP: %le", "ERR ATTEN TEMP", rp.err_atten_temp);
  rd.double_line("ERR MIN TEMP: %le", "ERR MIN TEMP", rp.err_min_temp);
  rd.double_line("MIN STDEV2: %le", "MIN STDEV2", rp.min_stdev2);
  rd.int_line("PER MC BLOCK: %d", "PER MC BLOCK", rp.per_mc_block);
  rd.int_line("MAX MC BLOCKS: %d", "MAX MC BLOCKS", rp.max_mc_blocks);
  rd.double_line("MAX MC CHI2: %le", "MAX MC CHI2", rp.max_mc_chi2);
  return rp;
}
