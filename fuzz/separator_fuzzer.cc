// Runs the separator test on arbitrary text, and checks that it judges only
// the text before the first NUL, CR or LF.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "mailbox/separator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  std::string_view line(reinterpret_cast<const char*>(bytes), size);
  bool separator = isMessageSeparator(line);
  size_t stop = line.find_first_of(std::string_view("\0\r\n", 3));
  if (stop != std::string_view::npos && isMessageSeparator(line.substr(0, stop)) != separator) {
    std::abort();
  }
  return 0;
}
