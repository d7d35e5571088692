// Opening compressed streams and archives (-unpack) as they are read.
//
// Data whose first bytes carry the mark of a compressed stream (gzip, bzip2,
// xz, zstd, lz4, compress) or of an archive (tar, plain or compressed, zip,
// 7z, cpio) is decoded by libarchive while it is read, and every regular
// file it holds is handed on, one after the other, as a stream of its own.
// Nothing is written anywhere and nothing is held whole: memory depends on
// the formats' own windows and buffers, never on the size of the data.
//
// Names: an archive's entry is shown as ARCHIVE(ENTRY), the way make names
// archive members, and an entry that is itself an archive nests further:
// mail.tar.gz(inner.zip)(x.mbox). A bare compressed stream holds one piece
// of data, shown under the name of the stream itself (x.mbox.gz holds
// x.mbox.gz; mail.tar(x.mbox.gz) holds mail.tar(x.mbox.gz)).
//
// Depth: the data a name stands for is opened once, whatever the layers of
// compression around it (libarchive strips x.gz.bz2 in one go); an archive
// or compressed stream inside it is a second level, and so on up to
// kUnpackDepth levels. Packed data found deeper than that is not opened: it
// is reported as a problem and skipped, since handing it on as it is could
// only show it as something that is not mail.

#ifndef VARNAK_UNPACK_UNPACK_H_
#define VARNAK_UNPACK_UNPACK_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/byte_source.h"

// Packed data as its reader meets it: the bytes it has read already to look
// at them, and the means to read on.
struct PackedSource {
  // How path lines and warnings name the data.
  std::string name;
  // The first bytes of the data, already read (usually those looksPacked
  // was asked about); the rest follows from `read`.
  std::string_view head;
  ChunkReader read;
  // Empty for data that cannot seek (a pipe, an archive's entry). Only a 7z
  // archive and a zip archive whose entries leave their sizes to the end
  // need to seek; a zip is read in order otherwise.
  ChunkSeeker seek;
};

// How many leading bytes looksPacked needs to decide (a tar archive's mark
// stands at bytes 257 to 262 of its first block, whose checksum covers 512).
constexpr size_t kPackedHeadSize = 512;

// Levels of archives and compressed streams opened one inside the other.
constexpr int kUnpackDepth = 4;

// Whether `head`, the first kPackedHeadSize bytes of some data (all of it
// when it is shorter), carries the mark of a compressed stream or archive
// that unpack opens. Data whose first bytes say nothing of the sort, a
// mailbox above all, is never taken for packed data.
bool looksPacked(std::string_view head);

struct UnpackHandlers {
  // One regular file of the archive, or the whole content of a compressed
  // stream, in the order the data holds them: `read` gives its bytes until
  // it returns 0 (at the end, or where damage stops the decoding). Returns
  // false to stop the unpacking altogether.
  std::function<bool(const std::string& name, const ChunkReader& read)> entry;
  // What could not be unpacked: the name of the data concerned and a short
  // account of what is wrong with it (libarchive's own words where it has
  // them). Entries decoded before the damage have been handed on already.
  std::function<void(const std::string& name, std::string_view problem)> problem;
  // An entry that is packed data itself, opened in its turn; may be empty.
  std::function<void(const std::string& name)> opened;
  // An entry that is packed data lying deeper than kUnpackDepth levels,
  // not opened. When this is empty, it goes to `problem` instead.
  std::function<void(const std::string& name)> tooDeep;
  // Asked, when set, of each regular file of an archive with its path in
  // the archive (ENTRY of ARCHIVE(ENTRY)) before anything of it is read:
  // true leaves it out, unread and not opened even when it is packed.
  std::function<bool(std::string_view path)> leavesOut;
};

// Decodes `source` and hands each regular file in it to handlers.entry,
// opening packed files found inside it again (see Depth above). Damage ends
// the data it affects, with a report to handlers.problem, and the unpacking
// goes on wherever the format allows. Returns false when an entry handler
// asked to stop.
bool unpack(const PackedSource& source, const UnpackHandlers& handlers);

#endif  // VARNAK_UNPACK_UNPACK_H_
