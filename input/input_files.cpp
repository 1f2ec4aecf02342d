#include "input/input_files.h"

#include <filesystem>
#include <fstream>
#include <istream>
#include <sstream>
#include <system_error>

namespace {

// Reads the whole stream into raw; false when it holds more than max_bytes.
bool read_capped(std::istream& in, size_t max_bytes, std::string& raw) {
  raw.clear();
  char buf[65536];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    raw.append(buf, static_cast<size_t>(in.gcount()));
    if (raw.size() > max_bytes) return false;
  }
  return true;
}

// Splits a text into lines: LF, CR LF and a lone CR each end a line; a
// UTF-8 byte-order mark at the start is skipped; a last line without an
// end is still a line.
std::vector<std::string> split_lines(std::string const& raw) {
  std::vector<std::string> lines;
  size_t i = raw.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0, start = i;
  for (; i < raw.size(); i++) {
    if (raw[i] != '\n' && raw[i] != '\r') continue;
    lines.push_back(raw.substr(start, i - start));
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') i++;
    start = i + 1;
  }
  if (start < raw.size()) lines.push_back(raw.substr(start));
  return lines;
}

std::string too_large() { return "it holds more than " + std::to_string(kMaxInputBytes >> 20) + " MiB"; }

}  // namespace

void InputFiles::add(std::string const& name, std::string const& text) {
  Text& t = texts_[name];
  t = Text();
  t.ok = text.size() <= kMaxInputBytes;
  if (t.ok) t.raw = text, t.lines = split_lines(text);
  else t.why = too_large();
}

InputFiles::Text const& InputFiles::read(std::string const& name) {
  auto found = texts_.find(name);
  if (found != texts_.end()) return found->second;
  Text& t = texts_[name];
  // Regular files, FIFOs and pipes: a directory reads as nothing and a
  // device such as /dev/zero never ends.
  std::error_code ec;
  auto st = std::filesystem::status(name, ec);
  bool kind = std::filesystem::is_regular_file(st) || st.type() == std::filesystem::file_type::fifo;
  std::ifstream in;
  if (!name.empty() && !ec && kind) in.open(name, std::ios::binary);
  if (name.empty() || ec) t.why = "it does not exist";
  else if (!kind) t.why = "it is not a regular file, a FIFO or a pipe";
  else if (!in.is_open()) t.why = "it cannot be opened for reading";
  else if (!read_capped(in, kMaxInputBytes, t.raw)) t.why = too_large(), t.raw.clear();
  else t.ok = true, t.lines = split_lines(t.raw);
  return t;
}

bool InputFiles::lines(std::string const& name, std::vector<std::string>& out, std::string* why) {
  Text const& t = read(name);
  if (why) *why = t.why;
  out = t.lines;
  return t.ok;
}

std::string const* InputFiles::bytes(std::string const& name) const {
  auto found = texts_.find(name);
  return found != texts_.end() && found->second.ok ? &found->second.raw : nullptr;
}
