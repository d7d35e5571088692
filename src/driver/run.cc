#include "driver/run.h"

#include <cinttypes>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/day_table.h"
#include "driver/options.h"
#include "driver/report.h"
#include "driver/summary.h"
#include "input/input.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "read/mail_file.h"

namespace {

std::string formatYears(const char* format, int64_t first, int64_t last) {
  char text[96];
  int n = std::snprintf(text, sizeof text, format, first, last);
  return std::string(text, static_cast<size_t>(n));
}

void printRunMessages(const RunOptions& options) {
  int64_t lastYear = options.firstYear + options.yearCount - 1;
  printOut({formatYears("Doing years %" PRId64 "-%" PRId64 "\n", options.firstYear, lastYear)});
  switch (options.direction) {
    case Direction::all:
      printOut({"Counting all messages, both sent and received\n"});
      break;
    case Direction::sentOnly:
      printOut({"Counting sent messages\n"});
      break;
    case Direction::receivedOnly:
      printOut({"Counting received messages\n"});
      break;
  }
  printOut({"Any years <1000 will be assumed offset from ",
            std::to_string(int64_t{options.currentYear} - 50), "\n"});
}

// Ends the run: output that could not be written is never reported as success.
int finishRun(int status) {
  if (finishOutput()) return status;
  printError({"Unable to write output\n"});
  return 1;
}

}  // namespace

int runMain(int argc, const char* const* argv) {
  CommandLine commandLine = parseCommandLine(argc, argv);
  if (commandLine.usage) {
    printUsage();
    return finishRun(0);
  }
  if (commandLine.version) {
    printOut({"varnak " VARNAK_VERSION "\n"});
    return finishRun(0);
  }
  RunOptions& options = commandLine.options;
  options.currentYear = currentLocalYear();
  if (!options.terse) printRunMessages(options);

  int status = 0;
  DayTable table;
  if (table.create(options.firstYear, options.yearCount)) {
    RunTally tally;
    FileVisitor readFile = [&](const std::string& path, const PathStatus& status) {
      readMailFile(path, status, options, table, tally);
    };
    for (int i = commandLine.firstPath; i < argc; ++i)
      processArgument(argv[i], options, tally, readFile);
    printReport(table, options);
    if (options.summary) printTally(tally, options);
  } else {
    int64_t lastYear = options.firstYear + options.yearCount - 1;
    printError({formatYears("Unable to create the day table for years %" PRId64 "-%" PRId64 "\n",
                            options.firstYear, lastYear)});
    status = 1;
  }
  return finishRun(status);
}
