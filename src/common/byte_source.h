// Where a reader's bytes come from: a file, a pipe, or an entry decoded out
// of an archive, all read the same way.

#ifndef VARNAK_COMMON_BYTE_SOURCE_H_
#define VARNAK_COMMON_BYTE_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <functional>

// Fills up to `capacity` bytes of `buffer` with the next bytes of some data
// and returns how many it wrote; 0 is the end of the data, and a failure to
// read ends it too.
using ChunkReader = std::function<size_t(char* buffer, size_t capacity)>;

// Moves the read position of seekable data: `whence` as for fseek (SEEK_SET,
// SEEK_CUR, SEEK_END). Returns the new position, or -1.
using ChunkSeeker = std::function<int64_t(int64_t offset, int whence)>;

#endif  // VARNAK_COMMON_BYTE_SOURCE_H_
