#include "date/date.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "common/ascii.h"
#include "date/date_internal.h"

#if defined(__x86_64__) && defined(__SSE2__) && defined(__GNUC__)
#define VARNAK_DATE_SSE2 1
#include <emmintrin.h>
#endif

namespace {

// Largest value a numeric field takes; longer digit runs saturate here.
constexpr int32_t kFieldMax = INT32_MAX;

// What one byte of a date text is to the tokenizer. The two that end a
// token come last, so that the fixed widths test for both at once.
enum CharClass : uint8_t {
  kOther,  // any other byte: part of a token, and makes it not numeric
  kDigit,
  kColon,
  kSlash,
  kBlank,  // space, LF, CR, TAB: end a token and are skipped after it
  kComma,  // ends a token; one comma is stepped over after it
};

constexpr CharClass classify(int c) {
  if (c >= '0' && c <= '9') return kDigit;
  switch (c) {
    case ':':
      return kColon;
    case '/':
      return kSlash;
    case ' ':
    case '\n':
    case '\r':
    case '\t':
      return kBlank;
    case ',':
      return kComma;
    default:
      return kOther;
  }
}

constexpr auto kCharClasses = [] {
  struct Table {
    CharClass of[256] = {};
  } table;
  for (int c = 0; c < 256; ++c)
    table.of[c] = classify(c);
  return table;
}();

CharClass classOf(char c) {
  return kCharClasses.of[static_cast<unsigned char>(c)];
}

// Three letters packed into one integer, the first in the low byte.
constexpr uint32_t packName(char a, char b, char c) {
  return static_cast<uint32_t>(static_cast<unsigned char>(a)) |
         static_cast<uint32_t>(static_cast<unsigned char>(b)) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(c)) << 16;
}

constexpr uint32_t packName(const char (&name)[4]) {
  return packName(name[0], name[1], name[2]);
}

// The names are looked up as four bytes, the name's and a space after it:
// the fixed-width reading loads the four in one read, and so tests the
// space after a month name in the same comparison.
constexpr uint32_t kSpaceAfter = uint32_t{' '} << 24;

// The 0x20 bit of each letter's byte: a name (all lower-case letters)
// equals a key with it set only where the key's letters are that name in
// either case.
constexpr uint32_t kLowerCaseBits = 0x202020;

// A three-letter token as the table's key.
uint32_t packToken(const char* token) {
  return packName(token[0], token[1], token[2]) | kLowerCaseBits | kSpaceAfter;
}

// The three letters at `p` and the byte after them as a key: the name's
// key where that byte is a space.
inline uint32_t nameKeyAt(const char* p) {
  if constexpr (std::endian::native == std::endian::little) {
    uint32_t word = 0;
    std::memcpy(&word, p, 4);
    return word | kLowerCaseBits;
  } else {
    return packName(p[0], p[1], p[2]) |
           static_cast<uint32_t>(static_cast<unsigned char>(p[3])) << 24 | kLowerCaseBits;
  }
}

struct ShortMonthName {
  uint32_t name;  // packed
  int month;      // 1 = January
};

// Three-letter month names, English then the further Italian forms; tried
// in this order, the first equal name wins.
constexpr ShortMonthName kShortMonthNames[] = {
    {packName("jan"), 1}, {packName("feb"), 2},  {packName("mar"), 3},  {packName("apr"), 4},
    {packName("may"), 5}, {packName("jun"), 6},  {packName("jul"), 7},  {packName("aug"), 8},
    {packName("sep"), 9}, {packName("oct"), 10}, {packName("nov"), 11}, {packName("dec"), 12},
    {packName("gen"), 1}, {packName("mai"), 5},  {packName("giu"), 6},  {packName("lug"), 7},
    {packName("set"), 9}, {packName("ott"), 10}, {packName("dic"), 12},
};

// English then Italian weekday names, packed. They carry no value; in
// strict mode they are the three-letter words that are passed over. "mar"
// is always March, since the month names are tried first.
constexpr uint32_t kWeekdayNames[] = {
    packName("mon"), packName("tue"), packName("wed"), packName("thu"), packName("fri"),
    packName("sat"), packName("sun"), packName("lun"), packName("mar"), packName("mer"),
    packName("gio"), packName("ven"), packName("sab"), packName("dom"),
};

struct FullMonthName {
  std::string_view name;
  int month;  // 1 = January
};

// Full English month names, by length from 4 to 9, in the order tried
// within a length. May has none: its full name is a three-letter one.
constexpr FullMonthName kFullMonthNames[] = {
    {"july", 7},      {"june", 6},      {"march", 3},     {"april", 4},
    {"august", 8},    {"january", 1},   {"october", 10},  {"february", 2},
    {"november", 11}, {"december", 12}, {"september", 9},
};

// What a three-letter word is: a month, a weekday, or (all zero) neither.
struct ShortName {
  uint32_t name = 0;  // packed, with kSpaceAfter (and kWeekdayOnly, below)
  uint8_t month = 0;  // 1 = January
  bool weekday = false;
};

// In the table, the name of a weekday that is no month's carries this bit
// (the space after a name leaves it free): the fixed widths then tell a
// weekday from a month in the one comparison of the name.
constexpr uint32_t kWeekdayOnly = 0x80u << 24;

// The three-letter names in a table of 128 slots, each name in the slot its
// multiplicative hash picks, so that a word is looked up with one
// comparison instead of a walk through both lists: a date is read once per
// message, and twice for most. The multiplier is the first, from an
// arbitrary odd start, that gives every name a slot of its own; "mar" is
// March and a weekday in one slot.
constexpr int kNameSlotBits = 7;

constexpr uint32_t nameSlot(uint32_t name, uint32_t multiplier) {
  return (name * multiplier) >> (32 - kNameSlotBits);
}

struct ShortNameTable {
  uint32_t multiplier = 0;
  ShortName slot[1 << kNameSlotBits] = {};
};

constexpr ShortNameTable buildShortNameTable() {
  for (uint32_t multiplier = 0x9e3779b1u;; multiplier += 2) {
    ShortNameTable table;
    table.multiplier = multiplier;
    bool clash = false;
    auto place = [&](uint32_t name) -> ShortName* {
      ShortName& entry = table.slot[nameSlot(name, multiplier)];
      if (entry.name != 0 && entry.name != name) {
        clash = true;
        return nullptr;
      }
      entry.name = name;
      return &entry;
    };
    // Months first: a name in both lists keeps the first month it has.
    for (const ShortMonthName& month : kShortMonthNames) {
      ShortName* entry = place(month.name | kSpaceAfter);
      if (entry != nullptr && entry->month == 0) entry->month = static_cast<uint8_t>(month.month);
    }
    for (uint32_t weekday : kWeekdayNames) {
      if (ShortName* entry = place(weekday | kSpaceAfter)) entry->weekday = true;
    }
    for (ShortName& entry : table.slot) {
      if (entry.weekday && entry.month == 0) entry.name |= kWeekdayOnly;
    }
    if (!clash) return table;
  }
}

constexpr ShortNameTable kShortNames = buildShortNameTable();

// What the three-letter `token` is, letters compared without case. Forced
// inline: the release build's link-time inliner works at its limit of
// growth for the whole program, and without the attribute whether this
// lookup of every date's names is inlined changed with code elsewhere (out
// of line, it cost the date-heavy benchmark mailbox 2% more instructions).
[[gnu::always_inline]] inline ShortName shortName(const char* token) {
  const uint32_t key = packToken(token);
  const ShortName& entry = kShortNames.slot[nameSlot(key, kShortNames.multiplier)];
  return (entry.name & ~kWeekdayOnly) == key ? entry : ShortName{};
}

// The slot a key's name is in, if it is in the table.
inline const ShortName& slotOf(uint32_t key) {
  return kShortNames.slot[nameSlot(key, kShortNames.multiplier)];
}

// Month 1 to 12 of a three-letter token, or 0.
int shortMonth(const char* token) {
  return shortName(token).month;
}

bool isWeekday(const char* token) {
  return shortName(token).weekday;
}

// Month 1 to 12 of a token of `length` 4 to 9, or 0.
int fullMonth(const char* token, size_t length) {
  for (const FullMonthName& entry : kFullMonthNames) {
    if (entry.name.size() == length && compareNoCase(token, entry.name.data(), length) == 0) {
      return entry.month;
    }
  }
  return 0;
}

// A time zone that strict mode passes over: "+hhmm", "-hhmm" or "(ABC)".
bool isZone(const char* token, size_t length) {
  if (length != 5) return false;
  if (token[0] == '+' || token[0] == '-') {
    return isDigit(token[1]) && isDigit(token[2]) && isDigit(token[3]) && isDigit(token[4]);
  }
  return token[0] == '(' && isUpper(token[1]) && isUpper(token[2]) && isUpper(token[3]) &&
         token[4] == ')';
}

// Completes a year below 1000. Two-digit years fall in the hundred years
// from currentYear - 49 to currentYear + 50; three-digit years count from
// the century before currentYear's, as years since 1900 do today (102 is
// 2002). Placing two-digit years in the window, rather than only ever
// stepping back a century from currentYear's, keeps a year such as 60 in
// 2060 and not in 1960 once currentYear is past the middle of its century.
int completeYear(int year, int32_t currentYear) {
  if (year >= 1000) return year;
  const int64_t current = currentYear;
  int64_t full = current - current % 100 + year;
  if (year >= 100) {
    full -= 100;
  } else if (full > current + 50) {
    full -= 100;
  } else if (full < current - 49) {
    full += 100;
  }
  if (full > INT32_MAX) return INT32_MAX;
  if (full < INT32_MIN) return INT32_MIN;
  return static_cast<int>(full);
}

// The fields of a date as the text gives them: the year not yet completed,
// January being month 1.
struct DateFields {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// The readings go through the text with a Cursor. Each matcher below takes
// one token of an exact shape and says whether it was there. They are
// declared inline, as member functions written in their class are: the
// release build's link-time inliner is at its growth limit for the whole
// program, and leaves out of line the larger ones not so declared.

inline bool atDigit(const Cursor& at) {
  return isDigit(at.peek());
}

inline void skipSpaces(Cursor& at) {
  while (!at.done() && *at.p == ' ')
    ++at.p;
}

// One to `most` digits and no more.
inline bool number(Cursor& at, int most, int* value) {
  int n = 0, read = 0;
  for (; read < most && atDigit(at); ++read, ++at.p)
    n = n * 10 + (*at.p - '0');
  *value = n;
  return read > 0 && !atDigit(at);
}

// The end of the last token read: the end of the text, a blank or a comma.
inline bool tokenEnds(const Cursor& at) {
  return at.done() || classOf(*at.p) == kBlank || classOf(*at.p) == kComma;
}

// Three ASCII letters, not followed by another byte of the token.
inline bool name(Cursor& at, const char** token) {
  if (at.end - at.p < 3) return false;
  for (int i = 0; i < 3; ++i) {
    const char c = foldCase(at.p[i]);
    if (c < 'a' || c > 'z') return false;
  }
  *token = at.p;
  at.p += 3;
  return tokenEnds(at);
}

// One space or more: the only blank between the tokens of a usual date.
inline bool spaces(Cursor& at) {
  if (at.peek() != ' ') return false;
  skipSpaces(at);
  return true;
}

// "hh:mm" or "hh:mm:ss", one or two digits each.
inline bool time(Cursor& at, DateFields* fields) {
  if (!number(at, 2, &fields->hour) || at.peek() != ':') return false;
  ++at.p;
  if (!number(at, 2, &fields->minute)) return false;
  if (at.peek() == ':') {
    ++at.p;
    if (!number(at, 2, &fields->second)) return false;
  }
  return true;
}

// Nothing but spaces left.
inline bool onlySpacesLeft(Cursor& at) {
  skipSpaces(at);
  return at.done();
}

// The fixed-width reading tests 16 bytes of a layout at once against a
// window of it, written as the layout's text: '0' stands for a digit, 'x'
// for a byte read elsewhere (a name, looked up in the table), and every
// other byte for itself. Each byte of the text is xor'ed with the window's
// ('0' makes a digit its value) and must then be at most 9 where a digit
// stands and 0 where a byte stands for itself. Adding 0x7f less that bound,
// short of 0x100, sets a byte's top bit exactly where the byte is above it:
// one vector add and one byte mask for all 16.
struct Window {
  alignas(16) unsigned char xorWith[16];
  alignas(16) unsigned char add[16];  // 0x7f less the bound; 0 where not tested
  uint32_t tested;                    // a bit a byte tested, the first lowest
};

constexpr Window makeWindow(const char (&layout)[17]) {
  Window window{};
  for (int i = 0; i < 16; ++i) {
    const char c = layout[i];
    if (c == 'x') continue;
    window.xorWith[i] = static_cast<unsigned char>(c);
    window.add[i] = c == '0' ? 0x7f - 9 : 0x7f;
    window.tested |= 1u << i;
  }
  return window;
}

// Whether the 16 bytes at `p` fit `window`. Forced inline for the reason
// shortName is; in SSE2 the test is a handful of instructions, and the
// plain loop says the same on any processor.
[[gnu::always_inline]] inline bool fitsWindow(const char* p, const Window& window) {
#if VARNAK_DATE_SSE2
  const auto vector = [](const unsigned char* at) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(at));
  };
  const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i sum =
      _mm_adds_epu8(_mm_xor_si128(text, vector(window.xorWith)), vector(window.add));
  return (static_cast<uint32_t>(_mm_movemask_epi8(sum)) & window.tested) == 0;
#else
  uint32_t over = 0;
  for (int i = 0; i < 16; ++i) {
    const unsigned sum = (static_cast<unsigned char>(p[i]) ^ window.xorWith[i]) + window.add[i];
    over |= (sum >= 0x80 ? 1u : 0u) << i;
  }
  return (over & window.tested) == 0;
#endif
}

// The `n` (at most 8) bytes at `p` in one word, the first lowest.
template <size_t n>
uint64_t wordAt(const char* p) {
  uint64_t word = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&word, p, n);
  } else {
    for (size_t i = 0; i < n; ++i)
      word |= uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
  }
  return word;
}

// The digits of the layout `layout` (digits written '0') at `p`, where the
// text is known to fit it: a byte a digit's value, 0 for any other byte.
template <size_t n>
uint64_t digitsAt(const char* p, const char (&layout)[n]) {
  return wordAt<n - 1>(p) ^ wordAt<n - 1>(layout);
}

// Each byte (0 to 9) taken with the next as a two-digit number, in one
// multiply for all: byte i of the result is 10 times byte i plus byte
// i + 1, which never carries into the byte above.
uint64_t digitPairs(uint64_t digits) {
  return digits * 10 + (digits >> 8);
}

int byteAt(uint64_t word, int i) {
  return static_cast<int>(word >> (8 * i) & 0xff);
}

// The number the four digits (0 to 9) of the lowest four bytes make. Their
// two pairs, in the bytes 0 and 2, are multiplied into one in bits 16 to 31:
// 100 times the first plus the second, at most 9999, which carries nowhere.
int fourDigits(uint64_t digits) {
  const auto pairs = static_cast<uint32_t>(digitPairs(digits)) & 0x00ff00ffu;
  return static_cast<int>((pairs * (100u << 16 | 1u)) >> 16);
}

// The entry of the month whose name and a space are at `p`, or null: the
// key of a name equals the entry of a month's only.
[[gnu::always_inline]] inline const ShortName* monthAt(const char* p) {
  const uint32_t key = nameKeyAt(p);
  const ShortName& entry = slotOf(key);
  return entry.name == key ? &entry : nullptr;
}

// Whether the three letters at `p` are a weekday's name and not a month's
// ("mar" is both).
[[gnu::always_inline]] inline bool weekdayAt(const char* p) {
  const uint32_t key = (nameKeyAt(p) & ~0xff000000u) | kSpaceAfter;
  return slotOf(key).name == (key | kWeekdayOnly);
}

// The windows of the usual layouts. A header date is read in two, the
// first ending at the space after the year (at the text's first byte for a
// day of one digit, its second for two), the second from the month's
// second letter to the seconds; a separator date in one, from the day (or
// the space before a day of one digit) to the year.
constexpr Window kHeaderFrontOneDigit = makeWindow("xxx, 0 xxx 0000 ");
constexpr Window kHeaderFrontTwoDigits = makeWindow("xx, 00 xxx 0000 ");
constexpr Window kHeaderBack = makeWindow("xx 0000 00:00:00");
constexpr Window kSeparatorOneDigit = makeWindow(" 0 00:00:00 0000");
constexpr Window kSeparatorTwoDigits = makeWindow("00 00:00:00 0000");

// The day of `digits` digits at `p`.
template <size_t digits>
int dayAt(const char* p) {
  const int first = p[0] - '0';
  return digits == 1 ? first : first * 10 + (p[1] - '0');
}

// The fields of a date the fixed widths have read, its time and year
// where they stand in the text.
[[gnu::always_inline]] inline DateFields fixedFields(const char* time, const char* year, int day,
                                                     int month) {
  DateFields fields;
  const uint64_t timePairs = digitPairs(digitsAt(time, "00:00:00"));
  fields.hour = byteAt(timePairs, 0);
  fields.minute = byteAt(timePairs, 3);
  fields.second = byteAt(timePairs, 6);
  fields.year = fourDigits(digitsAt(year, "0000"));
  fields.day = day;
  fields.month = month;
  return fields;
}

// What every layout ends with: a day of 1 to 31, and after the date's
// `length` bytes a token end in lenient mode, only spaces in strict.
// Forced inline for the reason shortName is: it ends every date the fixed
// widths take.
[[gnu::always_inline]] inline bool fixedEnd(std::string_view text, size_t length, bool strict,
                                            int day) {
  if (day < 1 || day > 31) return false;
  if (!strict) {
    // Blanks and the comma are the classes from kBlank on.
    return length == text.size() || classOf(text[length]) >= kBlank;
  }
  while (length < text.size() && text[length] == ' ')
    ++length;
  return length == text.size();
}

// "Mon, 7 Jan 2002 10:12:01" with the weekday read and a day of `digits`
// digits. Each layout and width has its own copy, so that its windows and
// fields are read at fixed places.
template <size_t digits>
[[gnu::always_inline]] inline bool fixedHeader(std::string_view text, bool strict,
                                               DateFields* fields) {
  const char* const p = text.data();
  const Window& front = digits == 1 ? kHeaderFrontOneDigit : kHeaderFrontTwoDigits;
  if (text.size() < 23 + digits || !fitsWindow(p + digits - 1, front)) return false;
  const ShortName* month = monthAt(p + 6 + digits);
  const int day = dayAt<digits>(p + 5);
  if (month == nullptr || !fitsWindow(p + 7 + digits, kHeaderBack) ||
      !fixedEnd(text, 23 + digits, strict, day)) {
    return false;
  }
  if (fields != nullptr) {
    *fields = fixedFields(p + 15 + digits, p + 10 + digits, day, month->month);
  }
  return true;
}

// "Mon Jan  7 10:12:01 2002" with the weekday and month read, and the day
// at `day` with `digits` digits.
template <size_t day, size_t digits>
[[gnu::always_inline]] inline bool fixedSeparatorAt(std::string_view text, bool strict,
                                                    const ShortName& month, DateFields* fields) {
  const char* const p = text.data();
  constexpr size_t dayEnd = day + digits;
  const Window& window = digits == 1 ? kSeparatorOneDigit : kSeparatorTwoDigits;
  if (text.size() < dayEnd + 14 || !fitsWindow(p + dayEnd - 2, window)) return false;
  const int value = dayAt<digits>(p + day);
  if (!fixedEnd(text, dayEnd + 14, strict, value)) return false;
  if (fields != nullptr) *fields = fixedFields(p + dayEnd + 1, p + dayEnd + 10, value, month.month);
  return true;
}

// "Mon Jan  7 10:12:01 2002" with the weekday read: one space or two before
// the day, a day of one digit or two.
[[gnu::always_inline]] inline bool fixedSeparator(std::string_view text, bool strict,
                                                  DateFields* fields) {
  const char* const p = text.data();
  const ShortName* month = monthAt(p + 4);
  if (month == nullptr) return false;
  if (p[8] == ' ') {
    return p[10] == ' ' ? fixedSeparatorAt<9, 1>(text, strict, *month, fields)
                        : fixedSeparatorAt<9, 2>(text, strict, *month, fields);
  }
  return p[9] == ' ' ? fixedSeparatorAt<8, 1>(text, strict, *month, fields)
                     : fixedSeparatorAt<8, 2>(text, strict, *month, fields);
}

// The usual layouts as they are nearly always written, read by position:
//   "Mon, 7 Jan 2002 10:12:01" and "Mon Jan  7 10:12:01 2002"
// with a weekday, single spaces (two before a one-digit day on separator
// lines), a day of one or two digits, a four-digit year and seconds. What
// this takes, the token reading of the usual layouts takes alike; anything
// else is left to it. The fields are taken out of the text only where
// they are wanted (`fields` not null), and only once the whole date is
// known to be there: a separator line's date is only checked, and where
// this fails, the token reading finds the fields it does not read (the
// seconds) as they were.
[[gnu::always_inline]] inline bool readFixedWidths(std::string_view text, bool strict,
                                                   DateFields* fields) {
  const char* const p = text.data();
  // The shortest is "Mon Jan 7 10:12:01 2002"; the layouts read no further
  // than the length they have checked.
  if (text.size() < 23 || !weekdayAt(p)) return false;
  if (p[3] == ',') {
    return p[6] == ' ' ? fixedHeader<1>(text, strict, fields)
                       : fixedHeader<2>(text, strict, fields);
  }
  return p[3] == ' ' && fixedSeparator(text, strict, fields);
}

// Reads the two layouts nearly every date is written in, and nothing else:
//   header:    [Mon[,] ]7 Jan 2002 10:12:01[ anything]
//   separator: [Mon ]Jan  7 10:12:01 [+0100 ]2002
// with single spaces or runs of them between the tokens, a day of one or
// two digits and a year of one to four. These are the fields the token
// reading below finds in such a text, and the same verdict, in a fraction
// of its time: the general reading classifies every byte and tries the
// name tables for every word. Whenever the text differs from these forms
// in any way, even one the general reading would accept (a tab, a comma
// elsewhere, a weekday that is a month name, more digits, day 0), this
// returns false and the general reading decides.
bool readUsualTokens(std::string_view text, bool strict, DateFields* fields) {
  Cursor at{text.data(), text.data() + text.size()};
  skipSpaces(at);
  const char* token = nullptr;
  int month = 0;
  if (!atDigit(at)) {
    if (!name(at, &token)) return false;
    month = shortMonth(token);
    if (month == 0) {
      // A weekday. Strict mode refuses other words here; the general
      // reading says so.
      if (strict && !isWeekday(token)) return false;
      if (at.peek() == ',') ++at.p;
      skipSpaces(at);
    } else if (!spaces(at)) {
      return false;
    }
  }

  if (month == 0 && atDigit(at)) {
    // Header layout: day, month name, year, time.
    if (!number(at, 2, &fields->day) || !spaces(at)) return false;
    if (!name(at, &token) || (month = shortMonth(token)) == 0 || !spaces(at)) return false;
    if (!number(at, 4, &fields->year) || !spaces(at)) return false;
    if (!time(at, fields) || !tokenEnds(at)) return false;
  } else {
    // Separator layout: month name, day, time, a zone perhaps, year.
    if (month == 0) {
      if (!name(at, &token) || (month = shortMonth(token)) == 0 || !spaces(at)) return false;
    }
    if (!number(at, 2, &fields->day) || !spaces(at)) return false;
    if (!time(at, fields) || !spaces(at)) return false;
    if (!atDigit(at)) {
      const char* const zone = at.p;
      while (!at.done() && *at.p != ' ')
        ++at.p;
      if (!isZone(zone, static_cast<size_t>(at.p - zone)) || !spaces(at)) return false;
    }
    if (!number(at, 4, &fields->year) || !tokenEnds(at)) return false;
  }
  // All four fields are in: lenient mode reads no further, strict mode
  // allows only spaces after them.
  if (strict && !onlySpacesLeft(at)) return false;
  if (fields->day < 1 || fields->day > 31) return false;
  fields->month = month;
  return true;
}

// The shortcut: the fixed widths first, then the usual layouts token by
// token.
bool readUsualLayout(std::string_view text, bool strict, DateFields* fields) {
  return readFixedWidths(text, strict, fields) || readUsualTokens(text, strict, fields);
}

// Where the digits of a token of the general reading go: the first field,
// the fields after the first and second colon, and the fields after the
// first and second slash.
enum Slot { kFirst, kAfterColon1, kAfterColon2, kAfterSlash1, kAfterSlash2, kIgnored };

// The value of each slot's digits in one token.
using SlotValues = int32_t[kIgnored + 1];

// The shape of one token; its digits are in the token's SlotValues.
struct Token {
  const char* text;
  size_t length;
  bool numeric;  // digits, colons and slashes only
  int colons, slashes;
};

// One token, read in a single pass, and the comma and blanks after it
// stepped over. The digits of each field go to the field's slot as they
// come. Digits stop at any other character, and a field's value is its
// leading digits, so filling slot by slot gives every field its value.
// The slots, indexed as the bytes come, are an array of their own: in the
// token's record they would keep its other members out of registers.
inline Token readToken(Cursor& at, SlotValues& field) {
  const char* const text = at.p;
  int slot = kFirst, colons = 0, slashes = 0;
  bool numeric = true;
  for (; !at.done(); ++at.p) {
    const CharClass c = classOf(*at.p);
    if (c == kDigit) {
      const int32_t digit = *at.p - '0';
      int32_t& value = field[slot];
      value = value > (kFieldMax - digit) / 10 ? kFieldMax : value * 10 + digit;
    } else if (c == kColon) {
      ++colons;
      slot = colons == 1 ? kAfterColon1 : colons == 2 ? kAfterColon2 : kIgnored;
    } else if (c == kSlash) {
      ++slashes;
      slot = slashes == 1 ? kAfterSlash1 : slashes == 2 ? kAfterSlash2 : kIgnored;
    } else if (c == kOther) {
      numeric = false;
    } else {
      break;
    }
  }
  const Token token{text, static_cast<size_t>(at.p - text), numeric, colons, slashes};
  if (!at.done() && *at.p == ',') ++at.p;
  while (!at.done() && classOf(*at.p) == kBlank)
    ++at.p;
  return token;
}

// The fields the general reading has found so far.
struct FoundFields {
  DateFields date;  // the time stays 0 without one
  bool timeSeen = false, daySeen = false, monthSeen = false, yearSeen = false;

  bool dateSeen() const { return daySeen && monthSeen && yearSeen; }
  bool allSeen() const { return timeSeen && dateSeen(); }
};

// A token of digits: a time with colons, a month/day/year with two
// slashes, or a plain number, the day first and then the year.
inline void takeNumbers(const Token& token, const SlotValues& field, FoundFields* found) {
  if (token.colons > 0) {
    found->date.hour = field[kFirst];
    found->date.minute = field[kAfterColon1];
    found->date.second = token.colons == 2 ? field[kAfterColon2] : 0;
    found->timeSeen = true;
  } else if (token.slashes == 2) {
    found->date.month = field[kFirst];
    found->date.day = field[kAfterSlash1];
    found->date.year = field[kAfterSlash2];
    found->daySeen = found->monthSeen = found->yearSeen = true;
  } else if (token.slashes == 0) {
    if (!found->daySeen) {
      found->date.day = field[kFirst];
      found->daySeen = true;
    } else {
      found->date.year = field[kFirst];
      found->yearSeen = true;
    }
  }
}

// What `token` gives to the fields; false where strict mode refuses the
// word: one of 3 to 9 bytes that is no month or weekday name or zone.
inline bool takeToken(const Token& token, const SlotValues& field, bool strict,
                      FoundFields* found) {
  if (token.numeric) {
    takeNumbers(token, field, found);
  } else if (token.length == 3) {
    if (int named = shortMonth(token.text)) {
      found->date.month = named;
      found->monthSeen = true;
    } else if (strict && !isWeekday(token.text)) {
      return false;
    }
  } else if (token.length >= 4 && token.length <= 9) {
    if (int named = fullMonth(token.text, token.length)) {
      found->date.month = named;
      found->monthSeen = true;
    } else if (strict && !isZone(token.text, token.length)) {
      return false;
    }
  }
  return true;
}

// Reads a date in any layout either mode allows, a token at a time.
bool readAnyLayout(std::string_view text, bool strict, DateFields* fields) {
  Cursor at{text.data(), text.data() + text.size()};
  FoundFields found;
  skipSpaces(at);
  while (!at.done() && !found.allSeen()) {
    SlotValues field = {};
    const Token token = readToken(at, field);
    if (!takeToken(token, field, strict, &found)) return false;
  }
  if (strict && (!found.allSeen() || !onlySpacesLeft(at))) return false;
  if (!found.dateSeen()) return false;
  const DateFields& date = found.date;
  if (date.month < 1 || date.month > 12 || date.day < 1 || date.day > 31) return false;
  *fields = date;
  return true;
}

void store(const DateFields& fields, int32_t currentYear, MessageDate* result) {
  if (result == nullptr) return;
  // In this order the compiler writes each field on its own: written one
  // after the other, the four from the second to the day went through a
  // vector register, built a field at a time, at twice the instructions.
  result->second = fields.second;
  result->minute = fields.minute;
  result->hour = fields.hour;
  result->year = completeYear(fields.year, currentYear);
  result->day = fields.day;
  result->month = fields.month - 1;
}

// A reading, and the date it gives stored as parseDate stores it.
template <bool (*read)(std::string_view, bool, DateFields*)>
inline bool parseWith(std::string_view text, MessageDate* result, bool strict,
                      int32_t currentYear) {
  DateFields fields;
  if (!read(text, strict, &fields)) return false;
  store(fields, currentYear, result);
  return true;
}

inline bool readByTokens(std::string_view text, bool strict, DateFields* fields) {
  return readUsualTokens(text, strict, fields) || readAnyLayout(text, strict, fields);
}

// parseDate for the texts the fixed widths do not take: the token
// readings, the usual layouts' and then any layout's. Kept out of line
// so that the common path does not pay for the registers and stack of the
// two token readings.
[[gnu::noinline]] bool parseDateByTokens(std::string_view text, MessageDate* result, bool strict,
                                         int32_t currentYear) {
  return parseWith<readByTokens>(text, result, strict, currentYear);
}

}  // namespace

bool parseDate(std::string_view text, MessageDate* result, bool strict, int32_t currentYear) {
  // A separator line's date is only checked: its reading takes no fields
  // out of the text.
  if (result == nullptr) {
    return readFixedWidths(text, strict, nullptr) ||
           parseDateByTokens(text, nullptr, strict, currentYear);
  }
  DateFields fields;
  if (!readFixedWidths(text, strict, &fields)) {
    // Read into a record of its own: the caller's, were its address handed
    // to a call that is not inlined, would stay in memory in a caller that
    // inlines this, with every field written there and read back.
    MessageDate read;
    if (!parseDateByTokens(text, &read, strict, currentYear)) return false;
    *result = read;
    return true;
  }
  store(fields, currentYear, result);
  return true;
}

bool parseUsualDate(std::string_view text, MessageDate* result, bool strict, int32_t currentYear) {
  return parseWith<readUsualLayout>(text, result, strict, currentYear);
}

bool parseFixedWidthDate(std::string_view text, MessageDate* result, bool strict,
                         int32_t currentYear) {
  return parseWith<readFixedWidths>(text, result, strict, currentYear);
}

bool parseDateInFull(std::string_view text, MessageDate* result, bool strict, int32_t currentYear) {
  return parseWith<readAnyLayout>(text, result, strict, currentYear);
}

int compareNoCase(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const signed char x = static_cast<signed char>(foldCase(a[i]));
    const signed char y = static_cast<signed char>(foldCase(b[i]));
    if (x == 0 && y == 0) return 0;
    if (x == 0) return -1;
    if (y == 0) return 1;
    if (x < y) return -1;
    if (x > y) return 1;
  }
  return 0;
}
