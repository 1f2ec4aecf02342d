// The input files of a process, each read once, whole, into memory: a
// parameter or data file may then be a pipe, a FIFO or /dev/stdin, and a
// comparison of the three solvers reads each input once for its three runs.
// Texts may also be given in memory under a name (inputs that never were
// files), and are then never looked for on disk.
#ifndef REDORDIST_INPUT_INPUT_FILES_H
#define REDORDIST_INPUT_INPUT_FILES_H

#include <map>
#include <string>
#include <vector>

// The most one input file may hold: an endless pipe is refused, not read
// until memory runs out.
constexpr size_t kMaxInputBytes = size_t{256} << 20;

// The bytes of input files by name, as a run read them.
using InputTexts = std::map<std::string, std::string>;

class InputFiles {
 public:
  // The text of name, given in memory: later reads of name return its lines.
  void add(std::string const& name, std::string const& text);

  // The lines of name (LF, CR LF and a lone CR end a line; a UTF-8
  // byte-order mark at the start is skipped), read on first use from a
  // regular file, a FIFO or a pipe. False, with the reason in why, when it
  // is missing, a directory or a device, cannot be opened, or holds more
  // than kMaxInputBytes.
  bool lines(std::string const& name, std::vector<std::string>& out, std::string* why = nullptr);

  // The bytes of name as read (for the copies of the inputs in the run
  // directory), or nullptr when it was not read.
  std::string const* bytes(std::string const& name) const;

 private:
  struct Text {
    bool ok = false;
    std::string why;
    std::string raw;
    std::vector<std::string> lines;
  };
  Text const& read(std::string const& name);
  std::map<std::string, Text> texts_;
};

#endif
