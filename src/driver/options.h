// The run's settings and the command line that sets them.

#ifndef VARNAK_DRIVER_OPTIONS_H_
#define VARNAK_DRIVER_OPTIONS_H_

#include "common/run_options.h"
#include "platform/output.h"

struct CommandLine {
  // True when the command line is not acceptable and the usage text is due.
  bool usage = true;
  // True when the version is asked for; nothing else then counts.
  bool version = false;
  RunOptions options;
  // Index in argv of the first path argument.
  int firstPath = 0;
};

// Reads argv (argv[0] is the program's name and is never looked at).
// Leaves currentYear unset.
CommandLine parseCommandLine(int argc, const char* const* argv);

// The usage text, on standard output.
void printUsage(Output& output);

#endif  // VARNAK_DRIVER_OPTIONS_H_
