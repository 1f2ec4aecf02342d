// The outcome of reading or checking an input. The readers and checks return
// it instead of ending the process: the caller (the driver) prints the one
// line and exits with the status, so nothing deep inside decides that.
#ifndef REDORDIST_INPUT_INPUT_STATUS_H
#define REDORDIST_INPUT_INPUT_STATUS_H

#include <optional>
#include <string>

struct InputError {
  std::string message;  // one line, ending in a newline
  int status = 1;       // the exit status the refusal asks for
};

// Empty when the input is accepted.
using InputStatus = std::optional<InputError>;

inline InputStatus refused(std::string message, int status = 1) {
  return InputError{std::move(message), status};
}

#endif
