// The one place a run speaks: standard output, the run log, and the list of
// warnings that both of them and the summary take from. Every layer writes
// through the Report it is given; none writes to std::cout itself.
#ifndef REDORDIST_NUMERIC_REPORT_H
#define REDORDIST_NUMERIC_REPORT_H

#include <fstream>
#include <ostream>
#include <string>
#include <vector>

class Report {
 public:
  // Standard output goes to out (nullptr: nowhere); no log until open_log.
  // terminal: out is a terminal, where progress lines are shown.
  explicit Report(std::ostream* out, bool terminal = false);
  Report(Report const&) = delete;
  Report& operator=(Report const&) = delete;
  // Closes the log with its time line.
  ~Report();

  // Standard output; a progress line still open is ended first, so that
  // every message starts on a line of its own.
  std::ostream& out();
  // A progress line (no newline), rewritten in place with a carriage return
  // on a terminal; dropped when standard output is a pipe or a file.
  void progress(std::string const& text);
  // The run log; a stream that drops everything while no log is open.
  std::ostream& log() { return log_.is_open() ? static_cast<std::ostream&>(log_) : null_; }
  bool log_open() const { return log_.is_open(); }
  bool open_log(std::string const& file);
  // Writes the closing time line and closes the log.
  void close_log();

  // text on standard output and in the log.
  void both(std::string const& text);
  // One warning line (no newline): on standard output now, kept for the log
  // and the summary.
  void warn(std::string const& line);
  // A warning already shown (the input readers print theirs as they read).
  void keep_warning(std::string const& line) { warnings_.push_back(line); }
  std::vector<std::string> const& warnings() const { return warnings_; }

  // A report that discards everything (tests, copies without a run).
  static Report& silent();

 private:
  std::ostream* out_;
  bool terminal_;
  size_t progress_len_ = 0;  // length of the open progress line (0: none)
  std::ofstream log_;
  std::ostream null_{nullptr};
  std::vector<std::string> warnings_;
};

// A warning as the console shows it: at most limit characters. A longer one
// keeps its claim (up to its first ": ") and its advice (after its last
// "; "), and says where the whole text is; the log and the summary hold it.
std::string console_line(std::string const& warning, size_t limit = 200);

// The current local time as ctime writes it, newline included.
std::string clock_text();

#endif
