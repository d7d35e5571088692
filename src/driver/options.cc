#include "driver/options.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Printed byte for byte as users and their scripts have always seen it:
// "Berkely" is misspelt on purpose, and the newer options are left out (the
// manual page and the README describe them).
constexpr std::string_view kUsage =
    "Usage: varnak [-years=1970-2170] [-sent|-rcvd] [-terse] files...\n"
    "* Shows the cumulative number and sizes of your emails.\n"
    "* Understands Berkely Mail Format files. If you specify a directory\n"
    "  name, all files in that directory will be scanned. It will\n"
    "  silently skip over any file that's not in BMF.\n"
    "* By default it will add sent and received together, but you\n"
    "  can limit it to only sent or only received.\n"
    "* By default it will display progress messages; you can suppress\n"
    "  these with the -terse option.\n";

bool isScanfSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// Reads one integer the way scanf's "%i" does (blanks, sign, then decimal,
// octal after a leading 0, hexadecimal after 0x), from the front of `text`,
// and consumes it. Fails on no digits and on a value outside 32 bits, which
// scanf would not report but which no sensible range holds.
bool readInteger(std::string_view& text, int32_t* value) {
  size_t i = 0;
  while (i < text.size() && isScanfSpace(text[i]))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  bool sawDigit = false;
  if (i < text.size() && text[i] == '0') {
    base = 8;
    sawDigit = true;
    ++i;
    if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
      // glibc takes "0x" without hexadecimal digits as 0, so do we.
      base = 16;
      ++i;
    }
  }
  constexpr uint64_t kLimit = uint64_t{1} << 31;  // |INT32_MIN|
  uint64_t magnitude = 0;
  for (; i < text.size() && digitValue(text[i]) < base; ++i) {
    sawDigit = true;
    magnitude = magnitude * base + digitValue(text[i]);
    if (magnitude > kLimit) return false;
  }
  if (!sawDigit) return false;
  if (!negative && magnitude == kLimit) return false;
  *value = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude))
                    : static_cast<int32_t>(magnitude);
  text.remove_prefix(i);
  return true;
}

// Reads "-years=%i-%i". Anything after the second number is ignored.
bool readYears(std::string_view arg, RunOptions* options) {
  constexpr std::string_view kPrefix = "-years=";
  if (!arg.starts_with(kPrefix)) return false;
  arg.remove_prefix(kPrefix.size());
  int32_t first = 0;
  int32_t last = 0;
  if (!readInteger(arg, &first) || !arg.starts_with('-')) return false;
  arg.remove_prefix(1);
  if (!readInteger(arg, &last)) return false;
  int64_t count = int64_t{last} - first + 1;
  if (count < 0) return false;
  options->firstYear = first;
  options->yearCount = count;
  return true;
}

// Reads "-me=ADDRESS[,ADDRESS...]": every address non-empty and holding
// an "@".
bool readAddresses(std::string_view arg, RunOptions* options) {
  constexpr std::string_view kPrefix = "-me=";
  if (!arg.starts_with(kPrefix)) return false;
  arg.remove_prefix(kPrefix.size());
  std::vector<std::string> addresses;
  for (;;) {
    size_t comma = arg.find(',');
    std::string_view address = arg.substr(0, comma);
    if (address.find('@') == std::string_view::npos) return false;
    addresses.emplace_back(address);
    if (comma == std::string_view::npos) break;
    arg.remove_prefix(comma + 1);
  }
  options->me = std::move(addresses);
  return true;
}

// Reads "-jobs=N": N decimal, from 1 to kMaxJobs, and nothing after it.
bool readJobs(std::string_view arg, RunOptions* options) {
  constexpr std::string_view kPrefix = "-jobs=";
  constexpr int kMaxJobs = 256;
  if (!arg.starts_with(kPrefix)) return false;
  arg.remove_prefix(kPrefix.size());
  if (arg.empty() || arg.size() > 3) return false;
  int jobs = 0;
  for (char c : arg) {
    if (c < '0' || c > '9') return false;
    jobs = jobs * 10 + (c - '0');
  }
  if (jobs < 1 || jobs > kMaxJobs) return false;
  options->jobs = jobs;
  return true;
}

// The options added after the first six; none of them begins with the name
// of one of those, so the six keep matching as they always did.
bool applyReadingOption(std::string_view arg, RunOptions* options) {
  if (arg.starts_with("-unpack")) {
    options->unpack = true;
  } else if (arg.starts_with("-maildir")) {
    options->maildir = true;
  } else if (arg.starts_with("-lists")) {
    options->lists = true;
  } else if (arg.starts_with("-summary")) {
    options->summary = true;
  } else if (arg.starts_with("-me")) {
    return readAddresses(arg, options);
  } else if (arg.starts_with("-noprogress")) {
    options->progress = false;
  } else if (arg.starts_with("-unique")) {
    options->unique = true;
  } else if (arg.starts_with("-exclude=")) {
    // Given again, it adds a name; an empty one would leave out nothing.
    arg.remove_prefix(std::string_view("-exclude=").size());
    if (arg.empty()) return false;
    options->exclude.emplace_back(arg);
  } else if (arg.starts_with("-jobs")) {
    return readJobs(arg, options);
  } else {
    return false;
  }
  return true;
}

// Applies one option argument; false when it is not acceptable.
bool applyOption(std::string_view arg, RunOptions* options) {
  // Prefix matching, in this order: "-allx" is "-all", "-sentinel" is "-sent".
  if (arg.starts_with("-years")) return readYears(arg, options);
  if (arg.starts_with("-all")) {
    options->direction = Direction::all;
  } else if (arg.starts_with("-sent")) {
    options->direction = Direction::sentOnly;
  } else if (arg.starts_with("-rcvd")) {
    options->direction = Direction::receivedOnly;
  } else if (arg.starts_with("-terse")) {
    options->terse = true;
  } else if (arg.starts_with("-verbose")) {
    options->terse = false;
  } else {
    return applyReadingOption(arg, options);
  }
  return true;
}

bool isVersionOption(std::string_view arg) {
  return arg.starts_with("-version") || arg.starts_with("--version");
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
  CommandLine result;
  int i = 1;
  for (; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (!arg.starts_with('-')) break;
    if (isVersionOption(arg)) {
      result.usage = false;
      result.version = true;
      return result;
    }
    if (!applyOption(arg, &result.options)) return result;
  }
  if (i >= argc) return result;
  result.usage = false;
  result.firstPath = i;
  return result;
}

void printUsage(Output& output) {
  output.progress({kUsage});
}
