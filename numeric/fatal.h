// Ending the process on an input or numeric error: one message on standard
// output, then exit with the given status.
#ifndef REDORDIST_NUMERIC_FATAL_H
#define REDORDIST_NUMERIC_FATAL_H

#include <string>

// Ends the process at once after printing msg on standard output.
[[noreturn]] void fatal_exit(std::string const& msg, int status = 1);

// For test harnesses (fuzzers) that must survive a refusal: when set, called
// instead of ending the process; it must not return (it may throw).
using FatalHandler = void (*)(std::string const& msg, int status);
extern FatalHandler fatal_handler;

#endif
