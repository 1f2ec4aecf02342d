// Output files are never written through a symbolic link: a link planted
// where an output goes is removed first, so the write makes a new file and
// the link's target is left alone. Whether two names are the same file is
// told by device and inode, never by their text.
#ifndef REDORDIST_OUTPUT_SAFE_FILES_H
#define REDORDIST_OUTPUT_SAFE_FILES_H

#include <string>
#include <vector>

#include <sys/types.h>

// Removes name when it is a symbolic link (of any kind, dangling too).
void remove_planted_link(std::string const& name);

struct FileId {
  dev_t dev;
  ino_t ino;
  bool operator==(FileId const& o) const { return dev == o.dev && ino == o.ino; }
};

// The directory entry itself (a link is not followed); empty when there is none.
std::vector<FileId> entry_id(std::string const& name);

// The entry and, when it is a link, the file it leads to; empty when there
// is no entry.
std::vector<FileId> entry_and_target_ids(std::string const& name);

#endif
