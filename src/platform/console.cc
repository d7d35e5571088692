#include "platform/console.h"

#include <unistd.h>

#include <cstdio>

namespace {

// Standard error gets a buffer of its own on the first write to either
// stream. A mailbox full of overlong header lines warns once per message,
// tens of thousands of warnings of 4 KiB each, and one write(2) per warning
// cost more than the reading of the mailbox. Buffered, they go out in a
// few large writes. Before anything is written to one stream, whatever the
// other one holds goes out (see ConsoleOutput::write), so where both
// streams end in one file or pipe the lines stand in the order they were
// printed, as they do unbuffered. On a terminal the buffer is flushed at
// each line end: a person watching sees every warning as it comes.
//
// The buffer belongs to the C library's stream from the first write to the
// end of the process (the library flushes it at exit), so it is static.
void bufferStandardError() {
  static char buffer[64 * 1024];
  const int mode = ::isatty(::fileno(stderr)) ? _IOLBF : _IOFBF;
  std::setvbuf(stderr, buffer, mode, sizeof buffer);
}

// Sets up the streams once, before the first write to either: the C
// library allows a stream's buffer to be changed only then, and this file
// is the only writer of both. Once per process, not per ConsoleOutput: a
// second setup after the first writes would be too late.
void prepareStreams() {
  [[maybe_unused]] static const bool prepared = [] {
    bufferStandardError();
    return true;
  }();
}

void writePieces(std::FILE* stream, std::initializer_list<std::string_view> pieces) {
  for (std::string_view piece : pieces)
    std::fwrite(piece.data(), 1, piece.size(), stream);
}

}  // namespace

void ConsoleOutput::write(Stream stream, std::initializer_list<std::string_view> pieces) {
  prepareStreams();
  if (stream == Stream::out) {
    // Warnings printed before this line go before it.
    std::fflush(stderr);
    writePieces(stdout, pieces);
  } else {
    // Whatever standard output holds was printed first.
    std::fflush(stdout);
    writePieces(stderr, pieces);
  }
}

bool ConsoleOutput::finish() {
  prepareStreams();
  // At most one of the two streams holds anything: a write to one flushes
  // the other. The error flag of standard output is sticky: it also
  // remembers writes that failed while its buffer was flushed earlier in
  // the run.
  std::fflush(stderr);
  bool flushed = std::fflush(stdout) == 0;
  return flushed && !std::ferror(stdout);
}
