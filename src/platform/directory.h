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
  // Not queried yet: the listing said the entry is a regular file, and
  // whoever reads it queries the rest (isRegular alone is set).
  bool deferred = false;
};

// Queries the status of whatever `path` leads to, following links. Empty
// when the path does not exist or cannot be reached.
std::optional<PathStatus> queryStatus(std::string_view path);

// An open directory listing; `handle` is the platform's and is only ever
// handed back to the functions below.
struct DirectoryListing {
  void* handle = nullptr;
};

// An entry of an open listing: its name (a final name, as nextEntry gave
// it) and its path, the listed directory's path joined with the name.
// Reached through the listing, the entry costs the kernel the lookup of
// that one name, where the path would have it look up every directory from
// the start again; both lead to the same file while the directory stays
// where it was listed. Valid while the listing is open.
struct ListedEntry {
  DirectoryListing listing;
  std::string_view name;
  std::string_view path;
};

// Queries the status of whatever the entry leads to, following links, as
// queryStatus does for the entry's path: a path the system would refuse as
// too long is still refused.
std::optional<PathStatus> queryStatus(const ListedEntry& entry);

// Opens the listing of the directory at `path`. Empty on failure.
std::optional<DirectoryListing> openDirectory(std::string_view path);

// The name of the next entry (the final name alone), or empty at the end
// of the listing. Every entry comes, hidden ones and "." and ".." included,
// in the platform's order. The name stays valid until the next call on the
// same listing. `regular`, when given, tells whether the listing itself
// says the entry is a regular file (a link to one is a link); false where
// the file system does not say.
std::optional<std::string_view> nextEntry(DirectoryListing listing, bool* regular = nullptr);

void closeDirectory(DirectoryListing listing);

#endif  // VARNAK_PLATFORM_DIRECTORY_H_
