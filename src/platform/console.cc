#include "platform/console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/clock.h"

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

// The terminal's width, asked at every drawing so that the line follows a
// resized window.
size_t terminalColumns() {
  winsize size{};
  if (::ioctl(::fileno(stderr), TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
  return size.ws_col;
}

}  // namespace

void ConsoleOutput::write(Stream stream, std::initializer_list<std::string_view> pieces) {
  prepareStreams();
  if (shownColumns_ != 0 && (stream == Stream::err || outputOnTerminal_)) eraseProgress();
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

bool ConsoleOutput::showProgress() {
  progressOn_ = ::isatty(::fileno(stderr)) != 0;
  outputOnTerminal_ = ::isatty(::fileno(stdout)) != 0;
  progressStart_ = monotonicNanoseconds();
  pacer_ = startProgress(progressStart_);
  return progressOn_;
}

void ConsoleOutput::tick(const ProgressCounts& counts, std::string_view name) {
  if (!progressOn_) return;
  int64_t now = monotonicNanoseconds();
  if (progressDue(pacer_, now)) drawProgress(counts, name, now);
}

// The line is drawn over the last one from its first column, with blanks
// over what is left of a longer one; it never reaches the last column, so
// the terminal never wraps it.
void ConsoleOutput::drawProgress(const ProgressCounts& counts, std::string_view name, int64_t now) {
  prepareStreams();
  // What standard output holds goes out first, above the line.
  if (outputOnTerminal_) std::fflush(stdout);
  ProgressLine line =
      formatProgressLine(counts, totalBytes_, now - progressStart_, name, terminalColumns());
  std::string text = "\r" + line.text;
  if (shownColumns_ > line.columns) text.append(shownColumns_ - line.columns, ' ');
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
  // Past the line's end there are only blanks now.
  shownColumns_ = line.columns;
}

// Blanks over the line, and the cursor back to its first column, where the
// next line printed begins. Plain blanks work on every terminal, however
// little of the escape sequences it knows.
void ConsoleOutput::eraseProgress() {
  std::string text = "\r" + std::string(shownColumns_, ' ') + "\r";
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
  shownColumns_ = 0;
}

bool ConsoleOutput::finish() {
  prepareStreams();
  if (shownColumns_ != 0) eraseProgress();
  // At most one of the two streams holds anything: a write to one flushes
  // the other. The error flag of standard output is sticky: it also
  // remembers writes that failed while its buffer was flushed earlier in
  // the run.
  std::fflush(stderr);
  bool flushed = std::fflush(stdout) == 0;
  return flushed && !std::ferror(stdout);
}
