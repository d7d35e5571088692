// For the platform's own code: a listed entry as the system calls that
// work relative to a directory (fstatat, openat) take it.

#ifndef VARNAK_PLATFORM_ENTRY_AT_H_
#define VARNAK_PLATFORM_ENTRY_AT_H_

#include <climits>
#include <cstring>

#include <dirent.h>

#include "platform/directory.h"

struct EntryAt {
  // The descriptor of the entry's listing.
  int directory = -1;
  // The entry's name, NUL-terminated.
  char name[NAME_MAX + 1];
};

// Fills `at` with the entry, unless it is to be reached by its path, so
// that it fares as its path would: a path the system refuses as too long
// (which the entry's name alone would not be) and a name that cannot be a
// directory entry's, longer than any or holding a NUL byte (which would
// silently name a shorter entry). No allocation and no copy of `at`: this
// is on the way to every file of a tree.
inline bool entryAt(const ListedEntry& entry, EntryAt& at) {
  if (entry.path.size() >= PATH_MAX || entry.name.size() > NAME_MAX ||
      entry.name.find('\0') != std::string_view::npos)
    return false;
  at.directory = ::dirfd(static_cast<DIR*>(entry.listing.handle));
  std::memcpy(at.name, entry.name.data(), entry.name.size());
  at.name[entry.name.size()] = '\0';
  return true;
}

#endif  // VARNAK_PLATFORM_ENTRY_AT_H_
