// The warnings of the input readers: each is printed on standard output when
// it is found and kept until the run's report takes them over, so that the
// run log and the summary can list them all.
#ifndef REDORDIST_NUMERIC_WARNINGS_H
#define REDORDIST_NUMERIC_WARNINGS_H

#include <string>
#include <vector>

// Prints text (one line, no newline) on standard output and keeps it.
void warn(std::string const& text);

// Every warning kept so far, in order; the store is emptied.
std::vector<std::string> take_warnings();

#endif
