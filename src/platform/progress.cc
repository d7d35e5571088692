#include "platform/progress.h"

#include <cstdio>
#include <vector>

namespace {

// One thing the terminal shows of a name: a printable character, or the
// escape that stands for a byte it must not get. A cut falls between cells.
struct Cell {
  std::string text;
  size_t columns = 0;
};

// The length of the UTF-8 sequence that starts at `text[i]`, or 0 when the
// bytes there are no well-formed sequence of two to four bytes (overlong
// forms, surrogates and code points beyond U+10FFFF included).
size_t utf8Length(std::string_view text, size_t i) {
  auto at = [&text](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = at(i);
  size_t length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc2 ? 2 : 0;
  if (length == 0 || lead > 0xf4 || i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k)
    if ((at(i + k) & 0xc0) != 0x80) return 0;
  unsigned char second = at(i + 1);
  if (lead == 0xe0 && second < 0xa0) return 0;  // overlong
  if (lead == 0xed && second > 0x9f) return 0;  // surrogate
  if (lead == 0xf0 && second < 0x90) return 0;  // overlong
  if (lead == 0xf4 && second > 0x8f) return 0;  // beyond U+10FFFF
  // U+0080 to U+009F are the C1 controls: a terminal may act on them.
  if (lead == 0xc2 && second < 0xa0) return 0;
  return length;
}

Cell escapedByte(unsigned char byte) {
  char text[8];
  std::snprintf(text, sizeof text, "\\x%02x", byte);
  return {text, 4};
}

// A name as cells: control characters (and bytes that are no part of a
// well-formed UTF-8 character, which a terminal may take for controls too)
// become \xHH. A character beyond ASCII counts two columns: a wide one
// takes two, and a line counted short would wrap.
std::vector<Cell> nameCells(std::string_view name) {
  std::vector<Cell> cells;
  for (size_t i = 0; i < name.size();) {
    auto byte = static_cast<unsigned char>(name[i]);
    if (byte >= 0x20 && byte < 0x7f) {
      cells.push_back({std::string(1, name[i]), 1});
      ++i;
    } else if (size_t length = byte >= 0x80 ? utf8Length(name, i) : 0; length != 0) {
      cells.push_back({std::string(name.substr(i, length)), 2});
      i += length;
    } else {
      cells.push_back(escapedByte(byte));
      ++i;
    }
  }
  return cells;
}

// The name fitted into `budget` columns: whole, or "..." and as much of its
// end as fits; empty when not even that would be worth showing.
Cell fittedName(std::string_view name, size_t budget) {
  std::vector<Cell> cells = nameCells(name);
  size_t total = 0;
  for (const Cell& cell : cells)
    total += cell.columns;
  constexpr std::string_view kCut = "...";
  constexpr size_t kShortest = kCut.size() + 4;
  if (total <= budget) {
    Cell whole;
    for (const Cell& cell : cells)
      whole.text += cell.text;
    whole.columns = total;
    return whole;
  }
  if (budget < kShortest) return {};
  size_t first = cells.size();
  size_t columns = kCut.size();
  while (first > 0 && columns + cells[first - 1].columns <= budget)
    columns += cells[--first].columns;
  Cell tail{std::string(kCut), columns};
  for (size_t i = first; i < cells.size(); ++i)
    tail.text += cells[i].text;
  return tail;
}

std::string counted(uint64_t n, std::string_view one, std::string_view many) {
  std::string text = groupedDigits(n);
  text += ' ';
  text += n == 1 ? one : many;
  return text;
}

// The counts part of the line, all ASCII: one byte a column.
std::string countsText(const ProgressCounts& counts, std::optional<uint64_t> totalBytes,
                       int64_t elapsed) {
  std::string text = formatByteCount(counts.bytesRead);
  if (totalBytes && *totalBytes != 0) {
    // A file that grew while it was read may give more than its size.
    uint64_t percent = counts.bytesRead >= *totalBytes
                           ? 100
                           : static_cast<uint64_t>(static_cast<double>(counts.bytesRead) * 100.0 /
                                                   static_cast<double>(*totalBytes));
    text += " of " + formatByteCount(*totalBytes) + " (" + std::to_string(percent) + "%)";
  }
  text += "  " + counted(counts.files, "file", "files");
  text += "  " + counted(counts.messages, "message", "messages");
  if (elapsed > 0) {
    double perSecond = static_cast<double>(counts.bytesRead) * 1e9 / static_cast<double>(elapsed);
    text += "  " + formatByteCount(static_cast<uint64_t>(perSecond)) + "/s";
  }
  return text;
}

}  // namespace

ProgressPacer startProgress(int64_t start) {
  return {start + kProgressDelay};
}

bool progressDue(ProgressPacer& pacer, int64_t now) {
  if (now < pacer.nextDraw) return false;
  pacer.nextDraw = now + kProgressInterval;
  return true;
}

std::string formatByteCount(uint64_t bytes) {
  if (bytes < 1000) return std::to_string(bytes) + " B";
  constexpr const char* kUnits[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
  double value = static_cast<double>(bytes);
  const char* unit = kUnits[0];
  for (const char* next : kUnits) {
    value /= 1000.0;
    unit = next;
    // Rounded to three digits, 999.7 would read "1000": the next unit then.
    if (value < 999.5) break;
  }
  const char* format = value < 9.995 ? "%.2f %s" : value < 99.95 ? "%.1f %s" : "%.0f %s";
  char text[32];
  std::snprintf(text, sizeof text, format, value, unit);
  return text;
}

ProgressLine formatProgressLine(const ProgressCounts& counts, std::optional<uint64_t> totalBytes,
                                int64_t elapsed, std::string_view name, size_t columns) {
  // The last column stays free: writing into it wraps on some terminals.
  size_t room = columns > 0 ? columns - 1 : 0;
  ProgressLine line{countsText(counts, totalBytes, elapsed), 0};
  if (line.text.size() >= room) {
    line.text.resize(room);
    line.columns = room;
    return line;
  }
  constexpr std::string_view kGap = "  ";
  line.columns = line.text.size();
  if (name.empty() || line.columns + kGap.size() >= room) return line;
  Cell shown = fittedName(name, room - line.columns - kGap.size());
  if (shown.columns == 0) return line;
  line.text += kGap;
  line.text += shown.text;
  line.columns += kGap.size() + shown.columns;
  return line;
}

std::string groupedDigits(uint64_t n) {
  std::string digits = std::to_string(n);
  std::string text;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}
