#include "input/text_lines.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <istream>
#include <fstream>
#include <system_error>
#include <filesystem>

namespace {

// Splits a byte stream into lines: LF, CR LF and a lone CR each end a line;
// a UTF-8 byte-order mark at the start is skipped; a last line without an
// end is still a line. At most max_lines lines, each cut at max_line_bytes.
void split_lines(std::istream& in, size_t max_lines, size_t max_line_bytes,
                 std::vector<std::string>& lines) {
  lines.clear();
  std::string l;
  // A byte-order mark: up to three bytes that match it are dropped; a
  // partial match is ordinary text.
  static char const kBom[] = "\xEF\xBB\xBF";
  while (l.size() < 3 && in.peek() == static_cast<unsigned char>(kBom[l.size()]))
    l += static_cast<char>(in.get());
  if (l.size() == 3) l.clear();
  int c;
  while (lines.size() < max_lines && (c = in.get()) != EOF) {
    if (c == '\n' || c == '\r') {
      lines.push_back(l);
      l.clear();
      if (c == '\r' && in.peek() == '\n') in.get();
    } else if (l.size() < max_line_bytes) {
      l += static_cast<char>(c);
    }
  }
  if (lines.size() < max_lines && !l.empty()) lines.push_back(l);
}

}  // namespace

bool read_text_lines(std::string const& name, std::vector<std::string>& lines) {
  if (!is_readable_regular_file(name)) return false;
  std::ifstream in(name, std::ios::binary);
  if (!in.is_open()) return false;
  split_lines(in, static_cast<size_t>(-1), static_cast<size_t>(-1), lines);
  return true;
}

bool read_first_lines(std::string const& name, size_t max_lines, size_t max_line_bytes,
                      std::vector<std::string>& lines) {
  std::error_code ec;
  auto st = std::filesystem::status(name, ec);
  if (name.empty() || ec || !(std::filesystem::is_regular_file(st) ||
                              st.type() == std::filesystem::file_type::fifo))
    return false;
  std::ifstream in(name, std::ios::binary);
  if (!in.is_open()) return false;
  split_lines(in, max_lines, max_line_bytes, lines);
  return true;
}

bool is_readable_regular_file(std::string const& name) {
  // Only regular files: a directory reads as nothing, a device such as
  // /dev/zero never ends and a FIFO may block for ever.
  std::error_code ec;
  return !name.empty() && std::filesystem::is_regular_file(name, ec);
}

static bool is_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

bool is_blank(std::string const& line) {
  for (char c : line)
    if (!is_space(c)) return false;
  return true;
}

std::vector<std::string> split_tokens(std::string const& line) {
  std::vector<std::string> out;
  size_t i = 0, n = line.size();
  while (i < n) {
    while (i < n && is_space(line[i])) i++;
    size_t s = i;
    while (i < n && !is_space(line[i])) i++;
    if (i > s) out.push_back(line.substr(s, i - s));
  }
  return out;
}

bool parse_double_token(std::string const& token, double& value) {
  if (token.empty() || token.find('\0') != std::string::npos) return false;
  char const* s = token.c_str();
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(s, &end);
  if (end == s || *end != '\0') return false;
  value = v;
  return true;
}

bool parse_int_token(std::string const& token, int& value) {
  if (token.empty() || token.find('\0') != std::string::npos) return false;
  char const* s = token.c_str();
  if (!(std::isdigit(static_cast<unsigned char>(s[0])) || s[0] == '+' || s[0] == '-')) return false;
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(s, &end, 10);
  if (end == s || *end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

bool looks_numeric(std::string const& token) {
  auto digit = [&](size_t i) {
    return i < token.size() && std::isdigit(static_cast<unsigned char>(token[i]));
  };
  if (digit(0)) return true;
  char c = token.empty() ? '\0' : token[0];
  if (c == '.') return digit(1);
  return (c == '+' || c == '-') && (digit(1) || (token.size() > 2 && token[1] == '.' && digit(2)));
}

std::string number_fault(std::string const& token, bool whole) {
  std::string q = quote_token(token);
  // A decimal comma, as many locales write it: 2,5 for 2.5.
  std::string dot = token;
  size_t comma = dot.find(',');
  double v = 0.0;
  if (comma != std::string::npos && dot.find(',', comma + 1) == std::string::npos) {
    dot[comma] = '.';
    if (parse_double_token(dot, v)) return q + " is not a number; use a decimal point: " + dot;
  }
  if (whole && parse_double_token(token, v)) {
    bool digits = token.find_first_not_of("+-0123456789") == std::string::npos;
    return q + (digits ? " is too large a whole number" : " is not a whole number");
  }
  return q + " is not a number";
}

std::string printable(std::string const& text) {
  std::string t;
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) {
      char b[8];
      std::snprintf(b, sizeof b, "\\x%02x", u);
      t += b;
    } else {
      t += c;  // printable ASCII and UTF-8 bytes
    }
  }
  return t;
}

std::string quote_token(std::string const& token) {
  std::string t = token.size() > 40 ? printable(token.substr(0, 40)) + "..." : printable(token);
  return "\"" + t + "\"";
}

int iscomment(std::string line) { return line.substr(0, 1) == "#" ? 1 : 0; }
