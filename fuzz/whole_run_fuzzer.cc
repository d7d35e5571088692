// Runs the whole tool, command line to report, over a small directory tree
// built from the input: a few files with arbitrary contents in nested, hidden
// and pattern-matching directories, a link back up the tree, and a path
// argument with an arbitrary wildcard pattern, under the reading options the
// input chooses, on as many worker threads as the input chooses, with
// files cut into ranges of the size it chooses. Beyond what
// the sanitizers catch, it checks that the run ends with status 0, that the
// report is well formed (dates strictly ascending and within the calendar,
// running totals never going down) and that a run on several threads prints
// exactly what a run on one does.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "driver/run.h"

namespace fs = std::filesystem;

namespace {

// Where the files of one input may go; the directories are made as needed.
const char* const kFileNames[] = {
    "inbox",     "a.mbx",          ".hidden-file", "x?y",      "sub/mail",
    "sub/a.mbx", "sub/deep/inbox", ".dot/inbox",   "d.mbx/in", "d.mbx/.in",
};
// Mostly short ranges: the report walks every day of the range, and the
// table of the default two centuries makes a run several times slower.
const char* const kYearRanges[] = {"-years=1995-2030", "-years=1970-1999", "-years=2002-2002",
                                   "-years=2002-2001", "-years=1970-2170"};
const char* const kDirections[] = {"-all", "-sent", "-rcvd"};
// The readings beyond plain mailboxes, one at a time or all at once ("-all"
// stands for none).
const char* const kReadings[] = {"-all",
                                 "-unpack",
                                 "-maildir",
                                 "-lists",
                                 "-summary",
                                 "-me=a@b,C@D",
                                 "-unpack -maildir -lists -summary -me=x@y"};
// Pattern characters: wildcards, dots and letters of the names above.
const char kPatternAlphabet[] = "*?.abimnoxy";

// Standard output goes to a temporary file for the whole session, so that
// each run's report can be read back.
FILE* captureOutput() {
  static FILE* capture = [] {
    FILE* file = std::tmpfile();
    if (file == nullptr) std::abort();
    std::fflush(stdout);
    if (dup2(fileno(file), STDOUT_FILENO) < 0) std::abort();
    return file;
  }();
  return capture;
}

void buildTree(FuzzedDataProvider& input, const fs::path& tree) {
  fs::create_directories(tree);
  if (input.ConsumeBool()) fs::create_directory_symlink("..", tree / "up");
  int files = input.ConsumeIntegralInRange(1, 5);
  for (int i = 0; i < files; ++i) {
    fs::path file =
        tree / kFileNames[input.ConsumeIntegralInRange<size_t>(0, std::size(kFileNames) - 1)];
    fs::create_directories(file.parent_path());
    std::string contents = i + 1 == files ? input.ConsumeRemainingBytesAsString()
                                          : input.ConsumeRandomLengthString(8192);
    std::ofstream(file, std::ios::binary) << contents;
  }
}

std::string argumentFor(FuzzedDataProvider& input) {
  switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0:
      return "tree";
    case 1:
      return "tree/";
    case 2:
      return "tree/inbox";
    default: {
      std::string pattern = "tree/";
      size_t length = input.ConsumeIntegralInRange<size_t>(0, 8);
      for (size_t i = 0; i < length; ++i) {
        pattern +=
            kPatternAlphabet[input.ConsumeIntegralInRange<size_t>(0, sizeof kPatternAlphabet - 2)];
      }
      return pattern;
    }
  }
}

std::string capturedOutput(FILE* capture) {
  std::fflush(stdout);
  std::string text;
  std::rewind(capture);
  char buffer[8192];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, capture)) > 0)
    text.append(buffer, n);
  return text;
}

bool isRow(const std::string& line) {
  // "%02i\t%02i\t%04i\t%u\t%u"
  std::istringstream in(line);
  std::string field;
  int fields = 0;
  while (std::getline(in, field, '\t')) {
    if (field.empty() || field.find_first_not_of("0123456789") != std::string::npos) return false;
    ++fields;
  }
  return fields == 5 && line.size() > 10 && line[2] == '\t' && line[5] == '\t' && line[10] == '\t';
}

// Dates strictly ascending, each a possible slot, running totals never down.
void checkReport(const std::string& output) {
  std::istringstream lines(output);
  std::string line;
  long long lastDate = -1;
  unsigned long long lastCount = 0;
  unsigned long long lastBytes = 0;
  while (std::getline(lines, line)) {
    if (!isRow(line)) continue;
    int day = std::stoi(line.substr(0, 2));
    int month = std::stoi(line.substr(3, 2));
    long long year = std::stoll(line.substr(6, 4));
    size_t countEnd = line.find('\t', 11);
    unsigned long long count = std::stoull(line.substr(11, countEnd - 11));
    unsigned long long bytes = std::stoull(line.substr(countEnd + 1));
    if (day < 1 || day > 31 || month < 1 || month > 12) std::abort();
    long long date = (year * 12 + month) * 32 + day;
    if (date <= lastDate || count <= lastCount || bytes < lastBytes) std::abort();
    lastDate = date;
    lastCount = count;
    lastBytes = bytes;
  }
}

// One run with "-jobs=JOBS" before the path; its status, and its standard
// output in `output`.
int run(std::vector<std::string> arguments, int jobs, FILE* capture, std::string* output) {
  arguments.insert(arguments.end() - 1, "-jobs=" + std::to_string(jobs));
  std::vector<const char*> argv;
  for (const std::string& argument : arguments)
    argv.push_back(argument.c_str());
  argv.push_back(nullptr);
  std::fflush(stdout);
  // Standard output and the capture share one file offset.
  if (ftruncate(STDOUT_FILENO, 0) != 0 || lseek(STDOUT_FILENO, 0, SEEK_SET) != 0) std::abort();
  int status = runMain(static_cast<int>(arguments.size()), argv.data());
  *output = capturedOutput(capture);
  return status;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* capture = captureOutput();
  FuzzedDataProvider input(data, size);
  std::vector<std::string> arguments = {
      "varnak", kYearRanges[input.ConsumeIntegralInRange<size_t>(0, std::size(kYearRanges) - 1)],
      kDirections[input.ConsumeIntegralInRange<size_t>(0, std::size(kDirections) - 1)]};
  std::istringstream readings(
      kReadings[input.ConsumeIntegralInRange<size_t>(0, std::size(kReadings) - 1)]);
  for (std::string option; readings >> option;)
    arguments.push_back(option);
  int jobs = input.ConsumeIntegralInRange(1, 8);
  // Ranges of a few bytes up to a few KiB: on several threads each file is
  // cut at random points into ranges read at once.
  std::string rangeBytes = std::to_string(input.ConsumeIntegralInRange(1, 4096));
  if (setenv("VARNAK_RANGE_BYTES", rangeBytes.c_str(), 1) != 0) std::abort();
  arguments.push_back(argumentFor(input));
  // A fresh folder for every input: the fuzzer ends without running exit
  // handlers, so nothing may be left to clean up at the end.
  char folder[] = "/tmp/varnak-fuzz-XXXXXX";
  if (mkdtemp(folder) == nullptr) std::abort();
  const fs::path root = folder;
  buildTree(input, root / "tree");

  // Relative paths, as a user types them: the banners and path lines stay
  // short, and nothing outside the workspace is ever named.
  fs::path before = fs::current_path();
  fs::current_path(root);
  std::string output;
  int status = run(arguments, jobs, capture, &output);
  if (jobs > 1) {
    std::string alone;
    if (run(arguments, 1, capture, &alone) != status || alone != output) std::abort();
  }
  fs::current_path(before);
  fs::remove_all(root);

  if (status != 0) std::abort();
  checkReport(output);
  return 0;
}
