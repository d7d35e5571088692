// Fault injection for end-to-end tests: a library loaded with LD_PRELOAD in
// front of the C library, so that the tool's own platform calls meet the
// failures a real disk or file system can produce, without any test hook in
// the production code. Every fault is off unless its variable is set; the
// patterns are fnmatch(3) patterns in which "*" also matches "/".
//
//   VARNAK_FAULT_READ_PATH=PATTERN   reads of a file whose absolute path
//   VARNAK_FAULT_READ_AFTER=N        matches fail with EIO once N bytes of
//                                    it have been delivered (default 0);
//                                    the read that crosses N is cut short.
//   VARNAK_FAULT_OPENDIR=PATTERN     opendir() of a matching path (as the
//                                    program names it) fails with EACCES.
//   VARNAK_FAULT_READDIR=PATTERN     the listing of a matching directory
//   VARNAK_FAULT_READDIR_AFTER=N     fails with EIO after N entries other
//                                    than "." and ".." (default 0).
//   VARNAK_FAULT_VANISH_LISTED=PAT   an entry whose joined path "dir/name"
//                                    matches is deleted just before the
//                                    listing yields it.
//   VARNAK_FAULT_VANISH_OPENED=PAT   a file whose path (as the program names
//                                    it) matches is deleted just before it
//                                    is opened; opened relative to a
//                                    directory (openat), its path is the
//                                    directory's as the program named it
//                                    joined with "/" and the name.
//   VARNAK_FAULT_DLOPEN=PATTERN      dlopen() of a matching library name
//                                    fails, and dlerror() says it is not
//                                    there, as on a system without it.
//
// Each injected fault is written to standard error as a line beginning
// "faults: " when VARNAK_FAULT_LOG is set, so a test can prove it fired.

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

template <typename Function>
Function nextSymbol(const char* name) {
  void* symbol = dlsym(RTLD_NEXT, name);
  if (symbol == nullptr) {
    std::fprintf(stderr, "faults: no next definition of %s\n", name);
    std::abort();
  }
  return reinterpret_cast<Function>(symbol);
}

bool matches(const char* variable, const char* path) {
  const char* pattern = std::getenv(variable);
  return pattern != nullptr && *pattern != '\0' && path != nullptr &&
         fnmatch(pattern, path, 0) == 0;
}

uint64_t numberFrom(const char* variable) {
  const char* text = std::getenv(variable);
  return text == nullptr ? 0 : std::strtoull(text, nullptr, 10);
}

void logFault(const char* what, const char* path) {
  if (std::getenv("VARNAK_FAULT_LOG") == nullptr) return;
  // Straight to the descriptor, unbuffered, so the line cannot be reordered
  // by the program's own buffering of standard error.
  char line[8400];
  int n = std::snprintf(line, sizeof line, "faults: %s %s\n", what, path);
  if (n <= 0) return;
  size_t length = static_cast<size_t>(n) < sizeof line ? static_cast<size_t>(n) : sizeof line - 1;
  ssize_t ignored = ::write(2, line, length);
  (void)ignored;
}

// Per descriptor: whether its file is one whose reads fail, and how many of
// its bytes have been delivered. Forgotten when the descriptor is closed.
// Kept by each thread, as its descriptors are read where they are opened:
// a thread may have a table of descriptors of its own, whose numbers other
// threads' tables use for other files.
struct ReadState {
  bool known = false;
  bool faulty = false;
  uint64_t delivered = 0;
};
constexpr int kTrackedDescriptors = 4096;
thread_local ReadState gReads[kTrackedDescriptors];

ReadState* readStateFor(int fd) {
  if (fd < 0 || fd >= kTrackedDescriptors) return nullptr;
  ReadState& state = gReads[fd];
  if (!state.known) {
    state.known = true;
    char link[64];
    char path[4096];
    std::snprintf(link, sizeof link, "/proc/thread-self/fd/%d", fd);
    ssize_t n = ::readlink(link, path, sizeof path - 1);
    if (n > 0) {
      path[n] = '\0';
      state.faulty = matches("VARNAK_FAULT_READ_PATH", path);
    }
  }
  return &state;
}

// Cuts a read short at the fault point; returns -1 when the fault is due.
ssize_t allowedLength(int fd, size_t wanted) {
  ReadState* state = readStateFor(fd);
  if (state == nullptr || !state->faulty) return static_cast<ssize_t>(wanted);
  uint64_t limit = numberFrom("VARNAK_FAULT_READ_AFTER");
  if (state->delivered >= limit) return -1;
  uint64_t left = limit - state->delivered;
  return static_cast<ssize_t>(left < wanted ? left : wanted);
}

ssize_t faultyRead(int fd, void* buffer, size_t count, ssize_t (*realRead)(int, void*, size_t)) {
  ssize_t allowed = allowedLength(fd, count);
  if (allowed < 0) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/thread-self/fd/%d", fd);
    logFault("read error on", link);
    errno = EIO;
    return -1;
  }
  ssize_t n = realRead(fd, buffer, static_cast<size_t>(allowed));
  if (n > 0 && fd >= 0 && fd < kTrackedDescriptors)
    gReads[fd].delivered += static_cast<uint64_t>(n);
  return n;
}

// Directory listings being watched, by their handle.
struct Listing {
  DIR* handle = nullptr;
  char path[4096];
  uint64_t yielded = 0;
  bool failed = false;
};
constexpr int kTrackedListings = 64;
Listing gListings[kTrackedListings];

Listing* listingFor(DIR* handle) {
  for (Listing& listing : gListings) {
    if (listing.handle == handle) return &listing;
  }
  return nullptr;
}

bool watched(const char* path) {
  return matches("VARNAK_FAULT_READDIR", path) ||
         (std::getenv("VARNAK_FAULT_VANISH_LISTED") != nullptr);
}

void remember(DIR* handle, const char* path) {
  if (handle == nullptr || !watched(path)) return;
  for (Listing& listing : gListings) {
    if (listing.handle == nullptr) {
      listing.handle = handle;
      std::snprintf(listing.path, sizeof listing.path, "%s", path);
      listing.yielded = 0;
      listing.failed = false;
      return;
    }
  }
}

bool isDotOrDotDot(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// Applies the listing faults before an entry is handed out. Returns false
// when the listing must fail instead.
template <typename Entry>
bool beforeYield(Listing* listing, DIR* handle, Entry* entry) {
  if (listing == nullptr) return true;
  if (listing->failed) return false;  // a failed listing stays failed
  if (entry == nullptr || isDotOrDotDot(entry->d_name)) return true;
  if (matches("VARNAK_FAULT_READDIR", listing->path) &&
      listing->yielded >= numberFrom("VARNAK_FAULT_READDIR_AFTER")) {
    logFault("listing error in", listing->path);
    listing->failed = true;
    return false;
  }
  listing->yielded += 1;
  char joined[8300];
  std::snprintf(joined, sizeof joined, "%s/%s", listing->path, entry->d_name);
  if (matches("VARNAK_FAULT_VANISH_LISTED", joined)) {
    logFault("deleted after listing", joined);
    ::unlinkat(dirfd(handle), entry->d_name, 0);
  }
  return true;
}

void beforeOpen(const char* path) {
  if (matches("VARNAK_FAULT_VANISH_OPENED", path)) {
    logFault("deleted before opening", path);
    ::unlink(path);
  }
}

// Directories open as descriptors, by the path the program named them by,
// so that a file opened relative to one has a path to match. Kept only
// while a file is to vanish as it is opened, by each thread, as the read
// states are.
struct OpenDirectory {
  int fd = -1;
  char path[4096];
};
constexpr int kTrackedDirectories = 64;
thread_local OpenDirectory gDirectories[kTrackedDirectories];

void rememberDirectory(int fd, const char* path) {
  if (fd < 0 || std::getenv("VARNAK_FAULT_VANISH_OPENED") == nullptr) return;
  for (OpenDirectory& directory : gDirectories) {
    if (directory.fd < 0) {
      directory.fd = fd;
      std::snprintf(directory.path, sizeof directory.path, "%s", path);
      return;
    }
  }
}

void forgetDirectory(int fd) {
  for (OpenDirectory& directory : gDirectories) {
    if (directory.fd == fd) directory.fd = -1;
  }
}

// The path of `name` opened relative to `fd`: the name itself when it is
// absolute or relative to the working directory, or when the directory is
// not known here.
void pathAt(int fd, const char* name, char* path, size_t size) {
  if (name[0] != '/' && fd != AT_FDCWD) {
    for (const OpenDirectory& directory : gDirectories) {
      if (directory.fd == fd) {
        std::snprintf(path, size, "%s/%s", directory.path, name);
        return;
      }
    }
  }
  std::snprintf(path, size, "%s", name);
}

using OpenFunction = int (*)(const char*, int, ...);

// The mode argument is there only when the flags create a file.
bool takesMode(int flags) {
  return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
}

int trackedOpen(OpenFunction realOpen, const char* path, int flags, mode_t mode) {
  beforeOpen(path);
  int fd = realOpen(path, flags, mode);
  if (fd >= 0 && fd < kTrackedDescriptors) gReads[fd] = ReadState{};
  if ((flags & O_DIRECTORY) != 0) rememberDirectory(fd, path);
  return fd;
}

using OpenAtFunction = int (*)(int, const char*, int, ...);

int trackedOpenAt(OpenAtFunction realOpenAt, int directory, const char* name, int flags,
                  mode_t mode) {
  char path[8300];
  pathAt(directory, name, path, sizeof path);
  beforeOpen(path);
  int fd = realOpenAt(directory, name, flags, mode);
  if (fd >= 0 && fd < kTrackedDescriptors) gReads[fd] = ReadState{};
  if ((flags & O_DIRECTORY) != 0) rememberDirectory(fd, path);
  return fd;
}

}  // namespace

extern "C" {

ssize_t read(int fd, void* buffer, size_t count) {
  static auto realRead = nextSymbol<ssize_t (*)(int, void*, size_t)>("read");
  return faultyRead(fd, buffer, count, realRead);
}

ssize_t __read_chk(int fd, void* buffer, size_t count, size_t /*bufferSize*/) {
  static auto realRead = nextSymbol<ssize_t (*)(int, void*, size_t)>("read");
  return faultyRead(fd, buffer, count, realRead);
}

int close(int fd) {
  static auto realClose = nextSymbol<int (*)(int)>("close");
  if (fd >= 0 && fd < kTrackedDescriptors) gReads[fd] = ReadState{};
  forgetDirectory(fd);
  return realClose(fd);
}

int open(const char* path, int flags, ...) {
  static auto realOpen = nextSymbol<OpenFunction>("open");
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = takesMode(flags) ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
  va_end(arguments);
  return trackedOpen(realOpen, path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  static auto realOpen = nextSymbol<OpenFunction>("open64");
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = takesMode(flags) ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
  va_end(arguments);
  return trackedOpen(realOpen, path, flags, mode);
}

int openat(int directory, const char* name, int flags, ...) {
  static auto realOpenAt = nextSymbol<OpenAtFunction>("openat");
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = takesMode(flags) ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
  va_end(arguments);
  return trackedOpenAt(realOpenAt, directory, name, flags, mode);
}

int openat64(int directory, const char* name, int flags, ...) {
  static auto realOpenAt = nextSymbol<OpenAtFunction>("openat64");
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = takesMode(flags) ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
  va_end(arguments);
  return trackedOpenAt(realOpenAt, directory, name, flags, mode);
}

DIR* opendir(const char* path) {
  static auto realOpendir = nextSymbol<DIR* (*)(const char*)>("opendir");
  if (matches("VARNAK_FAULT_OPENDIR", path)) {
    logFault("refused listing of", path);
    errno = EACCES;
    return nullptr;
  }
  DIR* handle = realOpendir(path);
  remember(handle, path);
  if (handle != nullptr) rememberDirectory(dirfd(handle), path);
  return handle;
}

struct dirent* readdir(DIR* handle) {
  static auto realReaddir = nextSymbol<struct dirent* (*)(DIR*)>("readdir");
  struct dirent* entry = realReaddir(handle);
  if (!beforeYield(listingFor(handle), handle, entry)) {
    errno = EIO;
    return nullptr;
  }
  return entry;
}

struct dirent64* readdir64(DIR* handle) {
  static auto realReaddir = nextSymbol<struct dirent64* (*)(DIR*)>("readdir64");
  struct dirent64* entry = realReaddir(handle);
  if (!beforeYield(listingFor(handle), handle, entry)) {
    errno = EIO;
    return nullptr;
  }
  return entry;
}

int closedir(DIR* handle) {
  static auto realClosedir = nextSymbol<int (*)(DIR*)>("closedir");
  if (Listing* listing = listingFor(handle)) listing->handle = nullptr;
  forgetDirectory(dirfd(handle));
  return realClosedir(handle);
}

// The message of the last dlopen refused here, for the next dlerror().
thread_local char gRefusedLoad[512];

void* dlopen(const char* name, int flags) {
  static auto realDlopen = nextSymbol<void* (*)(const char*, int)>("dlopen");
  if (!matches("VARNAK_FAULT_DLOPEN", name)) return realDlopen(name, flags);
  logFault("refused loading of", name);
  std::snprintf(gRefusedLoad, sizeof gRefusedLoad,
                "%s: cannot open shared object file: No such file or directory", name);
  return nullptr;
}

char* dlerror() {
  static auto realDlerror = nextSymbol<char* (*)()>("dlerror");
  if (gRefusedLoad[0] == '\0') return realDlerror();
  static thread_local char message[sizeof gRefusedLoad];
  std::memcpy(message, gRefusedLoad, sizeof message);
  gRefusedLoad[0] = '\0';
  return message;
}

}  // extern "C"
