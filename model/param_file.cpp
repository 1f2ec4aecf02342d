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
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "model/paar.h"
#include "model/param_limits.h"
#include "model/text_lines.h"

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

struct Reader {
  std::vector<std::string> lines;
  int lineno = 0;  // 1-based number of the line being read

  bool next(std::string& out) {
    lineno++;
    if (static_cast<size_t>(lineno) > lines.size()) return false;
    out = lines[lineno - 1];
    return true;
  }
};

void warn_mismatch(int lineno, bool missing, char const* pattern, char const* key, bool text) {
  std::cout << "warning: parameter line " << lineno;
  if (missing)
    std::cout << " is missing";
  else
    std::cout << " does not match \"" << pattern << "\"";
  std::cout << "; " << key << (text ? " left empty" : " set to 0") << std::endl;
}

}  // namespace

void Paar::read_params(char const* param_file) {
  std::vector<std::string> all;
  // Lines beyond the 33rd are never read; a line is cut at 16 MiB, far
  // beyond anything the value checks accept, so an endless pipe cannot
  // exhaust memory.
  if (!read_first_lines(param_file, 33, 16u << 20, all)) {
    fatal_exit(std::string("Can't open input params from ") + param_file + "\n", 1);
  }
  Reader rd;
  for (size_t i = 0; i < all.size() && i < 33; i++) rd.lines.push_back(all[i]);

  auto text_line = [&](char const* pattern, char const* key, std::string& field) {
    std::string l;
    bool have = rd.next(l);
    long p = have ? match_key(l, pattern) : -1;
    if (p >= 0 && static_cast<size_t>(p) < l.size()) {
      field = token_at(l, static_cast<size_t>(p));
      return;
    }
    field.clear();
    warn_mismatch(rd.lineno, !have, pattern, key, true);
  };
  auto double_line = [&](char const* pattern, char const* key, double& field) {
    std::string l;
    bool have = rd.next(l);
    long p = have ? match_key(l, pattern) : -1;
    double v = 0.0;
    if (p >= 0 && read_double(l, static_cast<size_t>(p), v) > 0) {
      field = v;
      return;
    }
    field = 0.0;
    warn_mismatch(rd.lineno, !have, pattern, key, false);
  };
  auto int_line = [&](char const* pattern, char const* key, int& field) {
    std::string l;
    bool have = rd.next(l);
    long p = have ? match_key(l, pattern) : -1;
    int v = 0;
    if (p >= 0 && read_int(l, static_cast<size_t>(p), v) > 0) {
      field = v;
      return;
    }
    field = 0;
    warn_mismatch(rd.lineno, !have, pattern, key, false);
  };
  // A per-try list: entry 0 after the key, then further numbers after it.
  // Entries not given are filled with fill_zero ? 0 : entry 0.
  auto list_line = [&](char const* pattern, char const* key, bool integer, bool fill_zero,
                       gsl_vector*& field) {
    size_t n = static_cast<size_t>(ntries >= 0 && ntries <= kMaxTries ? ntries : 0);
    field = gsl_vector_calloc(n);
    std::string l;
    bool have = rd.next(l);
    long p = have ? match_key(l, pattern) : -1;
    std::vector<double> got;
    bool bad_first = false;
    if (p < 0) {
      warn_mismatch(rd.lineno, !have, pattern, key, false);
      bad_first = true;
    } else {
      size_t pos = static_cast<size_t>(p);
      bool first = true;
      while (got.size() < std::max<size_t>(n, 1)) {
        while (pos < l.size() && is_space(l[pos])) pos++;
        if (pos >= l.size()) {
          if (first) {
            warn_mismatch(rd.lineno, false, pattern, key, false);
            bad_first = true;
          }
          break;
        }
        size_t used = 0;
        double v = 0.0;
        bool whole = true;
        if (integer) {
          int iv = 0;
          used = read_int(l, pos, iv);
          v = iv;
          // "200.5" is not an integer: the list ends before it.
          whole = used > 0 && (pos + used >= l.size() || is_space(l[pos + used]));
        } else {
          used = read_double(l, pos, v);
        }
        if (used == 0 || !whole) {
          if (first) {
            warn_mismatch(rd.lineno, false, pattern, key, false);
            bad_first = true;
          } else {
            std::cout << "warning: parameter line " << rd.lineno << " holds "
                      << quote_token(token_at(l, pos))
                      << (integer ? ", not an integer" : ", not a number") << "; " << key
                      << " ends before it" << std::endl;
          }
          break;
        }
        got.push_back(v);
        pos += used;
        first = false;
      }
    }
    if (bad_first) got.clear();
    double entry0 = got.empty() ? 0.0 : got[0];
    for (size_t i = 0; i < n; i++) {
      double v = i < got.size() ? got[i] : (fill_zero ? 0.0 : entry0);
      gsl_vector_set(field, i, v);
    }
  };

  text_line("MODE: %s", "MODE", mode);
  text_line("LAMBDA_D: %s", "LAMBDA_D", lambda_d_file);
  text_line("XYDATA: %s", "XYDATA", xydata_file);
  text_line("DISTDIST: %s", "DISTDIST", distdist_file);
  text_line("PATH: %s", "PATH", path);
  text_line("OUTPUT: %s", "OUTPUT", output_base);
  text_line("XN: %s", "XN", detect_nucleus);
  text_line("YN: %s", "YN", dephase_nucleus);
  double_line("NEAR: %le", "NEAR", near);
  double_line("FAR: %le", "FAR", far);
  double_line("GRAIN: %le", "GRAIN", grain);
  int_line("PER 2PI: %d", "PER 2PI", per_2pi);
  double_line("MID PULSE: %le", "MID PULSE", mid_pulse);
  double_line("MAS: %le", "MAS", mas);
  {
    // SCALING: the second value is optional and only echoed.
    std::string l;
    bool have = rd.next(l);
    long p = have ? match_key(l, "SCALING: %le %le") : -1;
    double a = 0.0, b = 0.0;
    size_t used = p >= 0 ? read_double(l, static_cast<size_t>(p), a) : 0;
    scaling_b = 0.0;
    if (used > 0) {
      scaling_a = a;
      size_t q = static_cast<size_t>(p) + used;
      while (q < l.size() && is_space(l[q])) q++;
      if (read_double(l, q, b) > 0) scaling_b = b;
    } else {
      scaling_a = 0.0;
      warn_mismatch(rd.lineno, !have, "SCALING: %le %le", "SCALING", false);
    }
  }
  int_line("LAST POINT: %d", "LAST POINT", last_point);
  int_line("NTRIES: %d", "NTRIES", ntries);
  list_line("ITERS AT TEMP:%d%n", "ITERS AT TEMP", true, false, iters_at_temp);
  list_line("MAX STEP SIZE: %le%n", "MAX STEP SIZE", false, false, max_step_size);
  list_line("BOLTZMANN: %le%n", "BOLTZMANN", false, false, boltzmann);
  list_line("INIT TEMP: %le%n", "INIT TEMP", false, true, init_temp);
  list_line("ATTEN TEMP: %le%n", "ATTEN TEMP", false, false, atten_temp);
  list_line("MIN TEMP: %le%n", "MIN TEMP", false, false, min_temp);
  int_line("ERR ITERS AT TEMP: %d", "ERR ITERS AT TEMP", err_iters_at_temp);
  double_line("ERR MAX STEP SIZE: %le", "ERR MAX STEP SIZE", err_max_step_size);
  double_line("ERR BOLTZMANN: %le", "ERR BOLTZMANN", err_boltzmann);
  double_line("ERR INIT TEMP: %le", "ERR INIT TEMP", err_init_temp);
  double_line("ERR ATTEN TEMP: %le", "ERR ATTEN TEMP", err_atten_temp);
  double_line("ERR MIN TEMP: %le", "ERR MIN TEMP", err_min_temp);
  double_line("MIN STDEV2: %le", "MIN STDEV2", min_stdev2);
  int_line("PER MC BLOCK: %d", "PER MC BLOCK", per_mc_block);
  int_line("MAX MC BLOCKS: %d", "MAX MC BLOCKS", max_mc_blocks);
  double_line("MAX MC CHI2: %le", "MAX MC CHI2", max_mc_chi2);
}
