// Reading files.

#ifndef VARNAK_PLATFORM_FILE_H_
#define VARNAK_PLATFORM_FILE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/directory.h"

// A file open for reading.
struct OpenFile {
  int fd = -1;
  // The size a regular file had when its status was queried, and how many
  // bytes have been read since the open. A read that comes back short
  // exactly at that size is taken as the end, which saves the read that
  // would only say so; a file that has grown or shrunk since is read on to
  // its real end. Empty for pipes and devices, whose size means nothing.
  std::optional<uint64_t> knownSize;
  uint64_t position = 0;
  bool atEnd = false;
};

// Opens the file at `path`, whose status the caller has just queried, for
// reading. The open never waits: a named pipe that no process writes to
// reads as empty instead of blocking the run, while a pipe that has a writer
// is read normally. Empty when the file cannot be opened.
std::optional<OpenFile> openForReading(const std::string& path, const PathStatus& status);

// Opens a listed entry as openForReading opens its path (a path the system
// would refuse as too long is still refused); the status is the one
// queryStatus gave for the entry.
std::optional<OpenFile> openForReading(const ListedEntry& entry, const PathStatus& status);

// Reads up to `capacity` bytes into `buffer`. Returns how many were read;
// 0 means the end of the data, and a read error counts as that end too.
size_t readSome(OpenFile& file, char* buffer, size_t capacity);

// Reads up to `capacity` bytes from `offset` of a regular file into
// `buffer`, leaving the read position as it was: threads may read parts of
// one open file at once. Returns how many were read; 0 at the end of the
// file, and for a read error.
size_t readAt(const OpenFile& file, char* buffer, size_t capacity, uint64_t offset);

// Moves the read position of a regular file: `whence` as for fseek
// (SEEK_SET, SEEK_CUR, SEEK_END). Returns the new position, or -1, always
// for pipes and devices.
int64_t seekFile(OpenFile& file, int64_t offset, int whence);

void closeFile(const OpenFile& file);

#endif  // VARNAK_PLATFORM_FILE_H_
