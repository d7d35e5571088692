#include "platform/console.h"

#include <cstdio>

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
  writePieces(stderr, pieces);
}

bool finishOutput() {
  // The error flag is sticky: it also remembers writes that failed while
  // the buffer was flushed earlier in the run.
  bool flushed = std::fflush(stdout) == 0;
  return flushed && !std::ferror(stdout);
}
