#include "numeric/report.h"

#include <ctime>

Report::Report(std::ostream* out) : out_(out) {}

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
