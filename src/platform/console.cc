#include "platform/console.h"

#include <cstdio>
#include <string>

namespace {

void writePieces(std::FILE* stream, std::initializer_list<std::string_view> pieces) {
  for (std::string_view piece : pieces)
    std::fwrite(piece.data(), 1, piece.size(), stream);
}

}  // namespace

void printOut(std::initializer_list<std::string_view> pieces) {
  writePieces(stdout, pieces);
}

void printWarning(bool terse, std::initializer_list<std::string_view> pieces) {
  if (terse) {
    printError(pieces);
  } else {
    writePieces(stdout, pieces);
  }
}

void printError(std::initializer_list<std::string_view> pieces) {
  // Whatever standard output holds was printed first; keep that order on a
  // terminal that shows both streams.
  std::fflush(stdout);
  // Standard error has no buffer: each fwrite is a system call of its own,
  // so the pieces go out joined, in one. A mailbox full of overlong header
  // lines warns once per message.
  size_t total = 0;
  for (std::string_view piece : pieces)
    total += piece.size();
  std::string line;
  line.reserve(total);
  for (std::string_view piece : pieces)
    line += piece;
  std::fwrite(line.data(), 1, line.size(), stderr);
}

bool finishOutput() {
  // The error flag is sticky: it also remembers writes that failed while
  // the buffer was flushed earlier in the run.
  bool flushed = std::fflush(stdout) == 0;
  return flushed && !std::ferror(stdout);
}
