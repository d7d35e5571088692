// The system calls of reading a tree of small files, and nothing else: the
// floor under varnak's processor time on such a tree. The tree's regular
// files are listed first, on one thread; then THREADS threads take them in
// batches of 64, in turn, and each file is queried (fstatat through its
// directory), opened, read once and closed, as varnak's workers do, each
// thread in a table of file descriptors of its own as theirs. Run on
// one thread and on N, the ratio of the processor times is what the kernel
// alone makes of the same calls spread over N processors.
//
// usage: file_calls THREADS DIRECTORY
// Prints the files read and the bytes they held.

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Found {
  size_t directory;
  std::string name;
};

struct Tree {
  std::vector<std::string> directories;
  std::vector<Found> files;
};

void list(Tree& tree, const std::string& path) {
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return;
  size_t index = tree.directories.size();
  tree.directories.push_back(path);
  std::vector<std::string> below;
  while (const dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (entry->d_type == DT_DIR) below.push_back(path + "/" + name);
    if (entry->d_type == DT_REG) tree.files.push_back({index, name});
  }
  closedir(dir);
  for (const std::string& sub : below)
    list(tree, sub);
}

constexpr size_t kBatch = 64;

// Reads the batches it takes; returns the bytes read.
uint64_t readBatches(const Tree& tree, std::atomic<size_t>& next) {
  std::vector<char> buffer(128 * 1024);
  uint64_t bytes = 0;
  size_t open = SIZE_MAX;
  int dirFd = -1;
  for (;;) {
    size_t first = next.fetch_add(kBatch);
    if (first >= tree.files.size()) break;
    size_t last = std::min(first + kBatch, tree.files.size());
    for (size_t i = first; i < last; ++i) {
      const Found& file = tree.files[i];
      if (file.directory != open) {
        if (dirFd >= 0) close(dirFd);
        dirFd = ::open(tree.directories[file.directory].c_str(), O_RDONLY | O_DIRECTORY);
        open = file.directory;
      }
      struct stat info;
      if (fstatat(dirFd, file.name.c_str(), &info, 0) != 0) continue;
      int fd = openat(dirFd, file.name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
      if (fd < 0) continue;
      ssize_t n = read(fd, buffer.data(), buffer.size());
      if (n > 0) bytes += static_cast<uint64_t>(n);
      close(fd);
    }
  }
  if (dirFd >= 0) close(dirFd);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::atoi(argv[1]) < 1) {
    std::fprintf(stderr, "usage: file_calls THREADS DIRECTORY\n");
    return 2;
  }
  int threads = std::atoi(argv[1]);
  Tree tree;
  list(tree, argv[2]);
  std::atomic<size_t> next{0};
  std::vector<uint64_t> bytes(static_cast<size_t>(threads));
  if (threads == 1) {
    // One thread: the process stays single-threaded, as varnak -jobs=1.
    bytes[0] = readBatches(tree, next);
  } else {
    std::vector<std::thread> pool;
    for (size_t i = 0; i < bytes.size(); ++i)
      pool.emplace_back([&, i] {
        unshare(CLONE_FILES);
        bytes[i] = readBatches(tree, next);
      });
    for (std::thread& thread : pool)
      thread.join();
  }
  uint64_t total = 0;
  for (uint64_t b : bytes)
    total += b;
  std::printf("%zu files, %llu bytes\n", tree.files.size(), static_cast<unsigned long long>(total));
  return 0;
}
