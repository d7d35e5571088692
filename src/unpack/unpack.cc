#include "unpack/unpack.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/library.h"

namespace {

// libarchive is loaded when the first packed data is met, not when the
// program starts: most runs never meet any, and loading it with the dozen
// libraries it needs (ICU, libxml2, nettle...) cost every run about a
// millisecond of processor time and 2 MiB. These are the functions used,
// each called through a pointer of its own type under its own name.
#define VARNAK_LIBARCHIVE_FUNCTIONS(F)    \
  F(archive_entry_filetype)               \
  F(archive_entry_pathname)               \
  F(archive_error_string)                 \
  F(archive_filter_bytes)                 \
  F(archive_filter_count)                 \
  F(archive_format)                       \
  F(archive_read_data)                    \
  F(archive_read_free)                    \
  F(archive_read_new)                     \
  F(archive_read_next_header)             \
  F(archive_read_open1)                   \
  F(archive_read_set_callback_data)       \
  F(archive_read_set_read_callback)       \
  F(archive_read_set_seek_callback)       \
  F(archive_read_support_filter_bzip2)    \
  F(archive_read_support_filter_compress) \
  F(archive_read_support_filter_gzip)     \
  F(archive_read_support_filter_lz4)      \
  F(archive_read_support_filter_xz)       \
  F(archive_read_support_filter_zstd)     \
  F(archive_read_support_format_7zip)     \
  F(archive_read_support_format_cpio)     \
  F(archive_read_support_format_empty)    \
  F(archive_read_support_format_raw)      \
  F(archive_read_support_format_tar)      \
  F(archive_read_support_format_zip)

struct Libarchive {
#define VARNAK_POINTER(name) decltype(&::name) name = nullptr;
  VARNAK_LIBARCHIVE_FUNCTIONS(VARNAK_POINTER)
#undef VARNAK_POINTER
};

// Loads libarchive (the version the program was built with) and finds its
// functions; false, with the reason in `error`, where it cannot.
bool loadLibarchive(Libarchive* api, std::string* error) {
  void* library = loadLibrary(VARNAK_LIBARCHIVE_SONAME, error);
  if (library == nullptr) return false;
#define VARNAK_FIND(name)                                                         \
  api->name = reinterpret_cast<decltype(&::name)>(librarySymbol(library, #name)); \
  if (api->name == nullptr) {                                                     \
    *error = VARNAK_LIBARCHIVE_SONAME " has no " #name;                           \
    return false;                                                                 \
  }
  VARNAK_LIBARCHIVE_FUNCTIONS(VARNAK_FIND)
#undef VARNAK_FIND
  return true;
}

// Leading marks of the compressed streams and archives opened here. Data
// that does not begin with one of them (and is no tar archive, whose mark
// stands further in) goes on as it is: libarchive's "raw" format, which
// stands for the content of a bare compressed stream, would take any bytes
// at all.
constexpr std::string_view kMarks[] = {
    {"\x1f\x8b", 2},                  // gzip
    {"\x1f\x9d", 2},                  // compress (.Z)
    {"BZh", 3},                       // bzip2 (the block size digit is checked apart)
    {"\xfd\x37\x7a\x58\x5a\x00", 6},  // xz
    {"\x28\xb5\x2f\xfd", 4},          // zstd frame
    {"\x04\x22\x4d\x18", 4},          // lz4 frame
    {"\x02\x21\x4c\x18", 4},          // lz4 legacy frame
    {"PK\x03\x04", 4},                // zip, first local header
    {"PK\x05\x06", 4},                // zip without entries
    {"7z\xbc\xaf\x27\x1c", 6},        // 7z
    {"070707", 6},                    // cpio, portable ASCII
    {"070701", 6},                    // cpio, new ASCII
    {"070702", 6},                    // cpio, new ASCII with checksums
    {"\xc7\x71", 2},                  // cpio, binary, little-endian
    {"\x71\xc7", 2},                  // cpio, binary, big-endian
};

// A POSIX or GNU tar header: "ustar" at byte 257 and a checksum that adds up
// (the sum of the block's bytes, the checksum field counted as blanks).
bool looksLikeTar(std::string_view head) {
  constexpr size_t kBlock = 512;
  constexpr size_t kSumField = 148;
  constexpr size_t kSumSize = 8;
  if (head.size() < kBlock || head.substr(257, 5) != "ustar") return false;
  unsigned expected = 0;
  bool digits = false;
  for (size_t i = kSumField; i < kSumField + kSumSize; ++i) {
    char c = head[i];
    if (c >= '0' && c <= '7') {
      expected = expected * 8 + static_cast<unsigned>(c - '0');
      digits = true;
    } else if (c == ' ' || c == '\0') {
      if (digits) break;
    } else {
      return false;
    }
  }
  unsigned sum = 0;
  for (size_t i = 0; i < kBlock; ++i) {
    bool inField = i >= kSumField && i < kSumField + kSumSize;
    sum += inField ? unsigned{' '} : static_cast<unsigned char>(head[i]);
  }
  return digits && sum == expected;
}

// What libarchive reads the data through: the bytes already read first,
// then the source's reader, and the source's seeker when it has one.
struct Feed {
  const PackedSource* source;
  std::string_view head;
  int64_t position = 0;
  std::vector<char> buffer;
};

// Decoder input block. libarchive looks ahead across blocks itself; larger
// ones only cost memory.
constexpr size_t kFeedSize = 65536;

la_ssize_t readFeed(archive*, void* data, const void** block) {
  Feed& feed = *static_cast<Feed*>(data);
  size_t n;
  if (!feed.head.empty()) {
    *block = feed.head.data();
    n = feed.head.size();
    feed.head = {};
  } else {
    n = feed.source->read(feed.buffer.data(), feed.buffer.size());
    *block = feed.buffer.data();
  }
  feed.position += static_cast<int64_t>(n);
  return static_cast<la_ssize_t>(n);
}

la_int64_t seekFeed(archive*, void* data, la_int64_t offset, int whence) {
  Feed& feed = *static_cast<Feed*>(data);
  // The source's own position is past the bytes already read, which the
  // feed may not have handed on yet: offsets from here are made absolute.
  if (whence == SEEK_CUR) {
    offset += feed.position;
    whence = SEEK_SET;
  }
  int64_t position = feed.source->seek(offset, whence);
  if (position < 0) return ARCHIVE_FATAL;
  feed.head = {};
  feed.position = position;
  return position;
}

std::string errorText(const Libarchive& api, archive* a) {
  const char* text = api.archive_error_string(a);
  return text != nullptr && *text != '\0' ? text : "unknown error";
}

// Reads the first kPackedHeadSize bytes of an entry for looksPacked (all of
// it when it is shorter), however few bytes each call of `read` gives.
std::string readPackedHead(const ChunkReader& read) {
  std::string head(kPackedHeadSize, '\0');
  size_t have = 0;
  while (have < head.size()) {
    size_t n = read(head.data() + have, head.size() - have);
    if (n == 0) break;
    have += n;
  }
  head.resize(have);
  return head;
}

bool unpackLevel(const Libarchive& api, const PackedSource& source, const UnpackHandlers& handlers,
                 int depth);

// One regular entry: opened again when it is packed itself, handed on
// otherwise, with the bytes read to tell which put back in front.
bool passEntry(const Libarchive& api, const std::string& name, const ChunkReader& read,
               const UnpackHandlers& handlers, int depth) {
  std::string head = readPackedHead(read);
  if (looksPacked(head)) {
    if (depth < kUnpackDepth) return unpackLevel(api, {name, head, read, {}}, handlers, depth + 1);
    handlers.problem(name, "packed more than " + std::to_string(kUnpackDepth) + " levels deep");
    return true;
  }
  std::string_view rest = head;
  ChunkReader withHead = [&rest, &read](char* buffer, size_t capacity) {
    if (rest.empty()) return read(buffer, capacity);
    size_t n = std::min(capacity, rest.size());
    std::copy_n(rest.data(), n, buffer);
    rest.remove_prefix(n);
    return n;
  };
  return handlers.entry(name, withHead);
}

// An archive reader of the loaded library's, freed through it.
struct ArchiveReleaser {
  const Libarchive* api;
  void operator()(archive* a) const { api->archive_read_free(a); }
};
using ArchiveReader = std::unique_ptr<archive, ArchiveReleaser>;

// A reader of every filter and format unpacked here, opened on `feed`;
// empty, with the problem reported, where it cannot be opened.
ArchiveReader openArchive(const Libarchive& api, Feed& feed, const UnpackHandlers& handlers) {
  ArchiveReader reader(api.archive_read_new(), ArchiveReleaser{&api});
  archive* a = reader.get();
  if (a == nullptr) {
    handlers.problem(feed.source->name, "out of memory");
    return reader;
  }
  api.archive_read_support_filter_gzip(a);
  api.archive_read_support_filter_bzip2(a);
  api.archive_read_support_filter_xz(a);
  api.archive_read_support_filter_zstd(a);
  api.archive_read_support_filter_lz4(a);
  api.archive_read_support_filter_compress(a);
  api.archive_read_support_format_tar(a);
  api.archive_read_support_format_zip(a);
  api.archive_read_support_format_7zip(a);
  api.archive_read_support_format_cpio(a);
  // The content of a bare compressed stream, and of an empty one.
  api.archive_read_support_format_raw(a);
  api.archive_read_support_format_empty(a);

  api.archive_read_set_read_callback(a, readFeed);
  if (feed.source->seek) api.archive_read_set_seek_callback(a, seekFeed);
  api.archive_read_set_callback_data(a, &feed);
  if (api.archive_read_open1(a) != ARCHIVE_OK) {
    handlers.problem(feed.source->name, errorText(api, a));
    reader.reset();
  }
  return reader;
}

// The name an entry is handed on under: the container's, with the entry's
// path in parentheses unless the container is a bare compressed stream.
std::string entryName(const Libarchive& api, const std::string& container, archive_entry* entry,
                      bool raw) {
  std::string name = container;
  if (!raw) {
    const char* path = api.archive_entry_pathname(entry);
    name += '(';
    name += path != nullptr ? path : "";
    name += ')';
  }
  return name;
}

bool unpackLevel(const Libarchive& api, const PackedSource& source, const UnpackHandlers& handlers,
                 int depth) {
  Feed feed{&source, source.head, 0, std::vector<char>(kFeedSize)};
  ArchiveReader reader = openArchive(api, feed, handlers);
  archive* a = reader.get();
  if (a == nullptr) return true;

  // The last read of an entry's data that failed, if one did: its data
  // ends there.
  la_ssize_t readFailure = 0;
  ChunkReader readEntry = [&api, a, &readFailure](char* buffer, size_t capacity) -> size_t {
    if (readFailure < 0) return 0;
    la_ssize_t n = api.archive_read_data(a, buffer, capacity);
    if (n >= 0) return static_cast<size_t>(n);
    readFailure = n;
    return 0;
  };
  // A damaged stretch of an archive can fail header after header: it is
  // reported once, and it must give up if the reading stops moving.
  bool inDamage = false;
  int64_t damageAt = -1;
  for (;;) {
    archive_entry* entry = nullptr;
    int status = api.archive_read_next_header(a, &entry);
    if (status == ARCHIVE_EOF) return true;
    if (status == ARCHIVE_FATAL) {
      if (!inDamage) handlers.problem(source.name, errorText(api, a));
      return true;
    }
    if (status == ARCHIVE_RETRY || status == ARCHIVE_FAILED) {
      // This header could not be read; the archive may still hold more.
      int64_t at = api.archive_filter_bytes(a, -1) + api.archive_filter_bytes(a, 0);
      if (!inDamage) handlers.problem(source.name, errorText(api, a));
      if (at == damageAt) return true;
      inDamage = true;
      damageAt = at;
      continue;
    }
    inDamage = false;
    bool raw = api.archive_format(a) == ARCHIVE_FORMAT_RAW;
    // The raw format claims any data. Without a compression layer under it,
    // what looked like an archive was not one libarchive could read.
    if (raw && api.archive_filter_count(a) <= 1) {
      handlers.problem(source.name, "not a compressed stream or archive that can be read");
      return true;
    }
    if (api.archive_entry_filetype(entry) != AE_IFREG) continue;
    std::string name = entryName(api, source.name, entry, raw);
    readFailure = 0;
    if (!passEntry(api, name, readEntry, handlers, depth)) return false;
    if (readFailure < 0) {
      handlers.problem(name, errorText(api, a));
      if (readFailure == ARCHIVE_FATAL) return true;
    }
  }
}

}  // namespace

bool looksPacked(std::string_view head) {
  for (std::string_view mark : kMarks) {
    if (!head.starts_with(mark)) continue;
    if (mark == "BZh") return head.size() > 3 && head[3] >= '1' && head[3] <= '9';
    return true;
  }
  return looksLikeTar(head);
}

bool unpack(const PackedSource& source, const UnpackHandlers& handlers) {
  Libarchive api;
  std::string error;
  if (!loadLibarchive(&api, &error)) {
    handlers.problem(source.name, error);
    return true;
  }
  return unpackLevel(api, source, handlers, 1);
}
