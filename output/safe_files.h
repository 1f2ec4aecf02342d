// Output files are never written through a symbolic link: a link planted
// where an output goes is removed first, so the write makes a new file and
// the link's target is left alone.
#ifndef REDORDIST_OUTPUT_SAFE_FILES_H
#define REDORDIST_OUTPUT_SAFE_FILES_H

#include <string>

// Removes name when it is a symbolic link (of any kind, dangling too).
void remove_planted_link(std::string const& name);

#endif
