#include "platform/directory.h"

#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "platform/entry_at.h"

namespace {

// The system calls take NUL-terminated names: a path holding a NUL byte
// would silently name a different, shorter path, so it names nothing.
std::optional<std::string> systemPath(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return std::nullopt;
  return std::string(path);
}

PathStatus statusOf(const struct stat& info) {
  PathStatus status;
  status.isDirectory = S_ISDIR(info.st_mode);
  status.isRegular = S_ISREG(info.st_mode);
  if (status.isRegular) status.size = static_cast<uint64_t>(info.st_size);
  status.identity.device = static_cast<uint64_t>(info.st_dev);
  status.identity.inode = static_cast<uint64_t>(info.st_ino);
  return status;
}

}  // namespace

std::optional<PathStatus> queryStatus(std::string_view path) {
  std::optional<std::string> name = systemPath(path);
  struct stat info;
  if (!name || ::stat(name->c_str(), &info) != 0) return std::nullopt;
  return statusOf(info);
}

std::optional<PathStatus> queryStatus(const ListedEntry& entry) {
  EntryAt at;
  if (!entryAt(entry, at)) return queryStatus(entry.path);
  struct stat info;
  if (::fstatat(at.directory, at.name, &info, 0) != 0) return std::nullopt;
  return statusOf(info);
}

std::optional<DirectoryListing> openDirectory(std::string_view path) {
  std::optional<std::string> name = systemPath(path);
  DIR* dir = name ? ::opendir(name->c_str()) : nullptr;
  if (dir == nullptr) return std::nullopt;
  return DirectoryListing{dir};
}

std::optional<std::string_view> nextEntry(DirectoryListing listing, bool* regular) {
  // A read error ends the listing like its end: the entries already seen
  // have been handled, and there is nothing better to do with the rest.
  const dirent* entry = ::readdir(static_cast<DIR*>(listing.handle));
  if (entry == nullptr) return std::nullopt;
  if (regular != nullptr) *regular = entry->d_type == DT_REG;
  return std::string_view(entry->d_name);
}

void closeDirectory(DirectoryListing listing) {
  ::closedir(static_cast<DIR*>(listing.handle));
}
