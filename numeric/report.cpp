#include "numeric/report.h"

#include <algorithm>
#include <ctime>

Report::Report(std::ostream* out, bool terminal) : out_(out), terminal_(terminal) {}

std::ostream& Report::out() {
  if (!out_) return null_;
  if (progress_len_ > 0) *out_ << '\n';
  progress_len_ = 0;
  return *out_;
}

void Report::progress(std::string const& text) {
  if (!out_ || !terminal_) return;
  // Blanks over what is left of a longer line before.
  size_t pad = progress_len_ > text.size() ? progress_len_ - text.size() : 0;
  *out_ << '\r' << text << std::string(pad, ' ') << std::flush;
  progress_len_ = std::max<size_t>(text.size(), 1);
}

Report::~Report() { close_log(); }

bool Report::open_log(std::string const& file) {
  log_.open(file);
  return log_.is_open();
}

void Report::close_log() {
  if (!log_.is_open()) return;
  log_ << "time: " << clock_text() << std::endl;
  log_.flush();
  log_.close();
}

void Report::both(std::string const& text) {
  log() << text;
  out() << text;
}

void Report::warn(std::string const& line) {
  out() << console_line(line) << std::endl;
  warnings_.push_back(line);
}

Report& Report::silent() {
  static thread_local Report r(nullptr);
  return r;
}

namespace {

// text cut at a blank to at most n characters, with "..." when cut.
std::string cut_at_word(std::string const& text, size_t n) {
  if (text.size() <= n) return text;
  size_t blank = text.rfind(' ', n > 3 ? n - 3 : 0);
  return text.substr(0, blank == std::string::npos || blank == 0 ? n - 3 : blank) + "...";
}

}  // namespace

std::string console_line(std::string const& warning, size_t limit) {
  if (warning.size() <= limit) return warning;
  const std::string where = " (more in the log)";
  size_t prefix = warning.compare(0, 9, "warning: ") == 0 ? 9 : 0;
  size_t claim_end = warning.find(": ", prefix);
  size_t advice = warning.rfind("; ");
  std::string claim = warning.substr(0, claim_end == std::string::npos ? warning.size() : claim_end);
  if (advice != std::string::npos && (claim_end == std::string::npos || advice > claim_end))
    claim = cut_at_word(claim, limit / 2) + "; " + warning.substr(advice + 2);
  return cut_at_word(claim, limit - where.size()) + where;
}

std::string clock_text() {
  time_t t = std::time(nullptr);
  char const* s = std::ctime(&t);
  return s ? s : "(time unknown)\n";
}
