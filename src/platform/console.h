// Console output: the only place that writes to standard output and error.
//
// Both streams are buffered (standard error only where it is not a
// terminal; on a terminal it writes at each line end), and each is flushed
// before anything is written to the other, so that where both go to one
// file or pipe the lines stand in the order they were printed.
//
// The run makes one ConsoleOutput and hands it down as an Output; nothing
// else writes to the two streams.

#ifndef VARNAK_PLATFORM_CONSOLE_H_
#define VARNAK_PLATFORM_CONSOLE_H_

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/output.h"
#include "platform/progress.h"

class ConsoleOutput final : public Output {
 public:
  void write(Stream stream, std::initializer_list<std::string_view> pieces) override;

  // From now on, ticks draw a progress line on standard error, when that is
  // a terminal (never anything on a file or pipe); returns whether it is.
  // The line is erased before anything else is written to the terminal, so
  // the lines printed stay whole.
  bool showProgress();
  // The size of all the input, when it is known, for the share read.
  void setTotalBytes(std::optional<uint64_t> totalBytes) { totalBytes_ = totalBytes; }
  void tick(const ProgressCounts& counts, std::string_view name) override;
  bool showsTicks() const override { return progressOn_; }

  // Erases the progress line and flushes both streams. Returns false when
  // any write to standard output has failed since the start of the run (a
  // full disk, a closed descriptor).
  bool finish();

 private:
  void drawProgress(const ProgressCounts& counts, std::string_view name, int64_t now);
  void eraseProgress();

  // The progress line's state: whether it is shown at all, whether standard
  // output goes to the terminal too (its lines then erase the line as
  // well), when the run started, and the columns the line takes now (0:
  // none is on the terminal).
  bool progressOn_ = false;
  bool outputOnTerminal_ = false;
  int64_t progressStart_ = 0;
  ProgressPacer pacer_;
  std::optional<uint64_t> totalBytes_;
  size_t shownColumns_ = 0;
};

#endif  // VARNAK_PLATFORM_CONSOLE_H_
