#include "mailbox/scanner.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mailbox/reference_scanner.h"

namespace {

using Events = std::vector<std::string>;

std::string describe(const MailMessage& m, bool atSeparator) {
  return std::string(atSeparator ? "sep" : "end") + " [" + m.fromLine + "] date [" + m.dateText +
         "] " + (m.hasReceivedLine ? "rcvd " : "sent ") + std::to_string(m.size);
}

ScanHandlers recorder(Events& events) {
  ScanHandlers handlers;
  handlers.message = [&events](MailMessage m, bool atSeparator) {
    events.push_back(describe(m, atSeparator));
  };
  handlers.headerTooLong = [&events](std::string_view text) {
    events.push_back("too long [" + std::string(text) + "]");
  };
  return handlers;
}

// Feeds `input` in pieces ending at the given offsets (and at its end),
// stopping when the scanner says more data can change nothing.
template <typename Scanner>
Events scan(const std::string& input, const std::vector<size_t>& cuts = {}) {
  Events events;
  Scanner scanner(recorder(events));
  size_t start = 0;
  std::vector<size_t> ends = cuts;
  ends.push_back(input.size());
  for (size_t end : ends) {
    if (end < start) continue;
    if (!scanner.feed(input.data() + start, end - start)) break;
    start = end;
  }
  scanner.finish();
  return events;
}

Events fast(const std::string& input) {
  return scan<MailboxScanner>(input);
}
Events reference(const std::string& input) {
  return scan<ReferenceScanner>(input);
}

const std::string kNineLines =
    "From a!b Mon Jan  7 10:12:01 2002\n"
    "Date: Mon, 7 Jan 2002 10:12:01\n"
    "\n"
    "Hi\n"
    "\n"
    "From c!d Tue Jan  8 10:12:01 2002\n"
    "Date: Tue, 8 Jan 2002\n"
    "\n"
    "Body2\n";

TEST(ScannerTest, SplitsMessagesAndCollectsTheirFacts) {
  struct Case {
    const char* what;
    std::string input;
    Events expected;
  };
  const std::string sep = "From a!b 1: x\n";
  const Case cases[] = {
      {"the worked example",
       kNineLines,
       {"sep [a!b Mon Jan  7 10:12:01 2002] date [Mon, 7 Jan 2002 10:12:01] sent 36",
        "end [c!d Tue Jan  8 10:12:01 2002] date [Tue, 8 Jan 2002] sent 6"}},
      {"not a mailbox", "Subject: x\n\nFrom a!b 1: x\n\nbody\n", {}},
      {"empty file", "", {}},
      {"blank file", " \t\r\n\n  ", {}},
      {"Ctrl-Z before the first byte",
       "\n\x1a"
       "From a!b 1: x\n",
       {}},
      {"blank lead-in", " \t\r\n\n" + sep + "\nbody\n", {"end [a!b 1: x] date [] sent 5"}},
      {"begins with F but no separator",
       "Fish\n\nFrom a!b 1: x\n\nb\n",
       {"end [a!b 1: x] date [] sent 2"}},
      {"From after a non-empty line is body",
       sep + "\nline\nFrom c!d 1: y\n",
       {"end [a!b 1: x] date [] sent 19"}},
      {"a short F line swallows the next line end",
       sep + "\nFro\n\nFrom c!d 1: y\n\nb\n",
       {"end [a!b 1: x] date [] sent 22"}},
      {"From and a tab is no separator",
       sep + "\nFrom\tc!d 1: y\n\nb\n",
       {"end [a!b 1: x] date [] sent 17"}},
      {"a rejected From line opens a header block",
       sep + "\nbody\n\nFrom here on\nReceived: x\nDate: Tue\n\nrest\n",
       {"end [a!b 1: x] date [Tue] rcvd 5"}},
      {"Received needs its exact case, at a header line's start",
       sep + "received: x\nRECEIVED: y\nReceive\n X Received\n\nReceived: z\n",
       {"end [a!b 1: x] date [] sent 12"}},
      {"Received needs no colon", sep + "Receivedxyz\n\n", {"end [a!b 1: x] date [] rcvd 0"}},
      {"Date needs an uppercase D and the colon right after it",
       sep + "date: 1\nDate : 2\nDate-Sent: 3\nDaTe:\t 4 \n\n",
       {"end [a!b 1: x] date [4 ] sent 0"}},
      {"the last Date line wins, even when blank",
       sep + "DATE: one\nDate: two\n\n" + sep + "Date: three\nDate:  \n\n",
       {"sep [a!b 1: x] date [two] sent 12", "end [a!b 1: x] date [] sent 0"}},
      {"a folded Date value is lost",
       sep + "Date:\n  Mon, 7 Jan 2002\n\n",
       {"end [a!b 1: x] date [] sent 0"}},
      {"a Date line without a final line end is dropped",
       sep + "Date: Mon",
       {"end [a!b 1: x] date [] sent 8"}},
      {"headers that never end are counted, less the Date colon and line end",
       sep + "X: 1\nDate: 2",
       {"end [a!b 1: x] date [] sent 11"}},
      {"Ctrl-Z ends the data",
       sep + "\nab\x1a\ncd\n\nFrom c!d 1: y\n",
       {"end [a!b 1: x] date [] sent 2"}},
      {"CR bytes are dropped everywhere",
       "\r\nFrom a!b 1: x\r\nDa\rte: \rMon\r\n\r\nb\rb\r\n",
       {"end [a!b 1: x] date [Mon] sent 3"}},
      {"bare MAILER-DAEMON", "From MAILER-DAEMON\n\nb\n", {"end [MAILER-DAEMON] date [] sent 2"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fast(c.input), c.expected) << c.what;
    EXPECT_EQ(reference(c.input), c.expected) << c.what;
  }
}

TEST(ScannerTest, ShortFromPrefixLineHidesTheEmptyLineAfterIt) {
  // The line end of a bare "F" ... "From" line does not end a line for the
  // scanner, so the empty line after it is not seen and the separator after
  // that is body text.
  for (const char* prefix : {"F", "Fr", "Fro", "From"}) {
    std::string input = "From a!b 1: x\n\n" + std::string(prefix) + "\n\nFrom c!d 1: y\n\nb\n";
    ASSERT_EQ(fast(input).size(), 1u) << prefix;
    EXPECT_EQ(
        fast("From a!b 1: x\n\n" + std::string(prefix) + "\nx\n\nFrom c!d 1: y\n\nb\n").size(), 2u)
        << prefix;
  }
}

TEST(ScannerTest, CrLfFileGivesTheSameMessagesAsLfFile) {
  std::string crlf;
  for (char c : kNineLines)
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(fast(crlf), fast(kNineLines));
}

TEST(ScannerTest, LongLinesAreCutAtTheCaptureLimit) {
  const std::string head = " a!b 1: x";  // a separator however much follows
  auto padded = [](std::string text, size_t length) {
    text.resize(length, 'y');
    return text;
  };
  std::string sep4095 = padded(head, 4095);
  std::string sep4096 = padded(head, 4096);
  std::string date4095 = padded(":", 4095);
  std::string date4096 = padded(":", 4096);
  std::string kept4095 = padded(":", 4095).substr(1);

  Events whole = fast("From" + sep4095 + "\nDate" + date4095 + "\n\nb\n");
  ASSERT_EQ(whole.size(), 1u);
  EXPECT_EQ(whole[0], "end [" + sep4095.substr(1) + "] date [" + kept4095 + "] sent 2");

  Events cut = fast("From" + sep4096 + "\nDate" + date4096 + "\n\nb\n");
  Events expected = {"too long [" + sep4096.substr(0, 4095) + "]",
                     "too long [" + date4096.substr(0, 4095) + "]",
                     "end [" + sep4095.substr(1) + "] date [" + kept4095 + "] sent 2"};
  EXPECT_EQ(cut, expected);

  // The warning comes as the limit is reached, even for a line that never
  // ends, and for a body paragraph that only looks like a separator.
  EXPECT_EQ(fast("From" + sep4096),
            (Events{"too long [" + sep4096.substr(0, 4095) + "]", "end [] date [] sent 4098"}));
  Events body = fast("From a!b 1: x\n\nb\n\nFrom" + padded(" long paragraph", 5000) + "\n\nc\n");
  ASSERT_EQ(body.size(), 2u);
  EXPECT_EQ(body[0], "too long [" + padded(" long paragraph", 4095) + "]");
  EXPECT_EQ(body[1], "end [a!b 1: x] date [] sent 2");
}

TEST(ScannerKernelsTest, VectorSearchesFindWhatThePlainLoopsFind) {
  std::mt19937 rng(99);
  std::uniform_int_distribution<int> pick(0, 199);
  for (int round = 0; round < 200; ++round) {
    std::string buffer(300, 'a');
    int density = 1 + round % 50;  // from crowded to sparse special bytes
    for (char& c : buffer) {
      int r = pick(rng);
      if (r < density) c = "\n\n\r\x1a"[r % 4];
    }
    const char* base = buffer.data();
    for (size_t start = 0; start < 80; ++start) {
      for (size_t end : {start, start + 1, start + 2, start + 64, start + 65, start + 66,
                         start + 130, buffer.size()}) {
        end = std::min(end, buffer.size());
        ASSERT_EQ(scan_kernels::findBodyStop(base + start, base + end),
                  scan_kernels::findBodyStopPlain(base + start, base + end));
        ASSERT_EQ(scan_kernels::findLineStop(base + start, base + end),
                  scan_kernels::findLineStopPlain(base + start, base + end));
      }
    }
  }
}

// Inputs built from the pieces that matter to the state table, so that
// random strings reach every state, and sometimes the capture limit.
std::string randomMailbox(std::mt19937& rng) {
  static const char* const kPieces[] = {
      "\n",
      "\n\n",
      "From ",
      "From a!b 1: x\n",
      "From c@d x 12:00 y\n",
      "From ",
      "F",
      "Fr",
      "Fro",
      "From",
      "Received",
      "Receive",
      "Date:",
      "DATE: x",
      "dAte:",
      "Date",
      "date:",
      " ",
      "\t",
      "\r",
      "\r\n",
      "x",
      "body text",
      "Mon Jan  7 10:12:01 2002",
      "From MAILER-DAEMON\n",
      "R",
      "D",
      "\x1a",
      std::string_view("\0", 1).data(),
  };
  std::uniform_int_distribution<size_t> pick(0, std::size(kPieces) - 1);
  std::uniform_int_distribution<int> length(0, 60);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string text = std::uniform_int_distribution<int>(0, 3)(rng) == 0 ? "" : "From a!b 1: x\n";
  int pieces = length(rng);
  for (int i = 0; i < pieces; ++i) {
    size_t k = pick(rng);
    if (kPieces[k][0] == '\x1a' && byte(rng) > 20) continue;  // keep Ctrl-Z rare
    if (kPieces[k][0] == '\0') {
      text += static_cast<char>(byte(rng));
    } else {
      text += kPieces[k];
    }
    if (byte(rng) < 3) text.append(4090 + byte(rng) % 12, 'z');  // around the capture limit
  }
  return text;
}

TEST(ScannerTest, MatchesThePerByteTableOnRandomInputs) {
  std::mt19937 rng(20240607);
  for (int round = 0; round < 3000; ++round) {
    std::string input = randomMailbox(rng);
    ASSERT_EQ(fast(input), reference(input)) << "round " << round;
  }
}

TEST(ScannerTest, GivesTheSameResultWhereverTheChunksAreCut) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    std::string input = randomMailbox(rng);
    if (input.size() > 600) continue;  // every split of every input is quadratic
    Events whole = fast(input);
    for (size_t cut = 0; cut <= input.size(); ++cut) {
      ASSERT_EQ(scan<MailboxScanner>(input, {cut}), whole) << "round " << round << " cut " << cut;
    }
    std::vector<size_t> everyByte;
    for (size_t i = 1; i < input.size(); ++i)
      everyByte.push_back(i);
    ASSERT_EQ(scan<MailboxScanner>(input, everyByte), whole) << "round " << round;
  }
}

}  // namespace
