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

#include "platform/output.h"

class ConsoleOutput final : public Output {
 public:
  void write(Stream stream, std::initializer_list<std::string_view> pieces) override;

  // Flushes both streams. Returns false when any write to standard output
  // has failed since the start of the run (a full disk, a closed descriptor).
  bool finish();
};

#endif  // VARNAK_PLATFORM_CONSOLE_H_
