// Writing a whole output file at once: the text goes to a temporary file in
// the same directory, which is then renamed over the target, so a reader
// (gnuplot, or a user during a long run) never sees a half-written file.
#ifndef REDORDIST_OUTPUT_ATOMIC_FILE_H
#define REDORDIST_OUTPUT_ATOMIC_FILE_H

#include <string>

#include "numeric/format.h"

// Returns false, leaving any earlier file in place, when the text cannot be
// written completely.
bool write_file_atomically(std::string const& name, std::string const& text);

#endif
