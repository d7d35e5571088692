// Feeds arbitrary bytes through the unpacking of compressed streams and
// archives, read in chunks of a size the input chooses, as a pipe (no
// seeking) or as a file. Whatever the bytes, unpacking must end, and every
// entry must read to an end that stays an end.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "unpack/unpack.h"

namespace {

// Decoded bytes read in all before the run is stopped: a few bytes of a
// compressed stream can stand for gigabytes, which would only take time.
constexpr size_t kBudget = size_t{1} << 22;

}  // namespace

// Sizes in an archive's index are the archive's word: a damaged one can ask
// libarchive for gigabytes, and a refused allocation must then end in a
// report like any other damage, as it does outside the fuzzer.
extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  // The first byte chooses the chunk size and whether the data can seek;
  // the rest is the data.
  if (size < 1) return 0;
  size_t chunk = 1 + (bytes[0] & 0x7f) * 61;
  bool seekable = (bytes[0] & 0x80) != 0;
  std::string_view data(reinterpret_cast<const char*>(bytes + 1), size - 1);

  std::string_view head = data.substr(0, kPackedHeadSize);
  if (!looksPacked(head)) return 0;
  size_t at = head.size();
  PackedSource source;
  source.name = "f";
  source.head = head;
  source.read = [&](char* buffer, size_t capacity) {
    size_t n = std::min({capacity, chunk, data.size() - at});
    std::copy_n(data.data() + at, n, buffer);
    at += n;
    return n;
  };
  if (seekable) {
    source.seek = [&](int64_t offset, int whence) -> int64_t {
      if (whence == SEEK_CUR) std::abort();  // unpack makes these absolute
      int64_t target = (whence == SEEK_END ? static_cast<int64_t>(data.size()) : 0) + offset;
      if (target < 0 || target > static_cast<int64_t>(data.size())) return -1;
      at = static_cast<size_t>(target);
      return target;
    };
  }
  size_t decoded = 0;
  UnpackHandlers handlers;
  handlers.entry = [&](const std::string& name, const ChunkReader& read) {
    if (!name.starts_with("f")) std::abort();
    char buffer[4096];
    for (;;) {
      size_t n = read(buffer, std::min(sizeof buffer, chunk));
      if (n > sizeof buffer) std::abort();
      decoded += n;
      if (decoded > kBudget) return false;
      if (n == 0) break;
    }
    if (read(buffer, sizeof buffer) != 0) std::abort();
    return true;
  };
  handlers.problem = [](const std::string& name, std::string_view text) {
    if (!name.starts_with("f") || text.empty()) std::abort();
  };
  unpack(source, handlers);
  return 0;
}
