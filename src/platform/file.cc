#include "platform/file.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "platform/entry_at.h"

namespace {

// Makes the reads of `fd` wait for data again. False when the flags cannot
// be read or set.
bool clearNonBlocking(int fd) {
  int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) >= 0;
}

// O_NONBLOCK for the open itself: opening a pipe for reading would
// otherwise wait for a writer that may never come. Reads of a regular file
// never wait whatever the flag says, so it is left set for them and costs
// nothing; should the file have been replaced by a pipe since its status
// was queried, readSome clears the flag when a read would wait.
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// The file just opened as `fd`, of the status queried before the open.
std::optional<OpenFile> openedFile(int fd, const PathStatus& status) {
  if (fd < 0) return std::nullopt;
  OpenFile file;
  file.fd = fd;
  if (status.isRegular) {
    file.knownSize = status.size;
  } else if (!clearNonBlocking(fd)) {
    ::close(fd);
    return std::nullopt;
  }
  return file;
}

}  // namespace

std::optional<OpenFile> openForReading(const std::string& path, const PathStatus& status) {
  return openedFile(::open(path.c_str(), kOpenFlags), status);
}

std::optional<OpenFile> openForReading(const ListedEntry& entry, const PathStatus& status) {
  EntryAt at;
  if (!entryAt(entry, at)) return openForReading(std::string(entry.path), status);
  return openedFile(::openat(at.directory, at.name, kOpenFlags), status);
}

size_t readSome(OpenFile& file, char* buffer, size_t capacity) {
  if (file.atEnd) return 0;
  for (;;) {
    ssize_t n = ::read(file.fd, buffer, capacity);
    if (n >= 0) {
      size_t count = static_cast<size_t>(n);
      file.position += count;
      file.atEnd = count == 0 || (count < capacity && file.position == file.knownSize);
      return count;
    }
    if (errno == EINTR) continue;
    // Only a file that turned into a pipe after its status was queried gets
    // here with the flag still set: from now on its reads wait for data.
    if ((errno == EAGAIN || errno == EWOULDBLOCK) && clearNonBlocking(file.fd)) continue;
    file.atEnd = true;
    return 0;
  }
}

size_t readAt(const OpenFile& file, char* buffer, size_t capacity, uint64_t offset) {
  for (;;) {
    ssize_t n = ::pread(file.fd, buffer, capacity, static_cast<off_t>(offset));
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) return 0;
  }
}

int64_t seekFile(OpenFile& file, int64_t offset, int whence) {
  if (!file.knownSize) return -1;
  off_t position = ::lseek(file.fd, static_cast<off_t>(offset), whence);
  if (position < 0) return -1;
  file.position = static_cast<uint64_t>(position);
  file.atEnd = false;
  return static_cast<int64_t>(position);
}

void closeFile(const OpenFile& file) {
  ::close(file.fd);
}
