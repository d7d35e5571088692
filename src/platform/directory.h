// Directory listings and status queries.

#ifndef VARNAK_PLATFORM_DIRECTORY_H_
#define VARNAK_PLATFORM_DIRECTORY_H_

#include <cstdint>
#include <optional>
#include <string_view>

// Which file-system object a path leads to: two paths with the same
// identity name the same directory, whatever links they pass through.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;

  bool operator==(const FileIdentity&) const = default;
};

struct PathStatus {
  bool isDirectory = false;
  // A regular file (no directory, pipe, device or socket), and its size in
  // bytes at the time of the query; the size is 0 for anything else.
  bool isRegular = false;
  uint64_t size = 0;
  FileIdentity identity;
};

// Queries the status of whatever `path` leads to, following links. Empty
// when the path does not exist or cannot be reached.
std::optional<PathStatus> queryStatus(std::string_view path);

// An open directory listing; `handle` is the platform's and is only ever
// handed back to the functions below.
struct DirectoryListing {
  void* handle = nullptr;
};

// Opens the listing of the directory at `path`. Empty on failure.
std::optional<DirectoryListing> openDirectory(std::string_view path);

// The name of the next entry (the final name alone), or empty at the end
// of the listing. Every entry comes, hidden ones and "." and ".." included,
// in the platform's order. The name stays valid until the next call on the
// same listing.
std::optional<std::string_view> nextEntry(DirectoryListing listing);

void closeDirectory(DirectoryListing listing);

#endif  // VARNAK_PLATFORM_DIRECTORY_H_
