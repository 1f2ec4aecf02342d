// The warnings of a run: each is printed on standard output when it is found
// and kept, so that the run log and the summary can list them all.
#ifndef REDORDIST_NUMERIC_WARNINGS_H
#define REDORDIST_NUMERIC_WARNINGS_H

#include <string>
#include <vector>

// Prints text (one line, no newline) on standard output and keeps it.
void warn(std::string const& text);

// Every warning so far, in order.
std::vector<std::string> const& run_warnings();

#endif
