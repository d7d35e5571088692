// Dates parsed per second for a mix of Date header values as mail clients
// write them, and for the separator-line dates of strict mode; each mix read
// by parseDate and by its full token-by-token reading alone, which shows
// what the shortcut for the usual layouts saves.
#include <string_view>

#include <benchmark/benchmark.h>

#include "date/date.h"
#include "date/date_internal.h"

namespace {

constexpr std::string_view kHeaderDates[] = {
    "Mon, 7 Jan 2002 10:12:01 +0100",
    "Tue, 01 Jan 2002 09:05:07 -0500 (EST)",
    "Wed, 23 Oct 2019 17:45:33 +0000 (UTC)",
    "Thu, 5 Sep 96 11:02:45 GMT",
    "Fri, 14 Feb 2003 08:30:00 -0800",
    "Sat, 31 Dec 1999 23:59:59 +0100",
    "14 Mar 2011 16:20:05 +0000",
    "Sun, 2 Jun 2024 06:07:08 +0200",
    "Mon Jan  7 10:12:01 2002",
    "lun, 3 gen 2005 12:00:00 +0100",
    "Tuesday, November 18, 2008 3:14 PM",
    "12/25/99",
    "Wed, 9 Jul 2014 14:33:12 +0530 (IST)",
    "Fri, 26 Apr 2013 20:00:00 +0100 (BST)",
    "1 Jan 2002",
    "Thu, 10 Aug 2017 09:10:11 -0400",
};

constexpr std::string_view kSeparatorDates[] = {
    "Mon Jan  7 10:12:01 2002",
    "Tue Jan  1 09:05:07 2002",
    "Sat Dec 31 23:59:59 1999",
    "Thu Sep  5 11:02:45 +0100 1996",
    "Wed Oct 23 17:45:33 2019",
    "Fri Feb 14 08:30:00 2003 remote from host",  // refused
    "Sun Jun  2 06:07:08 2024",
    "lun gen  3 12:00:00 2005",
};

// The dates of the benchmark's mailboxes (bench/make_mailbox.cc) and of
// most real mail: only the usual layouts.
constexpr std::string_view kUsualHeaderDates[] = {
    "Sun, 28 Jan 2007 04:18:39 +0100",
    "Tue, 1 Mar 2009 10:24:47 +0100",
    "Sat, 6 Oct 2020 11:29:57 +0100",
    "Mon, 17 May 2018 11:33:57 -0500 (EST)",
};
constexpr std::string_view kUsualSeparatorDates[] = {
    "Sun Jan 28 04:18:39 2007",
    "Tue Mar  1 10:24:47 2009",
    "Sat Oct  6 11:29:57 2020",
    "Thu Sep  5 11:02:45 +0100 1996",
};

using Parser = bool (*)(std::string_view, MessageDate*, bool, int32_t);

template <size_t N>
void parseAll(benchmark::State& state, const std::string_view (&texts)[N], bool strict,
              Parser parse = parseDate) {
  MessageDate date;
  int64_t parsed = 0, accepted = 0;
  for (auto _ : state) {
    for (std::string_view text : texts) {
      accepted += parse(text, &date, strict, 2026);
      benchmark::DoNotOptimize(date);
    }
    parsed += N;
  }
  // Shows that the mix is mostly dates the parser accepts.
  state.counters["accepted"] = static_cast<double>(accepted) / static_cast<double>(parsed);
  state.counters["dates/s"] =
      benchmark::Counter(static_cast<double>(parsed), benchmark::Counter::kIsRate);
}

void BM_HeaderDates(benchmark::State& state) {
  parseAll(state, kHeaderDates, false);
}
void BM_SeparatorDates(benchmark::State& state) {
  parseAll(state, kSeparatorDates, true);
}

void BM_HeaderDatesInFull(benchmark::State& state) {
  parseAll(state, kHeaderDates, false, parseDateInFull);
}
void BM_SeparatorDatesInFull(benchmark::State& state) {
  parseAll(state, kSeparatorDates, true, parseDateInFull);
}
void BM_UsualHeaderDates(benchmark::State& state) {
  parseAll(state, kUsualHeaderDates, false);
}
void BM_UsualSeparatorDates(benchmark::State& state) {
  parseAll(state, kUsualSeparatorDates, true);
}
void BM_UsualHeaderDatesInFull(benchmark::State& state) {
  parseAll(state, kUsualHeaderDates, false, parseDateInFull);
}
void BM_UsualSeparatorDatesInFull(benchmark::State& state) {
  parseAll(state, kUsualSeparatorDates, true, parseDateInFull);
}

BENCHMARK(BM_HeaderDates);
BENCHMARK(BM_HeaderDatesInFull);
BENCHMARK(BM_SeparatorDates);
BENCHMARK(BM_SeparatorDatesInFull);
BENCHMARK(BM_UsualHeaderDates);
BENCHMARK(BM_UsualHeaderDatesInFull);
BENCHMARK(BM_UsualSeparatorDates);
BENCHMARK(BM_UsualSeparatorDatesInFull);

}  // namespace

BENCHMARK_MAIN();
