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
  out() << line << std::endl;
  warnings_.push_back(line);
}

Report& Report::silent() {
  static thread_local Report r(nullptr);
  return r;
}

std::string clock_text() {
  time_t t = std::time(nullptr);
  char const* s = std::ctime(&t);
  return s ? s : "(time unknown)\n";
}
