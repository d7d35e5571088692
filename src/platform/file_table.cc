#include "platform/file_table.h"

#include <cstdio>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace {

// Where the shared table's descriptor `fd` is a link to its open file.
// The process's directory in /proc is its first thread's, whose table is
// the shared one, whichever thread looks.
struct LinkPath {
  char text[64];
};

LinkPath linkTo(int process, int fd) {
  LinkPath path;
  std::snprintf(path.text, sizeof path.text, "/proc/%d/fd/%d", process, fd);
  return path;
}

constexpr int kAdoptFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// The thread sanitizer keeps one record of each descriptor number for the
// whole process: numbers of two tables, naming other files, look like races
// on one descriptor to it (and trip its own checks).
#if defined(__SANITIZE_THREAD__)
constexpr bool kOneTableOnly = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kOneTableOnly = true;
#else
constexpr bool kOneTableOnly = false;
#endif
#else
constexpr bool kOneTableOnly = false;
#endif

}  // namespace

bool canAdoptFiles() {
  if (kOneTableOnly) return false;
  int root = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root < 0) return false;
  int copy = ::open(linkTo(::getpid(), root).text, kAdoptFlags | O_DIRECTORY);
  ::close(root);
  if (copy < 0) return false;
  ::close(copy);
  return true;
}

std::optional<SharedTable> detachFileTable() {
  if (::unshare(CLONE_FILES) != 0) return std::nullopt;
  return SharedTable{::getpid()};
}

std::optional<OpenFile> adoptFile(const SharedTable& shared, const OpenFile& file) {
  // The open file is opened anew through its link, at no path that may
  // since name another.
  int fd = ::open(linkTo(shared.process, file.fd).text, kAdoptFlags);
  if (fd < 0) return std::nullopt;
  OpenFile adopted = file;
  adopted.fd = fd;
  return adopted;
}
