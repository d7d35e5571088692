#include "driver/run.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/day_table.h"
#include "driver/input_size.h"
#include "driver/options.h"
#include "driver/parallel_read.h"
#include "driver/report.h"
#include "driver/summary.h"
#include "input/input.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/environment.h"
#include "platform/processors.h"
#include "read/mail_file.h"
#include "read/mail_range.h"

namespace {

std::string formatYears(const char* format, int64_t first, int64_t last) {
  char text[96];
  int n = std::snprintf(text, sizeof text, format, first, last);
  return std::string(text, static_cast<size_t>(n));
}

void printRunMessages(const RunOptions& options, Output& output) {
  int64_t lastYear = options.firstYear + options.yearCount - 1;
  output.progress(
      {formatYears("Doing years %" PRId64 "-%" PRId64 "\n", options.firstYear, lastYear)});
  switch (options.direction) {
    case Direction::all:
      output.progress({"Counting all messages, both sent and received\n"});
      break;
    case Direction::sentOnly:
      output.progress({"Counting sent messages\n"});
      break;
    case Direction::receivedOnly:
      output.progress({"Counting received messages\n"});
      break;
  }
  output.progress({"Any years <1000 will be assumed offset from ",
                   std::to_string(int64_t{options.currentYear} - 50), "\n"});
}

// The most workers a run starts unless -jobs asks for more: the walk on the
// main thread, which hands them the files, is what a run of more waits for.
constexpr int kMaxDefaultJobs = 8;

// The worker threads a run gets unless -jobs says: one for a lone regular
// file too small to be read in ranges, which a single worker would read
// all the same, only handing its lines over to the main thread on top;
// otherwise the processors, up to the cap.
int defaultJobs(std::span<const char* const> paths, const RunOptions& options) {
  std::optional<uint64_t> size = paths.size() == 1 ? inputSize(paths) : std::nullopt;
  if (size && !largeEnoughForRanges(*size, options)) return 1;
  return std::min(usableProcessors(), kMaxDefaultJobs);
}

// VARNAK_RANGE_BYTES sets the size of the ranges a large file is read in:
// the tests make it small, to read small files in ranges.
void setRangeBytes(RunOptions& options) {
  std::optional<std::string> value = environmentValue("VARNAK_RANGE_BYTES");
  if (!value) return;
  char* end = nullptr;
  unsigned long long bytes = std::strtoull(value->c_str(), &end, 10);
  if (end != value->c_str() && *end == '\0' && bytes > 0) options.rangeBytes = bytes;
}

// Ends the run: output that could not be written is never reported as success.
int finishRun(int status, ConsoleOutput& console) {
  if (console.finish()) return status;
  console.error({"Unable to write output\n"});
  return 1;
}

}  // namespace

int runMain(int argc, const char* const* argv) {
  // The run's one sink for all it prints, handed down to every part.
  ConsoleOutput console;
  CommandLine commandLine = parseCommandLine(argc, argv);
  if (commandLine.usage) {
    printUsage(console);
    return finishRun(0, console);
  }
  if (commandLine.version) {
    console.progress({"varnak " VARNAK_VERSION "\n"});
    return finishRun(0, console);
  }
  RunOptions& options = commandLine.options;
  options.currentYear = currentLocalYear();
  setRangeBytes(options);
  if (options.jobs == 0)
    options.jobs = defaultJobs({argv + commandLine.firstPath, argv + argc}, options);
  if (!options.terse) printRunMessages(options, console);

  int status = 0;
  DayTable table;
  if (table.create(options.firstYear, options.yearCount)) {
    RunTally tally;
    ProgressCounts progress;
    // The sizes are only asked for where the line will show them.
    if (options.progress && console.showProgress())
      console.setTotalBytes(inputSize({argv + commandLine.firstPath, argv + argc}));
    // Messages are looked up among those met before only when -unique or
    // the tally asks: the digests cost memory.
    Sightings sightings;
    Sightings* sighted = options.unique || options.summary ? &sightings : nullptr;
    if (options.jobs > 1) {
      readInParallel({argv + commandLine.firstPath, argv + argc}, options, console, table, tally,
                     progress, sighted);
    } else {
      ListedFileVisitor readFile = [&](const std::string& path, const PathStatus& status,
                                       const ListedEntry* listed) {
        readMailFile(path, status, listed, options, console, table, tally, progress, sighted);
      };
      for (int i = commandLine.firstPath; i < argc; ++i)
        processArgument(argv[i], options, console, tally, readFile);
    }
    tally.withoutMessageId = sightings.withoutId;
    tally.repeats = sightings.repeats;
    printReport(table, options, console);
    if (options.summary) printTally(tally, options, console);
  } else {
    int64_t lastYear = options.firstYear + options.yearCount - 1;
    console.error({formatYears("Unable to create the day table for years %" PRId64 "-%" PRId64 "\n",
                               options.firstYear, lastYear)});
    status = 1;
  }
  return finishRun(status, console);
}
