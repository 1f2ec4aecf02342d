#include "input/text_lines.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

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

namespace {

// Characters that look like a blank or like nothing at all: in a message
// they are named, so that "NEAR <U+00A0 no-break space>2.5" shows why the
// value is not a number.
struct Invisible {
  unsigned code;
  char const* name;
};
const Invisible kInvisible[] = {
    {0x00A0, "no-break space"},       {0x00AD, "soft hyphen"},
    {0x2002, "en space"},             {0x2003, "em space"},
    {0x2007, "figure space"},         {0x2009, "thin space"},
    {0x200A, "hair space"},           {0x200B, "zero-width space"},
    {0x200C, "zero-width non-joiner"}, {0x200D, "zero-width joiner"},
    {0x200E, "left-to-right mark"},   {0x200F, "right-to-left mark"},
    {0x2028, "line separator"},       {0x2029, "paragraph separator"},
    {0x202F, "narrow no-break space"}, {0x2060, "word joiner"},
    {0x3000, "ideographic space"},    {0xFEFF, "byte-order mark"},
};

// The code point of a two- or three-byte UTF-8 sequence at i, and its
// length; 0 when there is none.
unsigned utf8_at(std::string const& t, size_t i, size_t& len) {
  auto cont = [&](size_t k) { return k < t.size() && (static_cast<unsigned char>(t[k]) & 0xC0) == 0x80; };
  unsigned char u = static_cast<unsigned char>(t[i]);
  if ((u & 0xE0) == 0xC0 && cont(i + 1)) {
    len = 2;
    return (u & 0x1Fu) << 6 | (static_cast<unsigned char>(t[i + 1]) & 0x3Fu);
  }
  if ((u & 0xF0) == 0xE0 && cont(i + 1) && cont(i + 2)) {
    len = 3;
    return (u & 0x0Fu) << 12 | (static_cast<unsigned char>(t[i + 1]) & 0x3Fu) << 6 |
           (static_cast<unsigned char>(t[i + 2]) & 0x3Fu);
  }
  return 0;
}

}  // namespace

std::string printable(std::string const& text) {
  std::string t;
  for (size_t i = 0; i < text.size(); i++) {
    unsigned char u = static_cast<unsigned char>(text[i]);
    char b[48];
    size_t len = 0;
    unsigned code = u >= 0x80 ? utf8_at(text, i, len) : 0;
    char const* name = nullptr;
    for (Invisible const& v : kInvisible)
      if (code == v.code) name = v.name;
    if (u < 0x20 || u == 0x7f) {
      std::snprintf(b, sizeof b, "\\x%02x", u);
      t += b;
    } else if (name) {
      std::snprintf(b, sizeof b, "<U+%04X %s>", code, name);
      t += b;
      i += len - 1;
    } else {
      t += text[i];  // printable ASCII and other UTF-8 bytes
    }
  }
  return t;
}

std::string quote_token(std::string const& token) {
  std::string t = token.size() > 40 ? printable(token.substr(0, 40)) + "..." : printable(token);
  return "\"" + t + "\"";
}

int iscomment(std::string line) { return line.substr(0, 1) == "#" ? 1 : 0; }
