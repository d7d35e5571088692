#include "scan/scanner.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scan/ranges_test_util.h"
#include "scan/reference_scanner.h"

namespace {

// The scanner's reports, in order, joined by " | ".
ScanHandlers recorder(std::string& log) {
  auto add = [&log](const std::string& event) { log += (log.empty() ? "" : " | ") + event; };
  ScanHandlers handlers;
  handlers.message = [add](const MailMessage& m, bool atSeparator) {
    std::string text = std::string(atSeparator ? "sep" : "end") + " [";
    text.append(m.fromLine).append("] date [").append(m.dateText).append("] ");
    text += (m.hasReceivedLine ? "rcvd " : "sent ") + std::to_string(m.size);
    if (!m.fromHeader.empty()) text.append(" from [").append(m.fromHeader).append("]");
    if (m.hasGmailLabels) text += " gmail";
    if (m.hasMessageId) text.append(" id [").append(m.messageId).append("]");
    add(text);
  };
  handlers.headerTooLong = [add](std::string_view text) {
    add("too long [" + std::string(text) + "]");
  };
  return handlers;
}

// How the scanner is set up beyond a plain mailbox's reading.
struct Reading {
  ScanOptions options;
  bool oneMessage = false;
};

// Feeds `input` in pieces ending at the given offsets (and at its end),
// stopping when the scanner says more data can change nothing. Each piece
// is fed from a buffer that is scribbled over once fed, as a reader's
// buffer is refilled: what the scanner hands on later must not point there.
template <typename Scanner>
std::string scanWith(Scanner scanner, std::string& log, const std::string& input,
                     const std::vector<size_t>& cuts, bool oneMessage) {
  // The name is gone once the call returns: the scanner keeps its own copy.
  if (oneMessage) scanner.startOneMessage(std::string("file"));
  size_t start = 0;
  std::vector<size_t> ends = cuts;
  ends.push_back(input.size());
  for (size_t end : ends) {
    if (end < start) continue;
    std::vector<char> piece(input.begin() + static_cast<ptrdiff_t>(start),
                            input.begin() + static_cast<ptrdiff_t>(end));
    bool more = scanner.feed(piece.data(), piece.size());
    std::fill(piece.begin(), piece.end(), '#');
    if (!more) break;
    start = end;
  }
  scanner.finish();
  if (scanner.listLines() != 0) log += " | list lines " + std::to_string(scanner.listLines());
  return log;
}

std::string scan(const std::string& input, const std::vector<size_t>& cuts = {},
                 ByteSearch search = ByteSearch::avx2, const Reading& setup = {}) {
  std::string log;
  return scanWith(MailboxScanner(recorder(log), setup.options, search), log, input, cuts,
                  setup.oneMessage);
}

std::string scanReference(const std::string& input, const Reading& setup = {}) {
  std::string log;
  return scanWith(ReferenceScanner(recorder(log), setup.options), log, input, {}, setup.oneMessage);
}

// Each row holds both scanners to a rule; the random test below then holds
// the fast one, vector searches included, to the reference everywhere else.
TEST(ScannerTest, SplitsMessagesAndCollectsTheirFacts) {
  const std::string sep = "From a!b 1: x\n";
  const std::string one = "end [a!b 1: x] date [";
  const struct {
    std::string input;
    std::string expected;
  } cases[] = {
      {"\n\x1a" + sep, ""},  // Ctrl-Z before the first byte
      {"Fish\n\n" + sep + "\nb\n", one + "] sent 2"},
      {sep + "\nline\nFrom c!d 1: y\n", one + "] sent 19"},        // From after a non-empty line
      {sep + "\nFro\n\nFrom c!d 1: y\n\nb\n", one + "] sent 22"},  // a short F line hides the \n
      {sep + "\nFrom\tc!d 1: y\n\nb\n", one + "] sent 17"},
      // A rejected From line after an empty one opens a header block.
      {sep + "\nbody\n\nFrom here on\nReceived: x\nDate: Tue\n\nrest\n", one + "Tue] rcvd 5"},
      // Paragraphs that begin with "From ": each ends a header block of its own.
      {sep + "\nFrom here on\n\nFrom there\n\nDate: x\n\nb\n", one + "] sent 11"},
      {sep + "\nFrom here on\n\nFrom there\nDate: y\n\nb\n", one + "y] sent 2"},
      {sep + "\nFrom here on\n\nFrom there\r\n\r\nb\n", one + "] sent 2"},
      // A NUL ends the text a separator is judged on, not the line; a CR
      // inside a line is dropped from it.
      {std::string("From a!b 1: x\0y\n\nb\n", 19),
       std::string("end [a!b 1: x\0y] date [] sent 2", 31)},
      {sep + std::string("\nFrom c!d\0 1: y\n\nb\n", 19), one + "] sent 2"},
      // Past its first bytes, a separator line is judged all the same.
      {sep + "\nFrom c!d " + std::string(150, 'x') + " 1: y\n\nb\n",
       "sep [a!b 1: x] date [] sent 163 | end [c!d " + std::string(150, 'x') +
           " 1: y] date [] sent 2"},
      {sep + "\nFrom c!d " + std::string(150, 'x') + std::string("\0 1: y\n\nb\n", 10),
       one + "] sent 2"},
      {sep + "\nFrom c!d 1\r: y\nDate: a\rb\n\nb\n",
       "sep [a!b 1: x] date [] sent 12 | end [c!d 1: y] date [ab] sent 2"},
      // Received needs its exact case at a header line's start, but no colon.
      {sep + "received: x\nRECEIVED: y\nReceive\n X Received\n\nReceived: z\n", one + "] sent 12"},
      {sep + "Receivedxyz\n\n", one + "] rcvd 0"},
      // Date needs an uppercase D and the colon right after it; the last
      // wins, even when blank; a folded or unterminated value is lost.
      {sep + "date: 1\nDate : 2\nDate-Sent: 3\nDaTe:\t 4 \n\n", one + "4 ] sent 0"},
      {sep + "DATE: one\nDate: two\n\n" + sep + "Date: three\nDate:  \n\n",
       "sep [a!b 1: x] date [two] sent 12 | " + one + "] sent 0"},
      {sep + "Date:\n  Mon\n\n", one + "] sent 0"},
      {sep + "Date: Mon", one + "] sent 8"},
      // Headers that never end count, less the Date colon and line end.
      {sep + "X: 1\nDate: 2", one + "] sent 11"},
      {"\r\nFrom a!b 1: x\r\nDa\rte: \rMon\r\n\r\nb\rb\r\n", one + "Mon] sent 3"},
      {"From MAILER-DAEMON\n\nb\n", "end [MAILER-DAEMON] date [] sent 2"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(scan(c.input), c.expected) << c.input;
    EXPECT_EQ(scanReference(c.input), c.expected) << c.input;
  }
}

TEST(ScannerTest, LongLinesAreCutAtTheCaptureLimit) {
  auto padded = [](std::string text, size_t length) {
    text.resize(length, 'y');
    return text;
  };
  const std::string sep4095 = padded(" a!b 1: x", 4095), sep4096 = padded(" a!b 1: x", 4096);
  const std::string kept = padded(":", 4095).substr(1);
  const std::string end = "end [" + sep4095.substr(1) + "] date [" + kept + "] sent 2";

  EXPECT_EQ(scan("From" + sep4095 + "\nDate" + padded(":", 4095) + "\n\nb\n"), end);
  EXPECT_EQ(
      scan("From" + sep4096 + "\nDate" + padded(":", 4096) + "\n\nb\n"),
      "too long [" + sep4096.substr(0, 4095) + "] | too long [" + padded(":", 4095) + "] | " + end);
  // The warning comes as the limit is reached, even for a line that never
  // ends, and for a body paragraph that only looks like a separator.
  EXPECT_EQ(scan("From" + sep4096),
            "too long [" + sep4096.substr(0, 4095) + "] | end [] date [] sent 4098");
  EXPECT_EQ(scan("From a!b 1: x\n\nb\n\nFrom" + padded(" long paragraph", 5000) + "\n\nc\n"),
            "too long [" + padded(" long paragraph", 4095) + "] | end [a!b 1: x] date [] sent 2");
}

// Under captureMessageId, the first Message-ID header of each message is
// kept, its name in any case after the "M", folded lines included, and cut
// at the capture limit without a warning.
TEST(ScannerTest, KeepsTheFirstMessageIdOfEachMessage) {
  const std::string sep = "From a!b 1: x\n";
  const std::string one = "end [a!b 1: x] date [] sent ";
  const std::string longId(5000, 'i');
  const struct {
    std::string input;
    std::string expected;
  } cases[] = {
      {sep + "Message-ID: <a@b>\n\nbody\n", one + "5 id [ <a@b>]"},
      {sep + "Message-Id:<a@b>\nMESSAGE-ID: x\n\n", one + "0 id [<a@b>]"},
      {sep + "message-id: <a@b>\nMessage-ID : x\nMessage-IDs: y\nMessage_ID: z\n\n", one + "0"},
      {sep + "Message-ID:\n <a@b>\n\tc\nX: 1\n\n", one + "0 id [\n <a@b>\n\tc]"},
      {sep + "Subject: s\r\nMessage-ID: <a@b>\r\n\r\nb\r\n", one + "2 id [ <a@b>]"},
      // Text mode drops a CR anywhere in the name, and never takes it for the "-".
      {sep + "Mess\rage-ID: <a@b>\n\n", one + "0 id [ <a@b>]"},
      {sep + "Message\rID: <a@b>\n\n", one + "0"},
      {sep + "\nMessage-ID: <in the body>\n", one + "26"},
      {sep + "Message-ID: " + longId + "\n\n", one + "0 id [ " + longId.substr(0, 4093) + "]"},
      {sep + "Message-ID: <a@b>\n\n" + sep + "X: 1\n\n",
       "sep [a!b 1: x] date [] sent 12 id [ <a@b>] | " + one + "0"},
  };
  Reading ids;
  ids.options.captureMessageId = true;
  for (const auto& c : cases) {
    EXPECT_EQ(scan(c.input, {}, ByteSearch::avx2, ids), c.expected) << c.input;
    EXPECT_EQ(scanReference(c.input, ids), c.expected) << c.input;
  }
}

// Data that is one message is read whole: after its header block, nothing
// in it is a separator, a header line or a new header block.
TEST(ScannerTest, OneMessageHasOneHeaderBlockAndABodyToTheEnd) {
  const struct {
    std::string input;
    std::string expected;
  } cases[] = {
      {"Date: 1\n\nHi\n\nFrom what I can tell\nDate: 2\nReceived: x\n\nend\n",
       "end [file] date [1] sent 50"},
      {"Date: 1\n\nFrom a!b Mon Jan  7 10:12:01 2002\nDate: 2\n\nb\n",
       "end [file] date [1] sent 45"},
      {"Received: x\nDate: 1\n\nb\r\n\r\nFrom me\r\n\x1a\nmore", "end [file] date [1] rcvd 11"},
      {"Date: 1\nX: 2\n", "end [file] date [1] sent 11"},  // no body: the header bytes count
  };
  Reading one;
  one.oneMessage = true;
  Reading oneWithIds = one;
  oneWithIds.options.captureMessageId = true;
  oneWithIds.options.captureFrom = true;
  for (const auto& c : cases) {
    for (const Reading* reading : {&one, &oneWithIds}) {
      EXPECT_EQ(scan(c.input, {}, ByteSearch::avx2, *reading), c.expected) << c.input;
      EXPECT_EQ(scanReference(c.input, *reading), c.expected) << c.input;
    }
  }
  EXPECT_EQ(scan("Date: 1\n\nb\n\nMessage-ID: <x>\nFrom: me\n", {}, ByteSearch::avx2, oneWithIds),
            "end [file] date [1] sent 28");
}

// Inputs built from the pieces that matter to the state table, so that
// random strings reach every state, and sometimes the capture limit; and
// from the runs the scanner skips in bulk (body and header lines, runs of
// empty lines, CR LF line ends), of lengths around the vector block.
std::string randomMailbox(std::mt19937& rng) {
  // The empty piece stands for a random byte. Formatting by hand: the
  // formatter puts each piece that ends in a line end on a line of its own.
  // clang-format off
  static const char* const kPieces[] = {
      "\n", "\n\n", "From ", "From ", "From a!b 1: x\n", "From c@d x 12:00 y\n", "F", "Fr", "Fro",
      "From", "R", "Received", "Receive", "D", "Date", "Date:", "dAte:", "date:", "DATE: x", " ",
      "\t", "\r", "\r\n", "x", "body text", "Mon Jan  7 10:12:01 2002", "From MAILER-DAEMON\n",
      "\nReceived: x\n", "\nDate: Mon\n", "\x1a", "From:", "\nFrom: a@b\n", "\nfROM: c@d", "\n\t",
      "From jane at example.com  Tue Jan  3 10:00:00 2017\n", "Tue Jan  3 10:00:00 EDT 2017\n",
      "X", "X-Gmail-Label", "X-Gmail-Labels", "\nX-Gmail-Labels: Sent\n", "X-Gmail-Labels:",
      "M", "Message", "Message-ID:", "Message-Id: <a@b>", "\nMessage-ID: <c@d>\n", "MESSAGE-id:",
      "message-id:", "Message-", "Message-ID", ""};
  // clang-format on
  std::uniform_int_distribution<size_t> pick(0, std::size(kPieces) + 2);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<size_t> runLength(1, 150);
  std::string text = byte(rng) < 64 ? "" : "From a!b 1: x\n";
  for (int i = std::uniform_int_distribution<int>(0, 60)(rng); i > 0; --i) {
    size_t choice = pick(rng);
    if (choice == std::size(kPieces)) {
      text.append(runLength(rng), '\n');  // empty lines
    } else if (choice == std::size(kPieces) + 1) {
      for (size_t n = runLength(rng); n > 0; --n)  // a line of text, or of CRs and LFs
        text += "ab \r\n"[byte(rng) % (byte(rng) < 128 ? 3 : 5)];
      text += '\n';
    } else if (choice == std::size(kPieces) + 2) {
      for (size_t n = runLength(rng); n > 0; --n)  // empty lines, some with CRs
        text += byte(rng) < 64 ? "\r\n" : "\n";
    } else {
      const char* piece = kPieces[choice];
      if (piece[0] == '\x1a' && byte(rng) > 20) continue;  // keep Ctrl-Z rare
      text += piece[0] ? std::string(piece) : std::string(1, static_cast<char>(byte(rng)));
    }
    if (byte(rng) < 3) text.append(4090 + byte(rng) % 12, 'z');  // around the capture limit
  }
  // Now and then a stretch longer than the vector searches count CRs in one
  // go (8 KiB): CR LF empty lines, or a line with a CR every other byte.
  if (byte(rng) < 16) {
    std::string stretch = byte(rng) < 128 ? "\r\n" : "x\r";
    std::string run;
    for (int n = 4200 + byte(rng) * 20; n > 0; --n)
      run += stretch;
    text.insert(std::uniform_int_distribution<size_t>(0, text.size())(rng), run);
  }
  // A quarter of the files have CR LF line ends, and the scanner picks its
  // searches by the first line end: give some of them a bare LF first.
  if (byte(rng) < 64) {
    std::string crLf;
    bool first = byte(rng) < 128;
    for (char c : text) {
      if (c == '\n' && !first) crLf += '\r';
      if (c == '\n') first = false;
      crLf += c;
    }
    text = crLf;
  }
  return text;
}

// The readings options switch on, each alone and all together; every round
// runs under one of them.
Reading randomReading(int round) {
  Reading setup;
  switch (round % 7) {
    case 1:
      setup.options.captureFrom = true;
      break;
    case 2:
      setup.options.listSeparators = true;
      break;
    case 3:
      // -summary: list lines counted and Gmail's labels watched.
      setup.options.countListLines = true;
      setup.options.watchGmailLabels = true;
      setup.options.captureMessageId = true;
      setup.oneMessage = round % 2 == 0;
      break;
    case 4:
      setup.options = {true, false, true, false};
      setup.oneMessage = round % 3 == 0;
      break;
    case 5:
      setup.options.captureMessageId = true;
      setup.oneMessage = round % 2 == 0;
      break;
    case 6:
      setup.options = {true, false, true, false, true};
      setup.oneMessage = round % 3 == 0;
      break;
  }
  return setup;
}

// The records the reference hands on for `input` read as one message.
std::vector<KeptMessage> oneMessageRecords(const std::string& input, const Reading& setup) {
  std::vector<KeptMessage> records;
  ScanHandlers handlers;
  handlers.message = [&records](const MailMessage& m, bool) {
    keepMessage(m, records.emplace_back());
  };
  handlers.headerTooLong = [](std::string_view) {};
  ReferenceScanner scanner(handlers, setup.options);
  scanner.startOneMessage("file");
  scanner.feed(input.data(), input.size());
  scanner.finish();
  return records;
}

// One message worked out without the table's body states: its facts are
// those of its header block alone, and its size is every byte after that
// block, CRs left out, up to a Ctrl-Z.
void expectReadWhole(const std::string& input, const Reading& setup) {
  std::string text = input.substr(0, input.find('\x1a'));
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  size_t blank = text.starts_with('\n') ? 0 : text.find("\n\n");
  if (blank == std::string::npos) return;  // no body
  size_t bodyStart = blank == 0 ? 1 : blank + 2;
  std::vector<KeptMessage> whole = oneMessageRecords(input, setup);
  std::vector<KeptMessage> header = oneMessageRecords(text.substr(0, bodyStart), setup);
  ASSERT_EQ(whole.size(), 1u);
  ASSERT_EQ(header.size(), 1u);
  EXPECT_EQ(whole[0].hasReceivedLine, header[0].hasReceivedLine);
  EXPECT_EQ(whole[0].dateText, header[0].dateText);
  EXPECT_EQ(whole[0].fromHeader, header[0].fromHeader);
  EXPECT_EQ(whole[0].hasMessageId, header[0].hasMessageId);
  EXPECT_EQ(whole[0].messageId, header[0].messageId);
  EXPECT_EQ(whole[0].hasGmailLabels, header[0].hasGmailLabels);
  EXPECT_EQ(whole[0].size, static_cast<uint32_t>(text.size() - bodyStart));
}

TEST(ScannerTest, MatchesThePerByteTableWhereverTheChunksAreCut) {
  std::mt19937 rng(20240607);
  for (int round = 0; round < 4000; ++round) {
    std::string input = randomMailbox(rng);
    Reading setup = randomReading(round);
    std::string whole = scanReference(input, setup);
    for (ByteSearch search : {ByteSearch::plain, ByteSearch::sse2, ByteSearch::avx2})
      ASSERT_EQ(scan(input, {}, search, setup), whole) << "round " << round;
    if (setup.oneMessage) {
      SCOPED_TRACE("round " + std::to_string(round));
      expectReadWhole(input, setup);
    }
    // Every split of every input is quadratic: only some short ones.
    if (round % 10 > 1 || input.size() > 600) continue;
    for (size_t cut = 0; cut <= input.size(); ++cut)
      ASSERT_EQ(scan(input, {cut}, ByteSearch::avx2, setup), whole)
          << "round " << round << " cut " << cut;
    std::vector<size_t> everyByte(input.size());
    for (size_t i = 0; i < input.size(); ++i)
      everyByte[i] = i;
    ASSERT_EQ(scan(input, everyByte, ByteSearch::avx2, setup), whole) << "round " << round;
  }
}

// A body's search goes past runs of empty lines and paragraph breaks that
// no "F" follows; each row puts what it must still see past the first
// vector block, after a first paragraph break, where every search runs.
TEST(ScannerTest, EmptyLinesBeforeFromAreSeenWhereverTheSearchSkips) {
  const std::string sep = "From a!b 1: x\n";
  const std::string lfs(100, '\n');
  const std::string next = "From c!d 1: y\n\nb\n";
  const std::string two = ": y] date [] sent 2";
  const struct {
    std::string input;
    std::string expected;
  } cases[] = {
      {sep + "\na\n\nb\n" + lfs + next, "sep [a!b 1: x] date [] sent 117 | end [c!d 1" + two},
      // A CR after the empty lines is dropped: "From " still follows one.
      {sep + "\na\n\nb\n" + lfs + "\r" + next,
       "sep [a!b 1: x] date [] sent 117 | end [c!d 1" + two},
      {sep + "\na\n\nb\n" + lfs + "x\r" + next, "end [a!b 1: x] date [] sent 123"},
      {sep + "\na\n\nb\nline\n\n\r" + next, "sep [a!b 1: x] date [] sent 23 | end [c!d 1" + two},
      // An "F" that does not begin "From " leaves the body as it was.
      {sep + "\na\n\nb\n" + lfs + "Fine\n" + lfs + "c\n", "end [a!b 1: x] date [] sent 212"},
      {sep + "\na\n\nb\n" + lfs + "From\n\nc\n", "end [a!b 1: x] date [] sent 113"},
  };
  for (const auto& c : cases) {
    for (ByteSearch search : {ByteSearch::plain, ByteSearch::sse2, ByteSearch::avx2})
      EXPECT_EQ(scan(c.input, {}, search), c.expected) << c.input;
    EXPECT_EQ(scanReference(c.input), c.expected) << c.input;
  }
}

// Watching From: headers, taking list-archive separators and reading one
// message change only what they are for: sizes, dates and Received marks
// stay as a plain reading gives them.
TEST(ScannerTest, ReadingOptionsChangeOnlyWhatTheyAreFor) {
  const std::string box =
      "From a!b 1: x\nFrom: Dana\n <dana@example.com>\nfrom:x\nDate: 1\n\nbody\n\n"
      "From jane at gmail.com  Tue Jan  3 10:00:00 2017\nFrom: jane@x\nReceived: y\n\nb2\n";
  Reading from;
  from.options.captureFrom = true;
  Reading lists;
  lists.options.listSeparators = true;
  Reading fromAndLists;
  fromAndLists.options = {true, false, true, false};
  Reading count;
  count.options.countListLines = true;
  Reading one;
  one.oneMessage = true;
  // Without -lists the refused list line opens a header block in the first
  // message, whose Received line and body it then takes.
  const std::string listMessage =
      "end [jane at gmail.com  Tue Jan  3 10:00:00 2017] date [] rcvd 3";
  const struct {
    const Reading& reading;
    std::string expected;
  } cases[] = {
      {Reading{}, "end [a!b 1: x] date [1] rcvd 3"},
      {from, "end [a!b 1: x] date [1] rcvd 3 from [ jane@x]"},
      {count, "end [a!b 1: x] date [1] rcvd 3 | list lines 1"},
      {lists, "sep [a!b 1: x] date [1] sent 53 | " + listMessage},
      {fromAndLists, "sep [a!b 1: x] date [1] sent 53 from [ Dana\n <dana@example.com>] | " +
                         listMessage + " from [ jane@x]"},
      // One message: the list line and all after it are body.
      {one, "end [file] date [1] sent 84"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(scan(box, {}, ByteSearch::avx2, c.reading), c.expected);
    EXPECT_EQ(scanReference(box, c.reading), c.expected);
  }
  // A folded From: keeps its line end and blank; the last From: wins.
  EXPECT_EQ(scan("From a!b 1: x\nFrom: Dana\n\t<d@e>\nX: 1\n\nb\n", {}, ByteSearch::avx2, from),
            "end [a!b 1: x] date [] sent 2 from [ Dana\n\t<d@e>]");
}

// Gmail's label header marks a message only while it is watched, only at
// the start of a header line, and only spelt as Gmail spells it; watching
// changes no size.
TEST(ScannerTest, GmailLabelsMarkTheMessageOnlyWhileWatched) {
  const std::string sep = "From a!b 1: x\n";
  Reading watch;
  watch.options.watchGmailLabels = true;
  const struct {
    std::string input;
    const char* watched;
    const char* plain;
  } cases[] = {
      {sep + "X-Gmail-Labels: Sent,Inbox\n\nb\n", "end [a!b 1: x] date [] sent 2 gmail",
       "end [a!b 1: x] date [] sent 2"},
      {sep + "Subject: x\r\nX-Gmail-Labels:Sent\r\n\r\nb\r\n",
       "end [a!b 1: x] date [] sent 2 gmail", "end [a!b 1: x] date [] sent 2"},
      {sep + "x-gmail-labels: Sent\nX-Gmail-Labels : Sent\nX-Gmail-Label: x\n\nb\n",
       "end [a!b 1: x] date [] sent 2", "end [a!b 1: x] date [] sent 2"},
      {sep + "Subject: X-Gmail-Labels: Sent\n\nX-Gmail-Labels: body\n",
       "end [a!b 1: x] date [] sent 21", "end [a!b 1: x] date [] sent 21"},
      // Each message on its own: the mark does not carry to the next one.
      {sep + "X-Gmail-Labels: Sent\n\nb\n\n" + sep + "\nc\n",
       "sep [a!b 1: x] date [] sent 15 gmail | end [a!b 1: x] date [] sent 2",
       "sep [a!b 1: x] date [] sent 15 | end [a!b 1: x] date [] sent 2"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(scan(c.input, {}, ByteSearch::avx2, watch), c.watched) << c.input;
    EXPECT_EQ(scanReference(c.input, watch), c.watched) << c.input;
    EXPECT_EQ(scan(c.input), c.plain) << c.input;
    // Cut anywhere inside the header's name, the mark still comes.
    for (size_t cut = sep.size(); cut < sep.size() + 40 && cut < c.input.size(); ++cut)
      EXPECT_EQ(scan(c.input, {cut}, ByteSearch::avx2, watch), c.watched) << cut;
  }
}

// The log of `input` read in ranges starting at `starts`.
std::string scanInRanges(const std::string& input, const std::vector<size_t>& starts,
                         const Reading& setup) {
  std::string log;
  uint64_t listLines = scanInRanges(input, starts, setup.options, recorder(log));
  if (listLines != 0) log += " | list lines " + std::to_string(listLines);
  return log;
}

TEST(ScannerTest, RangesCutWhereFindCutSaysReadAsTheWhole) {
  std::mt19937 rng(20261209);
  for (int round = 0; round < 4000; ++round) {
    Reading setup = randomReading(round);
    if (setup.oneMessage) continue;  // a message file is read whole
    std::string input = "From a!b 1: x\n" + randomMailbox(rng);
    // What a cut must not change: a line that is a prefix of "From" before
    // an empty line, and a refused "From " line whose header lines change
    // the message it is in (an empty Date value, a size counted anew).
    static const char* const kAcrossCuts[] = {
        "\nF\n\n",
        "\nFrom\n\r\n",
        "\n\nFrom a!b 1: x\n",
        "\n\nFrom words\nDate:\n\n",
        "\n\nFrom x\nReceived: 1\nFrom: z\nMessage-ID: <i>\n\n",
        "\nFro\n\n\nFrom a!b 1: x\n"};
    for (int n = static_cast<int>(rng() % 6); n > 0; --n) {
      // After the first line, the separator a file read in ranges begins with.
      size_t firstLine = 14;
      input.insert(firstLine + rng() % (input.size() - firstLine + 1),
                   kAcrossCuts[rng() % std::size(kAcrossCuts)]);
    }
    std::vector<size_t> cuts = everyCut(input);
    std::vector<size_t> starts = {0};
    // Every cut, or a random few of them.
    for (size_t cut : cuts) {
      if (round % 2 == 0 || rng() % 3 == 0) starts.push_back(cut);
    }
    ASSERT_EQ(scanInRanges(input, starts, setup), scan(input, {}, ByteSearch::avx2, setup))
        << "round " << round << " input " << input;
  }
}

// Where a mailbox may be cut: after two line ends that meet, CRs between
// them left out, unless the line before them may read a prefix of "From"
// alone, or starts before the bytes looked at.
TEST(ScannerTest, FindCutTakesOnlyLineEndsThatSurelyMeetInABody) {
  const struct {
    std::string bytes;
    size_t cut;
  } cases[] = {
      {"\nx\n\nFrom ", 4},
      {"\nx\n\r\r\nFrom ", 6},
      {"\nabc\n\n", 6},
      {"\n\n\n", 3},                    // the line before the pair is empty
      {"abcde\n\nz", 7},                // five bytes: not a prefix of "From"
      {"abc\n\nz", std::string::npos},  // where the line starts is not seen
      {"\nFrom\n\nx\n\n", 10},          // "From" alone: the next pair
      {"\nF\n\n\n", 5},                 // "F" alone: its empty line is not yet one
      {"\nFr\r\n\r\n", std::string::npos},
      {"\nFroM\n\n", 7},
      {"\nx\r\n \r\n", std::string::npos},  // a blank line is not empty
      {"\nx\n", std::string::npos},
      {"", std::string::npos},
  };
  for (const auto& c : cases)
    EXPECT_EQ(findCut(c.bytes), c.cut) << c.bytes;
}

}  // namespace
