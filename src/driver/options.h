// The run's settings and the command line that sets them.

#ifndef VARNAK_DRIVER_OPTIONS_H_
#define VARNAK_DRIVER_OPTIONS_H_

#include <cstdint>

// Which messages the report adds up. Every message is stored, sent and
// received apart, whatever the direction; only the report applies it.
enum class Direction { all, sentOnly, receivedOnly };

struct RunOptions {
  int32_t firstYear = 1970;
  // Number of years in the range; the last year is firstYear + yearCount - 1.
  // Held in 64 bits so that no range on the command line can overflow it;
  // the day table refuses counts that do not fit 32 bits.
  int64_t yearCount = 201;
  Direction direction = Direction::all;
  // Quiet mode: no progress lines, warnings on standard error.
  bool terse = false;
  // Year of the local date at start-up; years below 1000 in dates are
  // completed around it.
  int32_t currentYear = 0;
};

// The one run-wide settings record. runMain fills it before any input is
// read; everything else only reads it.
extern RunOptions gOptions;

struct CommandLine {
  // True when the command line is not acceptable and the usage text is due.
  bool usage = true;
  RunOptions options;
  // Index in argv of the first path argument.
  int firstPath = 0;
};

// Reads argv (argv[0] is the program's name and is never looked at).
// Leaves currentYear unset.
CommandLine parseCommandLine(int argc, const char* const* argv);

void printUsage();

#endif  // VARNAK_DRIVER_OPTIONS_H_
