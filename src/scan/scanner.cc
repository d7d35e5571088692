#include "scan/scanner.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "common/ascii.h"
#include "scan/list_separator.h"
#include "scan/scan_table.h"
#include "scan/separator.h"

#if defined(__x86_64__) && defined(__SSE2__) && defined(__GNUC__)
#define VARNAK_X86_VECTORS 1
#include <immintrin.h>
#endif

namespace {

// The two bytes that text mode acts on.
bool isCrOrCtrlZ(char c) {
  return c == '\r' || c == '\x1a';
}

// The byte searches the scanner spends its time in, on raw file bytes (CR
// and Ctrl-Z included), named by what ends them. Every one of them also
// stops at a Ctrl-Z byte, and returns the end of the range when nothing
// stops it. The kinds that drop CR bytes on the way count them, so that
// the caller can leave them out of the message size.
enum class Search {
  // An LF that begins an empty line before an "F" (or before the end of
  // the range, which may hold the next line's start), or a CR: runs of
  // empty lines and paragraph breaks before any other byte go past.
  body,
  // An LF directly followed by another LF, or a CR: the first search of a
  // body, whose first empty line ends a short message.
  bodyStart,
  bodyCrLf,  // an LF directly followed by another LF or by a CR; CRs counted
  line,      // an LF or a CR
  // The end of a separator line that lies whole in the chunk, which a NUL
  // also stops (it cuts the text the separator test judges); its first
  // colon is found in the same pass (findLineAndColon).
  lineOrNul,    // an LF, a CR or a NUL
  headers,      // a CR, or an LF directly followed by a line start (below)
  headersCrLf,  // an LF directly followed by a line start; CRs counted
  // The same two while a Message-ID is wanted: an "M" also starts a line.
  idHeaders,
  idHeadersCrLf,
  emptyLines,   // any byte but LF and CR; CRs counted
  emptyLinesLf  // any byte but LF
};

// How many bytes after the one it stops at the kind looks at.
constexpr ptrdiff_t lookAhead(Search kind) {
  if (kind == Search::body) return 2;
  return kind != Search::line && kind != Search::lineOrNul && kind != Search::emptyLines &&
         kind != Search::emptyLinesLf;
}

// The header searches run over whole header lines, and stop at the line
// end before a byte that may begin a line the reader looks at: the empty
// line (LF, or CR before it), "Date:", and `extra`, the "R" of "Received"
// while the message has no Received line yet (another changes nothing).
bool startsWatchedLine(char c, char extra) {
  return c == '\n' || c == '\r' || c == 'D' || c == extra;
}

constexpr bool isHeaderSearch(Search kind) {
  return kind == Search::headers || kind == Search::headersCrLf || kind == Search::idHeaders ||
         kind == Search::idHeadersCrLf;
}

// The header searches of CR LF files, which drop the CRs and count them.
constexpr bool isCrLfHeaderSearch(Search kind) {
  return kind == Search::headersCrLf || kind == Search::idHeadersCrLf;
}

constexpr bool stopsBeforeM(Search kind) {
  return kind == Search::idHeaders || kind == Search::idHeadersCrLf;
}

// The plain loop is the definition of each search; the vector versions
// must find the same byte and count the same CRs.
template <Search kind>
const char* findPlain(const char* p, const char* end, size_t& crs, char extra) {
  for (; p < end; ++p) {
    char c = *p;
    if (c == '\x1a') return p;
    if constexpr (kind == Search::body) {
      if (c == '\r' || (c == '\n' && end - p >= 2 && p[1] == '\n' && (end - p == 2 || p[2] == 'F')))
        return p;
    } else if constexpr (kind == Search::bodyStart) {
      if (c == '\r' || (c == '\n' && end - p >= 2 && p[1] == '\n')) return p;
    } else if constexpr (kind == Search::bodyCrLf) {
      crs += c == '\r';
      if (c == '\n' && end - p >= 2 && (p[1] == '\n' || p[1] == '\r')) return p;
    } else if constexpr (kind == Search::line) {
      if (c == '\n' || c == '\r') return p;
    } else if constexpr (kind == Search::lineOrNul) {
      if (c == '\n' || c == '\r' || c == '\0') return p;
    } else if constexpr (isHeaderSearch(kind)) {
      if constexpr (isCrLfHeaderSearch(kind)) {
        crs += c == '\r';
      } else if (c == '\r') {
        return p;
      }
      if (c == '\n' && end - p >= 2 &&
          (startsWatchedLine(p[1], extra) || (stopsBeforeM(kind) && p[1] == 'M')))
        return p;
    } else if constexpr (kind == Search::emptyLines) {
      if (c != '\n' && c != '\r') return p;
      crs += c == '\r';
    } else {
      if (c != '\n') return p;
    }
  }
  return end;
}

// The end of a separator line from `p` (an LF, CR, Ctrl-Z or NUL: the
// stop of Search::lineOrNul), with the line's first colon before it kept
// in `colon` unless that already holds one. The plain loop is the
// definition, as for the searches above. One pass for both: a separator
// line costs one search, and the colon is what its test looks for first.
const char* findLineAndColonPlain(const char* p, const char* end, const char*& colon) {
  for (; p < end; ++p) {
    char c = *p;
    if (c == '\n' || c == '\r' || c == '\x1a' || c == '\0') return p;
    if (c == ':' && colon == nullptr) colon = p;
  }
  return end;
}

#if VARNAK_X86_VECTORS

// The vector searches go through the range a block of 64 bytes at a time,
// while a whole block (and the bytes after it that the kind looks at) lies
// inside it; the plain loop does the rest. For each kind a vector of the
// block's bytes gives its stops (a byte of all ones where the search
// stops), and a block without any costs one test.
template <Search kind>
constexpr ptrdiff_t kBlockReach = 64 + lookAhead(kind);

// Whether the kind counts the CRs it goes past.
constexpr bool countsCrs(Search kind) {
  return kind == Search::bodyCrLf || isCrLfHeaderSearch(kind) || kind == Search::emptyLines;
}

// The stop found at bit `at` of the block's stop mask: the CRs before it
// are added to the count.
inline const char* stopAt(const char* block, uint64_t stops, uint64_t crs, size_t& count) {
  int at = __builtin_ctzll(stops);
  count += static_cast<size_t>(__builtin_popcountll(crs & ((uint64_t{1} << at) - 1)));
  return block + at;
}

constexpr bool splatsFromMemory(Search kind) {
  return kind == Search::line || kind == Search::lineOrNul;
}

// Each byte value repeated across a vector, for the compares of the
// searches over a line to take as an operand from memory: broadcast from a
// register instead, every value compared with cost three instructions each
// time a search began, a tenth of a short line's search. The searches that
// run long (bodies, header blocks, runs of empty lines) keep their values
// in registers: an operand from memory is one more load in each round of
// their loops, which cost more time than the broadcasts saved.
alignas(32) constexpr auto kSplats = [] {
  std::array<std::array<char, 32>, 256> rows{};
  for (size_t value = 0; value < rows.size(); ++value)
    rows[value].fill(static_cast<char>(value));
  return rows;
}();

// The compiler, seeing the table's bytes, would broadcast them again:
// the empty asm hides what the pointer points at.
const char* splat(char c) {
  const char* rows = kSplats[0].data();
  asm("" : "+r"(rows));
  return rows + 32 * static_cast<unsigned char>(c);
}

// The stops among the bytes of one vector at `at`, for either width below.
// The body is written once and stamped into each width's namespace, where
// it is compiled for that width's instructions with that width's functions:
// a template cannot give its instances targets of their own, and a
// function compiled without AVX may not take or return an AVX vector.
#define VARNAK_STOPS_BODY                                                        \
  Vector bytes = load(at);                                                       \
  constexpr bool fromMemory = splatsFromMemory(kind);                            \
  Vector lf = equal<fromMemory>(bytes, '\n');                                    \
  Vector cr = equal<fromMemory>(bytes, '\r');                                    \
  Vector ctrlZ = equal<fromMemory>(bytes, '\x1a');                               \
  if constexpr (kind == Search::body) {                                          \
    Vector pairs = both(lf, equal(load(at + 1), '\n'));                          \
    Vector beforeF = both(pairs, equal(load(at + 2), 'F'));                      \
    return either(either(beforeF, cr), ctrlZ);                                   \
  } else if constexpr (kind == Search::bodyStart) {                              \
    Vector pairs = both(lf, equal(load(at + 1), '\n'));                          \
    return either(either(pairs, cr), ctrlZ);                                     \
  } else if constexpr (kind == Search::bodyCrLf) {                               \
    Vector next = load(at + 1);                                                  \
    Vector pairs = both(lf, either(equal(next, '\n'), equal(next, '\r')));       \
    return either(pairs, ctrlZ);                                                 \
  } else if constexpr (kind == Search::line) {                                   \
    return either(either(lf, cr), ctrlZ);                                        \
  } else if constexpr (kind == Search::lineOrNul) {                              \
    return either(either(lf, cr), either(ctrlZ, zeroBytes(bytes)));              \
  } else if constexpr (isHeaderSearch(kind)) {                                   \
    Vector next = load(at + 1);                                                  \
    Vector starts = either(either(equal(next, '\n'), equal(next, '\r')),         \
                           either(equal(next, 'D'), equal(next, extra)));        \
    if constexpr (stopsBeforeM(kind)) starts = either(starts, equal(next, 'M')); \
    Vector ends = either(both(lf, starts), ctrlZ);                               \
    return isCrLfHeaderSearch(kind) ? ends : either(ends, cr);                   \
  } else {                                                                       \
    return zeroBytes(either(lf, cr));                                            \
  }

// SSE2, which every x86-64 processor has: vectors of 16 bytes, four to a
// block.
namespace sse2 {

using Vector = __m128i;

Vector load(const char* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

template <bool fromMemory = false>
Vector equal(Vector bytes, char c) {
  if constexpr (fromMemory)
    return _mm_cmpeq_epi8(bytes, _mm_load_si128(reinterpret_cast<const __m128i*>(splat(c))));
  return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c));
}

Vector either(Vector a, Vector b) {
  return _mm_or_si128(a, b);
}

Vector both(Vector a, Vector b) {
  return _mm_and_si128(a, b);
}

// All ones where a byte is 0.
Vector zeroBytes(Vector bytes) {
  return _mm_cmpeq_epi8(bytes, _mm_setzero_si128());
}

uint64_t bits(Vector bytes) {
  return static_cast<uint16_t>(_mm_movemask_epi8(bytes));
}

template <Search kind>
Vector stops(const char* at, char extra) {
  VARNAK_STOPS_BODY
}

}  // namespace sse2

// AVX2: vectors of 32 bytes, two to a block. Compiled for AVX2 on their
// own (a lambda would not be), and run only where the processor has it.
#define VARNAK_AVX2 __attribute__((target("avx2,bmi,popcnt")))

namespace avx2 {

using Vector = __m256i;

VARNAK_AVX2 Vector load(const char* at) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

template <bool fromMemory = false>
VARNAK_AVX2 Vector equal(Vector bytes, char c) {
  if constexpr (fromMemory)
    return _mm256_cmpeq_epi8(bytes, _mm256_load_si256(reinterpret_cast<const __m256i*>(splat(c))));
  return _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(c));
}

VARNAK_AVX2 Vector either(Vector a, Vector b) {
  return _mm256_or_si256(a, b);
}

VARNAK_AVX2 Vector both(Vector a, Vector b) {
  return _mm256_and_si256(a, b);
}

VARNAK_AVX2 Vector zeroBytes(Vector bytes) {
  return _mm256_cmpeq_epi8(bytes, _mm256_setzero_si256());
}

VARNAK_AVX2 uint64_t bits(Vector bytes) {
  return static_cast<uint32_t>(_mm256_movemask_epi8(bytes));
}

template <Search kind>
VARNAK_AVX2 Vector stops(const char* at, char extra) {
  VARNAK_STOPS_BODY
}

}  // namespace avx2

#undef VARNAK_STOPS_BODY

// A run of LF bytes: a block of them costs one compare a vector.
const char* findLfRunEndSse2(const char* p, const char* end) {
  while (end - p >= 64) {
    uint64_t lfs = 0;
    for (int i = 0; i < 4; ++i)
      lfs |= sse2::bits(sse2::equal(sse2::load(p + 16 * i), '\n')) << (16 * i);
    if (lfs != ~uint64_t{0}) return p + __builtin_ctzll(~lfs);
    p += 64;
  }
  size_t none = 0;
  return findPlain<Search::emptyLinesLf>(p, end, none, 0);
}

template <Search kind>
const char* findSse2(const char* p, const char* end, size_t& crs, char extra) {
  while (end - p >= kBlockReach<kind>) {
    __m128i s0 = sse2::stops<kind>(p, extra), s1 = sse2::stops<kind>(p + 16, extra);
    __m128i s2 = sse2::stops<kind>(p + 32, extra), s3 = sse2::stops<kind>(p + 48, extra);
    uint64_t crMask = 0;
    if constexpr (countsCrs(kind)) {
      for (int i = 0; i < 4; ++i)
        crMask |= sse2::bits(sse2::equal(sse2::load(p + 16 * i), '\r')) << (16 * i);
    }
    if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(s0, s1), _mm_or_si128(s2, s3))) != 0) {
      uint64_t stops =
          sse2::bits(s0) | sse2::bits(s1) << 16 | sse2::bits(s2) << 32 | sse2::bits(s3) << 48;
      return stopAt(p, stops, crMask, crs);
    }
    crs += static_cast<size_t>(__builtin_popcountll(crMask));
    p += 64;
  }
  return findPlain<kind>(p, end, crs, extra);
}

VARNAK_AVX2 const char* findLfRunEndAvx2(const char* p, const char* end) {
  const __m256i ones = _mm256_set1_epi8(-1);
  while (end - p >= 64) {
    __m256i low = avx2::equal(avx2::load(p), '\n'), high = avx2::equal(avx2::load(p + 32), '\n');
    if (!_mm256_testc_si256(_mm256_and_si256(low, high), ones))
      return p + __builtin_ctzll(~(avx2::bits(low) | avx2::bits(high) << 32));
    p += 64;
  }
  size_t none = 0;
  return findPlain<Search::emptyLinesLf>(p, end, none, 0);
}

// The sum of the four 64-bit lanes.
VARNAK_AVX2 uint64_t sumLanes(__m256i sums) {
  __m128i half = _mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
  return static_cast<uint64_t>(_mm_cvtsi128_si64(half)) +
         static_cast<uint64_t>(_mm_extract_epi64(half, 1));
}

// The first stop in the block at `p`, or nullptr; the CRs before it are
// added to `crs`.
template <Search kind>
VARNAK_AVX2 const char* stopInBlock(const char* p, size_t& crs, char extra) {
  __m256i low = avx2::stops<kind>(p, extra), high = avx2::stops<kind>(p + 32, extra);
  __m256i any = _mm256_or_si256(low, high);
  if (_mm256_testz_si256(any, any)) return nullptr;
  uint64_t crMask = 0;
  if constexpr (countsCrs(kind))
    crMask = avx2::bits(avx2::equal(avx2::load(p), '\r')) |
             avx2::bits(avx2::equal(avx2::load(p + 32), '\r')) << 32;
  return stopAt(p, avx2::bits(low) | avx2::bits(high) << 32, crMask, crs);
}

template <Search kind>
VARNAK_AVX2 const char* findAvx2(const char* p, const char* end, size_t& crs, char extra) {
  if constexpr (!countsCrs(kind)) {
    for (; end - p >= kBlockReach<kind>; p += 64) {
      if (const char* stop = stopInBlock<kind>(p, crs, extra)) return stop;
    }
    return findPlain<kind>(p, end, crs, extra);
  }
  // Counted unsigned: the compiler cannot tell that the difference is not
  // negative, and a signed division costs a search of a short line a
  // fifth of its instructions.
  ptrdiff_t blocks =
      end - p >= kBlockReach<kind>
          ? static_cast<ptrdiff_t>(static_cast<size_t>(end - p - kBlockReach<kind>) / 64) + 1
          : 0;
  // The CRs of the blocks gone past are counted in the bytes of `lanes`
  // (two a block at most) and added into the 64-bit `sums` every 127
  // blocks, before a byte can overflow.
  const __m256i zero = _mm256_setzero_si256();
  __m256i lanes = zero, sums = zero;
  const char* stop = nullptr;
  while (blocks > 0 && stop == nullptr) {
    ptrdiff_t batch = std::min<ptrdiff_t>(blocks, 127);
    blocks -= batch;
    for (; batch > 0; --batch, p += 64) {
      if ((stop = stopInBlock<kind>(p, crs, extra)) != nullptr) break;
      lanes = _mm256_sub_epi8(lanes, avx2::equal(avx2::load(p), '\r'));
      lanes = _mm256_sub_epi8(lanes, avx2::equal(avx2::load(p + 32), '\r'));
    }
    sums = _mm256_add_epi64(sums, _mm256_sad_epu8(lanes, zero));
    lanes = zero;
  }
  crs += static_cast<size_t>(sumLanes(sums));
  return stop != nullptr ? stop : findPlain<kind>(p, end, crs, extra);
}

// The stop of findLineAndColon in the 64-byte block at `block`, given the
// block's line stops and colons as bit masks, or nullptr when it has none;
// the block's first colon before the stop goes to `colon` unless that
// already holds one.
inline const char* lineStopInBlock(const char* block, uint64_t stops, uint64_t colons,
                                   const char*& colon) {
  uint64_t before = stops != 0 ? colons & ((uint64_t{1} << __builtin_ctzll(stops)) - 1) : colons;
  if (colon == nullptr && before != 0) colon = block + __builtin_ctzll(before);
  return stops != 0 ? block + __builtin_ctzll(stops) : nullptr;
}

const char* findLineAndColonSse2(const char* p, const char* end, const char*& colon) {
  for (; end - p >= 64; p += 64) {
    uint64_t stops = 0, colons = 0;
    for (int i = 0; i < 4; ++i) {
      stops |= sse2::bits(sse2::stops<Search::lineOrNul>(p + 16 * i, 0)) << (16 * i);
      colons |= sse2::bits(sse2::equal<true>(sse2::load(p + 16 * i), ':')) << (16 * i);
    }
    if (const char* stop = lineStopInBlock(p, stops, colons, colon)) return stop;
  }
  return findLineAndColonPlain(p, end, colon);
}

VARNAK_AVX2 const char* findLineAndColonAvx2(const char* p, const char* end, const char*& colon) {
  for (; end - p >= 64; p += 64) {
    uint64_t stops = avx2::bits(avx2::stops<Search::lineOrNul>(p, 0)) |
                     avx2::bits(avx2::stops<Search::lineOrNul>(p + 32, 0)) << 32;
    uint64_t colons = avx2::bits(avx2::equal<true>(avx2::load(p), ':')) |
                      avx2::bits(avx2::equal<true>(avx2::load(p + 32), ':')) << 32;
    if (const char* stop = lineStopInBlock(p, stops, colons, colon)) return stop;
  }
  return findLineAndColonPlain(p, end, colon);
}

bool hasAvx2() {
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
         __builtin_cpu_supports("popcnt");
}

#endif  // VARNAK_X86_VECTORS

ByteSearch widestAvailable(ByteSearch wanted) {
#if VARNAK_X86_VECTORS
  if (wanted == ByteSearch::avx2 && !hasAvx2()) return ByteSearch::sse2;
  return wanted;
#else
  (void)wanted;
  return ByteSearch::plain;
#endif
}

// Forced inline: the test of the search to take is then made where the
// search is called, not in a function of its own for each kind.
template <Search kind>
[[gnu::always_inline]] inline const char* find(ByteSearch search, const char* p, const char* end,
                                               size_t& crs, char extra = 'D') {
#if VARNAK_X86_VECTORS
  if constexpr (kind == Search::emptyLinesLf) {
    if (search == ByteSearch::avx2) return findLfRunEndAvx2(p, end);
    if (search == ByteSearch::sse2) return findLfRunEndSse2(p, end);
  } else {
    if (search == ByteSearch::avx2) return findAvx2<kind>(p, end, crs, extra);
    if (search == ByteSearch::sse2) return findSse2<kind>(p, end, crs, extra);
  }
#else
  (void)search;
#endif
  return findPlain<kind>(p, end, crs, extra);
}

const char* findLineAndColon(ByteSearch search, const char* p, const char* end,
                             const char*& colon) {
#if VARNAK_X86_VECTORS
  if (search == ByteSearch::avx2) return findLineAndColonAvx2(p, end, colon);
  if (search == ByteSearch::sse2) return findLineAndColonSse2(p, end, colon);
#else
  (void)search;
#endif
  return findLineAndColonPlain(p, end, colon);
}

// Replaces the text of `field`, whose storage is kept. The text is never
// part of the field itself, so the general path of assign, which allows
// for that, is not needed: clear and append cost half as much.
void setText(std::string& field, std::string_view text) {
  field.clear();
  field.append(text);
}

// Whether `text` begins in [begin, end); an empty text lies nowhere.
bool liesIn(std::string_view text, const char* begin, const char* end) {
  auto at = reinterpret_cast<uintptr_t>(text.data());
  return !text.empty() && at >= reinterpret_cast<uintptr_t>(begin) &&
         at < reinterpret_cast<uintptr_t>(end);
}

// `field` copied into `storage`, and pointed there.
void keepIn(std::string_view& field, std::string& storage) {
  setText(storage, field);
  field = storage;
}

// Whether the 11 bytes at `p` read "Message-ID:", the letters after the
// "M" in either case. The "-" is compared as it is: folded, a CR would
// pass for it.
bool isMessageIdName(const char* p) {
  constexpr char kName[] = "message-id:";
  for (int i = 1; i < 10; ++i) {
    if (i == 7 ? p[i] != '-' : (p[i] | 0x20) != kName[i]) return false;
  }
  return p[10] == ':';
}

// Whether the 5 bytes at `p` read "Date:", the letters after the "D" in
// either case: the three are folded to lower case in one word.
bool isDateName(const char* p) {
  uint32_t word;
  uint32_t name;
  uint32_t fold;
  std::memcpy(&word, p, 4);
  std::memcpy(&name, "Date", 4);
  std::memcpy(&fold, "\0   ", 4);
  return (word | fold) == name && p[4] == ':';
}

// The first colon of a separator line is not known: the line was
// captured, or is longer than the scanner looked for one in, and may hold
// a NUL.
constexpr size_t kColonUnknown = SIZE_MAX;

// How far into a separator line its first colon is looked for along with
// its end: a separator's time comes within its first hundred bytes or so.
constexpr ptrdiff_t kSeparatorReach = 128;

// Whether the bytes at `p` read `word` (without its NUL): a compare of a
// constant length, which the compiler makes one or two loads of.
template <size_t n>
bool startsWith(const char* p, const char (&word)[n]) {
  return std::memcmp(p, word, n - 1) == 0;
}

}  // namespace

MailboxScanner::MailboxScanner(ScanHandlers handlers, ScanOptions options, ByteSearch widest)
    : handlers_(std::move(handlers)),
      options_(options),
      search_(widestAvailable(widest)),
      state_(ScanState::leadIn) {}

void MailboxScanner::startOneMessage(std::string_view name) {
  oneMessage_ = true;
  startMessage(name);
  keepIn(pending_.fromLine, fromLineKept_);
  state_ = ScanState::headerLineStart;
}

void MailboxScanner::startAfterCut() {
  continuing_ = true;
  cutFacts_ = CutFacts{};
  startMessage({});
  state_ = ScanState::emptyLineSeen;
}

// Text mode is applied on the way, never in a separate pass: every search
// below also stops at Ctrl-Z, and at CR where it cannot drop it itself, and
// skipCrOrEnd drops the CR or ends the data there.
bool MailboxScanner::feed(const char* data, size_t size) {
  bool more = scanChunk(data, size);
  keepTextsIn(data, data + size);
  return more;
}

// The pending message's texts that point into [begin, end), about to be
// overwritten, are copied into the scanner's own storage. The texts of a
// message that ends where it began, in one chunk, are never copied.
void MailboxScanner::keepTextsIn(const char* begin, const char* end) {
  if (liesIn(pending_.fromLine, begin, end)) keepIn(pending_.fromLine, fromLineKept_);
  if (liesIn(pending_.dateText, begin, end)) keepIn(pending_.dateText, dateTextKept_);
  if (liesIn(pending_.fromHeader, begin, end)) keepIn(pending_.fromHeader, fromHeaderKept_);
  if (liesIn(pending_.messageId, begin, end)) keepIn(pending_.messageId, messageIdKept_);
}

bool MailboxScanner::scanChunk(const char* data, size_t size) {
  const char* p = data;
  const char* end = data + size;
  if (!sawData_ && size > 0) {
    // Files of CR LF lines get searches that drop the CRs as they go; LF
    // files are faster with searches that stop at the rare CR.
    sawData_ = true;
    const void* lf = std::memchr(data, '\n', size);
    crLf_ = lf != nullptr && lf != data && static_cast<const char*>(lf)[-1] == '\r';
  }
  while (p < end && !dataEnded_) {
    switch (state_) {
      case ScanState::notMailbox:
        return false;
      case ScanState::body:
        p = scanBody(p, end);
        break;
      case ScanState::headerLineStart:
      case ScanState::headerLine:
        p = scanHeaderLines(p, end);
        break;
      case ScanState::separatorLine:
      case ScanState::dateValue:
      case ScanState::fromValue:
      case ScanState::messageIdValue:
        p = scanCapturedLine(p, end);
        break;
      case ScanState::wholeBody:
        p = scanWholeBody(p, end);
        break;
      case ScanState::emptyLineSeen:
        p = scanEmptyLines(p, end);
        break;
      default:
        p = stepOne(p, end);
        break;
    }
  }
  return !dataEnded_ && state_ != ScanState::notMailbox;
}

void MailboxScanner::finish() {
  if (state_ == ScanState::leadIn || state_ == ScanState::notMailbox) return;
  if (continuing_) {
    handlers_.continuation(pending_, cutFacts_, false);
  } else {
    handlers_.message(pending_, false);
  }
  pending_ = MailMessage{};
}

// One byte through the state table, or through text mode.
const char* MailboxScanner::stepOne(const char* p, const char* end) {
  if (isCrOrCtrlZ(*p)) return skipCrOrEnd(p, end);
  step(p);
  return p + 1;
}

const char* MailboxScanner::skipCrOrEnd(const char* stop, const char* end) {
  if (*stop == '\r') return stop + 1;
  dataEnded_ = true;
  return end;
}

// The capture starts with the blank after "From" or the colon after "Date".
void MailboxScanner::startCapture(const char* first) {
  // The buffer holds more than one byte: no warning can come yet.
  captureBuffer_[0] = *first;
  captureSeen_ = 1;
}

// From: and Message-ID values are judged on what was kept of them, without
// a word: a warning would add to a reading that only looks at them.
bool MailboxScanner::capturingQuietly() const {
  return state_ == ScanState::fromValue || state_ == ScanState::fromFoldStart ||
         state_ == ScanState::messageIdValue || state_ == ScanState::messageIdFoldStart;
}

// Keeps the first bytes of the line. The warning comes the moment the line
// is known to be too long, whether or not it ever ends.
void MailboxScanner::capture(const char* p, size_t n) {
  size_t room = sizeof captureBuffer_ - captureSeen_;
  if (room == 0) return;
  size_t take = std::min(n, room);
  std::memcpy(captureBuffer_ + captureSeen_, p, take);
  captureSeen_ += take;
  if (captureSeen_ == sizeof captureBuffer_ && !capturingQuietly()) {
    handlers_.headerTooLong(captured());
  }
}

std::string_view MailboxScanner::captured() const {
  return std::string_view(captureBuffer_, std::min(captureSeen_, kCaptureLimit));
}

// The record starts over for the next message, field by field. Its texts
// point where they lie, mostly in the chunk being scanned: a message that
// ends in the chunk it began in is handed on without a copy of its texts.
void MailboxScanner::startMessage(std::string_view fromLine) {
  pending_.hasReceivedLine = false;
  pending_.hasGmailLabels = false;
  pending_.fromLine = fromLine;
  pending_.dateText = {};
  pending_.fromHeader = {};
  pending_.hasMessageId = false;
  pending_.messageId = {};
  pending_.size = 0;
}

// The list-archive test runs only on lines the separator test refuses, and
// only when -lists or the tally wants it. `colon` is the offset of the
// line's first colon (its size when it has none) where the line is known to
// hold no NUL, and kColonUnknown where it was captured.
bool MailboxScanner::takesSeparator(std::string_view line, size_t colon) {
  if (oneMessage_) return false;
  bool separator = colon == kColonUnknown ? isSeparatorWithoutLineEnds(line)
                                          : isSeparatorWithColonAt(line, colon);
  if (separator) return true;
  if (!options_.listSeparators && !options_.countListLines) return false;
  if (!isListArchiveSeparator(line)) return false;
  if (options_.listSeparators) return true;
  ++listLines_;
  return false;
}

// `line` is the separator line as captured, from the blank after "From".
// Flattened: the separator test is inlined into it, which saves its call
// and the registers it saved, on every separator.
[[gnu::flatten]] void MailboxScanner::endSeparatorLine(std::string_view line, size_t colon) {
  if (!takesSeparator(line, colon)) return;
  if (continuing_) {
    continuing_ = false;
    handlers_.continuation(pending_, cutFacts_, true);
  } else if (!pending_.fromLine.empty()) {
    handlers_.message(pending_, true);
  }
  // The line begins with the blank after "From", which every separator
  // has: the search for the sender starts after it.
  line.remove_prefix(1);
  startMessage(withoutLeadingBlanks(line));
}

// `line` is the Date line as captured, from the colon. The cut facts are
// kept for every message, not only the rest of one cut: a store costs less
// than a test, and they are read only while continuing. The line always
// holds its colon, so the value is cut off without substr: its test and
// throw, inlined here, made the inliner leave substr out of line for every
// other caller.
[[gnu::always_inline]] inline void MailboxScanner::endDateLine(std::string_view line) {
  cutFacts_.dateSeen = true;
  line.remove_prefix(1);
  pending_.dateText = withoutLeadingBlanks(line);
}

// A separator or Date line (`line` says which) from `first`, the blank
// after "From" or the colon after "Date", that lies whole in the chunk,
// holds no CR but one directly before its LF, and is shorter than the
// capture limit is exactly what its capture would keep: it is judged where
// it lies, without the copy into the capture buffer or a round through the
// main loop for the rest of it, and its text is counted as the capture
// counts it (the first byte and the line end not). Within a separator
// line's first kSeparatorReach bytes its first colon is found on the way,
// and the search stops at a NUL, which the separator test would otherwise
// have to look for. Any other line goes on in the capture from where the
// search stopped, as if it had been captured from the start. Returns where
// the scan goes on. Forced inline: each of its two callers then runs only
// its own kind's half, and whether the release build's link-time inliner,
// at its limit of growth for the whole program, took it otherwise changed
// with code elsewhere (out of line it cost tiny messages a twentieth more
// instructions, and refused "From " lines a seventh more).
[[gnu::always_inline]] inline const char* MailboxScanner::takeWholeLine(const char* first,
                                                                        const char* end,
                                                                        ScanState line) {
  size_t crs = 0;
  const char* stop = nullptr;
  size_t colon = kColonUnknown;
  if (line == ScanState::separatorLine) {
    // The colon and NUL are looked for in the first bytes only, where a
    // separator's time lies: the search for five bytes is slower than the
    // plain one over a long line, which the full separator test then takes.
    const char* near = end - first > kSeparatorReach ? first + kSeparatorReach : end;
    const char* firstColon = nullptr;
    stop = findLineAndColon(search_, first + 1, near, firstColon);
    if (stop != near) {
      colon = static_cast<size_t>((firstColon != nullptr ? firstColon : stop) - first);
    } else if (near != end) {
      stop = find<Search::line>(search_, near, end, crs);
    }
  } else {
    stop = find<Search::line>(search_, first + 1, end, crs);
  }
  auto length = static_cast<size_t>(stop - first);
  const char* lineEnd = stop != end && *stop == '\r' ? stop + 1 : stop;
  if (lineEnd == end || *lineEnd != '\n' || length >= sizeof captureBuffer_) {
    return captureFrom(first, stop, line);
  }
  pending_.size += static_cast<uint32_t>(length - 1);
  state_ = ScanState::headerLineStart;
  if (line == ScanState::separatorLine) {
    // Most refused lines, words without a colon, are refused here, without
    // a call of the whole test, which is flattened and costly to enter. A
    // list archive's separator holds a colon too, in its time.
    std::string_view text(first, length);
    if (mayBeSeparatorWithColonAt(text, colon)) endSeparatorLine(text, colon);
  } else {
    endDateLine(std::string_view(first, length));
  }
  return lineEnd + 1;
}

// The line from `first` captured and counted up to `stop`, the bytes
// between holding none that ends a line or the data, as scanCapturedLine
// would have taken them (its warning included); it goes on from `stop`.
const char* MailboxScanner::captureFrom(const char* first, const char* stop, ScanState line) {
  state_ = line;
  startCapture(first);
  auto bytes = static_cast<size_t>(stop - first - 1);
  capture(first + 1, bytes);
  pending_.size += static_cast<uint32_t>(bytes);
  return stop;
}

// The value so far, without the colon; a folded line may add to it.
void MailboxScanner::endFromLine() {
  cutFacts_.fromSeen = true;
  pending_.fromHeader = captured().substr(1);
  keepIn(pending_.fromHeader, fromHeaderKept_);
}

// The first Message-ID is the message's: from its first line end on, no
// other is watched for, though a folded line still adds to this one.
void MailboxScanner::endMessageIdLine() {
  pending_.hasMessageId = true;
  pending_.messageId = captured().substr(1);
  keepIn(pending_.messageId, messageIdKept_);
}

// The body of data that is one message, to the end: only text mode's two
// bytes matter in it.
const char* MailboxScanner::scanWholeBody(const char* p, const char* end) {
  const void* ctrlZ = std::memchr(p, '\x1a', static_cast<size_t>(end - p));
  const char* stop = ctrlZ != nullptr ? static_cast<const char*>(ctrlZ) : end;
  ptrdiff_t crs = std::count(p, stop, '\r');
  pending_.size += static_cast<uint32_t>(stop - p - crs);
  return stop == end ? end : skipCrOrEnd(stop, end);
}

// Inside a body line. Nothing happens in a body until an empty line, so
// everything up to one is skipped and counted. Empty lines followed by a
// byte that cannot begin "From " change nothing either: the search goes on
// from there, which is all a paragraph break costs. Forced inline into its
// two callers: out of line, the call and the registers it saves cost tiny
// messages a seventeenth of their instructions.
[[gnu::always_inline]] inline const char* MailboxScanner::scanBody(const char* p, const char* end) {
  for (bool first = true;; first = false) {
    size_t crs = 0;
    const char* stop = crLf_   ? find<Search::bodyCrLf>(search_, p, end, crs)
                       : first ? find<Search::bodyStart>(search_, p, end, crs)
                               : find<Search::body>(search_, p, end, crs);
    pending_.size += static_cast<uint32_t>(stop - p - crs);
    // A line end just before the stop may begin an empty line after it.
    // The search goes past empty lines before a CR, which text mode drops
    // before what may be "From ": an empty line just before one is seen
    // here. At `p` the scan is inside a line, which an LF there only ends.
    if (stop > p && stop[-1] == '\n') {
      bool afterEmptyLine = stop - p >= 2 && stop[-2] == '\n' && *stop == '\r';
      state_ = afterEmptyLine ? ScanState::emptyLineSeen : ScanState::bodyLineStart;
    }
    if (stop == end) return end;
    if (*stop != '\n') return skipCrOrEnd(stop, end);
    // The search saw the byte after the LF: another LF, or a CR that may
    // begin an empty line of CR LF.
    const char* after = stop + 2;
    if (stop[1] == '\r') {
      if (end - stop < 3 || stop[2] != '\n') {
        pending_.size += 1;
        state_ = ScanState::bodyLineStart;
        return stop + 1;
      }
      after = stop + 3;  // the CR is dropped
    }
    pending_.size += 2;
    if (after != end && (*after == '\n' || *after == '\r')) after = skipEmptyLines(after, end);
    if (after == end || *after == '\r' || *after == 'F') {
      state_ = ScanState::emptyLineSeen;
      return after;
    }
    state_ = ScanState::body;
    p = after;
  }
}

// The stop of the header search from `p`: the end of a line before one
// that the reader may look at. Watching From: lines as well, the search
// stops at every line end; wanting a Message-ID, also before an "M".
// Forced inline with the header scan, for the reason that is.
[[gnu::always_inline]] inline const char* MailboxScanner::findHeaderStop(const char* p,
                                                                         const char* end,
                                                                         size_t& crs) const {
  char extra = pending_.hasReceivedLine ? 'D' : 'R';
  // Watching From: lines or Gmail's labels as well, the search stops at
  // every line end.
  if (options_.captureFrom || options_.watchGmailLabels)
    return find<Search::line>(search_, p, end, crs);
  if (watchesMessageId()) {
    return crLf_ ? find<Search::idHeadersCrLf>(search_, p, end, crs, extra)
                 : find<Search::idHeaders>(search_, p, end, crs, extra);
  }
  return crLf_ ? find<Search::headersCrLf>(search_, p, end, crs, extra)
               : find<Search::headers>(search_, p, end, crs, extra);
}

// A Message-ID line at `p` that lies whole in the chunk, is not folded and
// holds neither CR nor Ctrl-Z but at its end is taken at once: its value
// kept, its bytes counted as the table counts them (name, colon, value and
// line end). Returns the start of the next line, or nullptr to leave the
// line to the byte-by-byte capture.
const char* MailboxScanner::takeMessageIdLine(const char* p, const char* end) {
  const char* value = p + 11;
  size_t crs = 0;
  const char* valueEnd = find<Search::line>(search_, value, end, crs);
  // The line search stops at a CR as well: one is taken only before the LF.
  const char* lineEnd = valueEnd;
  if (lineEnd != end && *lineEnd == '\r') ++lineEnd;
  // The next byte must be there to tell that the line is not folded.
  if (end - lineEnd < 2 || *lineEnd != '\n') return nullptr;
  char next = lineEnd[1];
  if (next == ' ' || next == '\t' || isCrOrCtrlZ(next)) return nullptr;
  auto length = static_cast<size_t>(valueEnd - value);
  if (length >= kCaptureLimit) return nullptr;
  pending_.hasMessageId = true;
  pending_.messageId = std::string_view(value, length);
  pending_.size += static_cast<uint32_t>(valueEnd - p + 1);
  state_ = ScanState::headerLineStart;
  return lineEnd + 1;
}

// Inside the header block, at the start of a line or in a line the reader
// does not look at. The empty line that ends the block is taken at once,
// and the prefixes the reader looks for in one compare each where all
// their bytes are there; anything else at a line's start that may change
// the state (a prefix cut by the end of the chunk or by a CR, Ctrl-Z) goes
// through the table a byte at a time. From there the header search skips
// and counts the rest of the line and every line after it that none of
// these can begin. Forced inline into its two callers, the main loop and
// the scan after an empty line: out of line, its call and the one of the
// header search cost more than the round through the main loop it saves.
[[gnu::always_inline]] inline const char* MailboxScanner::scanHeaderLines(const char* p,
                                                                          const char* end) {
  for (;;) {
    if (state_ == ScanState::headerLineStart) {
      if (p == end) return end;
      if (*p == '\n') {
        endHeaderBlock();
        return p + 1;
      }
      if (*p == 'R' && end - p >= 8 && startsWith(p, "Received")) {
        pending_.size += 8;
        pending_.hasReceivedLine = true;
        p += 8;
      } else if (*p == 'D' && end - p >= 5 && isDateName(p)) {
        pending_.size += 4;
        p = takeWholeLine(p + 4, end, ScanState::dateValue);
        if (state_ != ScanState::headerLineStart) return p;  // in the capture
        continue;
      } else if (*p == 'X' && options_.watchGmailLabels && end - p >= 15 &&
                 startsWith(p, "X-Gmail-Labels:")) {
        pending_.size += 15;
        pending_.hasGmailLabels = true;
        p += 15;
      } else if (*p == 'M' && end - p >= 11 && watchesMessageId() && isMessageIdName(p)) {
        if (const char* next = takeMessageIdLine(p, end)) {
          p = next;
          continue;
        }
        // Unlike Date's, the colon counts, as it does through the table.
        pending_.size += 11;
        state_ = ScanState::messageIdValue;
        startCapture(p + 10);
        return p + 11;
      } else if (*p == 'R' || *p == 'D' || isCrOrCtrlZ(*p) || (*p == 'F' && options_.captureFrom) ||
                 (*p == 'M' && watchesMessageId()) || (*p == 'X' && options_.watchGmailLabels)) {
        return stepOne(p, end);
      }
      // Any other first byte is an ordinary header line's, counted below.
      state_ = ScanState::headerLine;
    }
    size_t crs = 0;
    const char* stop = findHeaderStop(p, end, crs);
    pending_.size += static_cast<uint32_t>(stop - p - crs);
    if (stop == end) {
      // The last line end may be directly before the end of the chunk.
      if (stop > p && stop[-1] == '\n') state_ = ScanState::headerLineStart;
      return end;
    }
    if (*stop != '\n') return skipCrOrEnd(stop, end);
    pending_.size += 1;
    state_ = ScanState::headerLineStart;
    p = stop + 1;
  }
}

// Inside a separator or Date line: everything up to the line end is captured
// and counted; the line end itself is the event that ends the line.
const char* MailboxScanner::scanCapturedLine(const char* p, const char* end) {
  size_t crs = 0;
  const char* stop = find<Search::line>(search_, p, end, crs);
  capture(p, static_cast<size_t>(stop - p));
  pending_.size += static_cast<uint32_t>(stop - p);
  if (stop == end) return end;
  // The CR of a CR LF line end is dropped here, not by another round.
  if (*stop == '\r' && end - stop >= 2 && stop[1] == '\n') ++stop;
  if (*stop != '\n') return skipCrOrEnd(stop, end);
  ScanState line = state_;
  state_ = ScanState::headerLineStart;
  if (line == ScanState::separatorLine) {
    endSeparatorLine(captured(), kColonUnknown);
    keepTextsIn(captureBuffer_, captureBuffer_ + sizeof captureBuffer_);
  } else if (line == ScanState::dateValue) {
    endDateLine(captured());
    keepTextsIn(captureBuffer_, captureBuffer_ + sizeof captureBuffer_);
  } else if (line == ScanState::fromValue) {
    // Unlike the other two, a From: line's end is counted, and a blank
    // after it folds the value on; so for a Message-ID line.
    pending_.size += 1;
    state_ = ScanState::fromFoldStart;
    endFromLine();
  } else {
    pending_.size += 1;
    endMessageIdLine();
    // A next byte that cannot fold the line on begins a header line, as it
    // would through the table: the fold state is then skipped.
    bool folds = stop + 1 == end || stop[1] == ' ' || stop[1] == '\t' || isCrOrCtrlZ(stop[1]);
    state_ = folds ? ScanState::messageIdFoldStart : ScanState::headerLineStart;
  }
  return stop + 1;
}

// After an empty line: a run of further empty lines is skipped and counted
// at once, a "From " is taken in one compare, and any byte that begins
// neither goes on as body (whose search stops at a Ctrl-Z at once). An "F"
// that may begin "From " but is cut by the end of the chunk or by a CR goes
// through the table.
const char* MailboxScanner::scanEmptyLines(const char* p, const char* end) {
  for (;;) {
    if (*p == '\n' || *p == '\r') {
      p = skipEmptyLines(p, end);
      // A CR that stopped the search for LF runs gets the one that drops it.
      if (p == end || *p == '\r') return p;
    }
    if (*p != 'F') {
      state_ = ScanState::body;
      p = scanBody(p, end);
      // A body that ends in an empty line before an "F" or a CR goes on
      // here, not through the main loop: a round of it saved a message.
      if (state_ != ScanState::emptyLineSeen || p == end) return p;
      continue;
    }
    if (end - p < 5 || !startsWith(p, "From ")) return stepOne(p, end);
    pending_.size += 4;
    const char* next = takeWholeLine(p + 4, end, ScanState::separatorLine);
    // A refused line opens a header block, which an empty line directly
    // after it ends at once: a body of paragraphs that begin with "From "
    // goes on here, a round through the main loop saved for each.
    if (state_ != ScanState::headerLineStart || end - next < 2) return next;
    // Any other header block the line opens goes on here too, and so does
    // the scan after the empty line that ends it.
    if (*next != '\n') {
      p = scanHeaderLines(next, end);
      if (state_ != ScanState::emptyLineSeen || p == end) return p;
      continue;
    }
    endHeaderBlock();
    if (state_ != ScanState::emptyLineSeen) return next + 1;
    p = next + 1;
  }
}

// The empty line that ends a header block, as the table ends it.
void MailboxScanner::endHeaderBlock() {
  pending_.size = 0;
  cutFacts_.sizeRestarted = true;
  state_ = oneMessage_ ? ScanState::wholeBody : ScanState::emptyLineSeen;
}

// Skips and counts a run of LF and CR bytes, or, in a file of LF lines,
// of LF bytes up to a CR.
const char* MailboxScanner::skipEmptyLines(const char* p, const char* end) {
  size_t crs = 0;
  const char* stop = crLf_ || *p == '\r' ? find<Search::emptyLines>(search_, p, end, crs)
                                         : find<Search::emptyLinesLf>(search_, p, end, crs);
  pending_.size += static_cast<uint32_t>(stop - p - crs);
  return stop;
}

// One byte in a state where every byte may change the state: the starts of
// lines and the prefixes the scanner recognises.
void MailboxScanner::step(const char* p) {
  ScanStep next = nextScanStep(
      state_, *p,
      {options_.captureFrom, watchesMessageId(), oneMessage_, options_.watchGmailLabels});
  state_ = next.next;
  switch (next.event) {
    case ScanEvent::none:
      break;
    case ScanEvent::countByte:
      pending_.size += 1;
      break;
    case ScanEvent::receivedMark:
      pending_.hasReceivedLine = true;
      pending_.size += 1;
      break;
    case ScanEvent::gmailMark:
      pending_.hasGmailLabels = true;
      pending_.size += 1;
      break;
    case ScanEvent::separatorStarts:
    case ScanEvent::dateStarts:
      startCapture(p);
      break;
    case ScanEvent::headerBlockEnds:
      pending_.size = 0;
      cutFacts_.sizeRestarted = true;
      break;
    case ScanEvent::fromStarts:
    case ScanEvent::messageIdStarts:
      pending_.size += 1;
      startCapture(p);
      break;
    case ScanEvent::fromContinues:
    case ScanEvent::messageIdContinues:
      pending_.size += 1;
      capture("\n", 1);
      capture(p, 1);
      break;
    case ScanEvent::separatorEnds:
    case ScanEvent::dateEnds:
    case ScanEvent::fromLineEnds:
    case ScanEvent::messageIdLineEnds:
      break;  // captured lines are scanned a run at a time, never here
  }
}

void joinAtCut(KeptMessage& message, const MailMessage& rest, const CutFacts& facts) {
  message.hasReceivedLine = message.hasReceivedLine || rest.hasReceivedLine;
  message.hasGmailLabels = message.hasGmailLabels || rest.hasGmailLabels;
  // The last Date line and From: header are the message's,
  if (facts.dateSeen) setText(message.dateText, rest.dateText);
  if (facts.fromSeen) setText(message.fromHeader, rest.fromHeader);
  // but its first Message-ID.
  if (!message.hasMessageId && rest.hasMessageId) {
    message.hasMessageId = true;
    setText(message.messageId, rest.messageId);
  }
  message.size = facts.sizeRestarted ? rest.size : message.size + rest.size;
}

namespace {

// Whether the line that ends just before `lineEnd` is known, within
// `bytes`, not to read a prefix of "From" alone (CR bytes left out): after
// such a line in a body, an empty line is taken for part of a "From " that
// did not come, and the next one is not yet an empty line.
bool lineIsNotFromPrefix(std::string_view bytes, size_t lineEnd) {
  char kept[4];  // the line's last bytes, from its end back
  size_t count = 0;
  size_t at = lineEnd;
  while (at > 0 && bytes[at - 1] != '\n') {
    char c = bytes[--at];
    if (c == '\r') continue;
    if (count == sizeof kept) return true;  // five bytes or more
    kept[count++] = c;
  }
  // Where the line starts is not in `bytes`: it may be short.
  if (at == 0) return false;
  constexpr std::string_view kFrom = "From";
  for (size_t i = 0; i < count; ++i) {
    if (kept[count - 1 - i] != kFrom[i]) return true;
  }
  return count == 0;
}

}  // namespace

size_t findCut(std::string_view bytes) {
  for (size_t at = 0;;) {
    size_t lf = bytes.find('\n', at);
    if (lf == std::string_view::npos) return std::string_view::npos;
    size_t next = lf + 1;
    while (next < bytes.size() && bytes[next] == '\r')
      ++next;
    if (next < bytes.size() && bytes[next] == '\n' && lineIsNotFromPrefix(bytes, lf))
      return next + 1;
    at = lf + 1;
  }
}
