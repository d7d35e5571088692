#include "platform/file.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

int openForReading(const std::string& path) {
  // O_NONBLOCK only for the open itself: opening a pipe for reading would
  // otherwise wait for a writer that may never come.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

size_t readSome(int fd, char* buffer, size_t capacity) {
  for (;;) {
    ssize_t n = ::read(fd, buffer, capacity);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) return 0;
  }
}

void closeFile(int fd) {
  ::close(fd);
}
