// Writes the synthetic mail that run_bench.sh reads: one mailbox file of a
// given shape and size, or a tree of many small mailboxes, or a Maildir of
// one message per file. The output depends only on the arguments, so every
// run of the benchmark reads the same bytes.
//
// usage: make_mailbox SHAPE MEBIBYTES OUTPUT
//        make_mailbox tree FILES DIRECTORY
//        make_mailbox maildir FILES DIRECTORY
//        make_mailbox ids MESSAGES OUTPUT
//        make_mailbox folders FILES DIRECTORY
//
// Shapes of a single file:
//   realistic        about 5.9 KiB a message (about 180,000 messages a GiB),
//                    60% received with several Received lines, folded
//                    headers, text bodies, and about half of all bytes in
//                    base64 attachments
//   crlf             the same mail with CR LF line ends
//   tiny             a separator, one Date line and a 60-byte body
//   headers          30 folded Received lines and a 400-byte Date line
//   blank-runs       short bodies between long runs of empty lines
//   from-paragraphs  bodies whose paragraphs begin "From " without being
//                    separators
//   long-lines       Date lines and "From " paragraphs whose captured text
//                    has 4,095, 4,096 or 9,000 bytes
// An ids mailbox holds MESSAGES small messages, each with a Message-ID of
// its own, for the memory and time -unique takes to tell them apart.
//   from-lines       bodies of 5,000 paragraphs of one line each, "From "
//                    and 30 to 70 bytes of words, every one refused as a
//                    separator
// A tree holds FILES small mailboxes of one to three messages, a thousand
// to a directory; "folders" holds FILES mailboxes of 2 to 5 KiB in 100
// directories, as a mail client's folders; a Maildir holds FILES messages in cur/ and new/ (tmp/ is
// empty), without separator lines, as Maildir keeps them.

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// splitmix64: small, fast and the same everywhere.
struct Random {
  uint64_t state;
  uint64_t next() {
    uint64_t z = (state += 0x9e3779b97f4a7c15u);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
  }
  // 0 to n - 1.
  uint32_t below(uint32_t n) { return static_cast<uint32_t>((next() >> 32) * n >> 32); }
  bool chance(uint32_t percent) { return below(100) < percent; }
};

const char* const kWords[] = {
    "the",      "of",       "and",      "to",       "meeting", "report",   "we",     "please",
    "attached", "budget",   "project",  "Thursday", "review",  "thanks",   "I",      "think",
    "would",    "could",    "schedule", "update",   "draft",   "version",  "next",   "week",
    "team",     "customer", "invoice",  "server",   "release", "question", "about",  "a",
    "is",       "for",      "on",       "with",     "this",    "that",     "should", "agenda",
};
const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

struct Date {
  int year, month, day, hour, minute, second, weekday;
};

struct Writer {
  Random random{20240607};
  std::string out;
  uint64_t messageNumber = 0;

  void add(const std::string& text) { out += text; }

  std::string number(uint64_t n) { return std::to_string(n); }

  std::string word() { return kWords[random.below(std::size(kWords))]; }

  std::string address() {
    return "user" + number(random.below(5000)) + "@host" + number(random.below(300)) + ".example";
  }

  Date date() {
    return Date{1995 + static_cast<int>(random.below(31)), static_cast<int>(random.below(12)),
                1 + static_cast<int>(random.below(28)),    static_cast<int>(random.below(24)),
                static_cast<int>(random.below(60)),        static_cast<int>(random.below(60)),
                static_cast<int>(random.below(7))};
  }

  static std::string two(int n) {
    char text[3] = {static_cast<char>('0' + n / 10 % 10), static_cast<char>('0' + n % 10), 0};
    return text;
  }

  // "Mon Jan  7 10:12:01 2002", as on separator lines.
  std::string ctime(const Date& d) {
    std::string day = std::to_string(d.day);
    if (day.size() == 1) day = " " + day;
    return std::string(kDays[d.weekday]) + " " + kMonths[d.month] + " " + day + " " + two(d.hour) +
           ":" + two(d.minute) + ":" + two(d.second) + " " + std::to_string(d.year);
  }

  // "Mon, 7 Jan 2002 10:12:01 +0100", as in Date headers.
  std::string rfc822(const Date& d) {
    return std::string(kDays[d.weekday]) + ", " + std::to_string(d.day) + " " + kMonths[d.month] +
           " " + std::to_string(d.year) + " " + two(d.hour) + ":" + two(d.minute) + ":" +
           two(d.second) + " +0100";
  }

  std::string token(size_t length) {
    std::string t;
    for (size_t i = 0; i < length; ++i)
      t += kBase64[random.below(62)];
    return t;
  }

  std::string separator(const Date& d) {
    // Most separators carry an address; local deliveries carry a bare name,
    // which only a full date after it makes a separator.
    std::string envelope = random.chance(15) ? "user" + number(random.below(5000)) : address();
    return "From " + envelope + " " + ctime(d) + "\n";
  }

  void receivedLine(const Date& d) {
    add("Received: from mx" + number(random.below(90)) + ".host" + number(random.below(300)) +
        ".example (mx.example [192.0.2." + number(random.below(250)) + "])\n\tby mail" +
        number(random.below(40)) + ".example with ESMTPS id " + token(12) + "\n\tfor <" +
        address() + ">; " + rfc822(d) + "\n");
  }

  void receivedLines(const Date& d) {
    int hops = 2 + static_cast<int>(random.below(4));
    for (int i = 0; i < hops; ++i)
      receivedLine(d);
    add("Received-SPF: pass (example: domain of " + address() + " designates sender)\n");
    add(std::string("DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=example; s=sel;\n\t") +
        "h=from:to:subject:date:message-id; bh=" + token(44) + ";\n\tb=" + token(70) + "\n\t " +
        token(70) + "\n\t " + token(40) + "\n");
  }

  // Lines of words, now and then quoted, with paragraphs; `fromPercent` of
  // the paragraphs begin with "From " (which no separator test accepts).
  void textLines(size_t bytes, uint32_t fromPercent) {
    std::string line;
    size_t written = 0;
    while (written < bytes) {
      line.clear();
      size_t width = 50 + random.below(25);
      // Quoted replies, and the usual escaped body "From".
      if (random.chance(10)) line += "> ";
      if (random.chance(1)) line += ">From ";
      line += word();
      while (line.size() < width) {
        line += ' ';
        line += word();
      }
      add(line + "\n");
      written += line.size() + 1;
      if (random.chance(12)) {
        add("\n");
        if (random.chance(fromPercent)) {
          line = "From here on we " + word() + " " + word() + ", " + word() + " " + word() + ".\n";
          add(line);
          written += line.size();
        }
      }
    }
  }

  void attachment(const std::string& boundary) {
    size_t bytes = 16 * 1024 + random.below(68 * 1024);
    add("--" + boundary + "\nContent-Type: application/octet-stream; name=\"file" +
        number(random.below(1000)) + ".bin\"\nContent-Transfer-Encoding: base64\n" +
        "Content-Disposition: attachment\n\n");
    std::string line(77, '\n');
    for (size_t done = 0; done < bytes; done += 76) {
      for (int i = 0; i < 76; ++i)
        line[i] = kBase64[random.next() & 63];
      add(line);
    }
    add("\n");
  }

  // The headers from Return-Path on, as a delivered message has them.
  void realisticMessage(const Date& d) {
    ++messageNumber;
    bool received = random.chance(60);
    bool withAttachment = random.chance(6);
    std::string sender = address();
    add("Return-Path: <" + sender + ">\n");
    if (received) receivedLines(d);
    add("Date: " + rfc822(d) + "\n");
    add("From: Someone <" + sender + ">\nTo: " + address() + "\n");
    if (random.chance(40)) add("Cc: " + address() + ",\n\t" + address() + "\n");
    add("Subject: " + word() + " " + word() + " " + word() + " " + word() + "\n");
    add("Message-ID: <" + token(20) + "." + number(messageNumber) + "@" + "host.example>\n");
    add("MIME-Version: 1.0\n");
    std::string boundary = "b" + token(24);
    if (withAttachment) {
      add("Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\n\n");
      add("--" + boundary + "\nContent-Type: text/plain; charset=us-ascii\n\n");
    } else {
      add("Content-Type: text/plain; charset=us-ascii\nContent-Transfer-Encoding: 7bit\n\n");
    }
    textLines(512 + random.below(2560), 3);
    if (withAttachment) {
      attachment(boundary);
      add("--" + boundary + "--\n");
    }
  }

  void realistic() {
    Date d = date();
    add(separator(d));
    realisticMessage(d);
    add("\n");
  }

  void tiny() {
    Date d = date();
    add(separator(d));
    add("Date: " + rfc822(d) + "\n\n");
    std::string body;
    while (body.size() < 59)
      body += word() + " ";
    body.resize(59);
    add(body + "\n\n");
  }

  // A tiny message with a Message-ID no other message has.
  void distinct() {
    Date d = date();
    ++messageNumber;
    add(separator(d));
    add("Message-ID: <" + token(20) + "." + number(messageNumber) + "@host.example>\n");
    add("Date: " + rfc822(d) + "\n\nThe body of a short message.\n\n");
  }

  void headerHeavy() {
    Date d = date();
    add(separator(d));
    for (int i = 0; i < 30; ++i)
      receivedLine(d);
    // A comment pads the Date line to 400 bytes with its line end.
    std::string dateLine = "Date: " + rfc822(d) + " (";
    while (dateLine.size() < 398)
      dateLine += word() + " ";
    dateLine.resize(398);
    add(dateLine + ")\n");
    add("Subject: " + word() + " " + word() + "\n\n");
    textLines(200 + random.below(400), 3);
    add("\n");
  }

  void blankRuns() {
    Date d = date();
    add(separator(d));
    add("Date: " + rfc822(d) + "\nSubject: " + word() + "\n\n");
    for (int run = 0; run < 4; ++run) {
      textLines(40 + random.below(200), 0);
      add(std::string(100 + random.below(400), '\n'));
    }
  }

  void fromParagraphs() {
    Date d = date();
    add(separator(d));
    add("Date: " + rfc822(d) + "\nSubject: " + word() + "\n\n");
    textLines(1024 + random.below(3 * 1024), 100);
    add("\n");
  }

  // A line whose captured text (from the blank after "From" or the colon
  // after "Date" to the line end) has `length` bytes.
  std::string longText(size_t length) {
    std::string text;
    while (text.size() < length)
      text += " " + word();
    text.resize(length);
    return text;
  }

  void longLines() {
    static const size_t kLengths[] = {4095, 4096, 9000};
    Date d = date();
    add(separator(d));
    size_t dateLength = kLengths[random.below(3)];
    std::string value = " " + rfc822(d);
    add("Date:" + value + longText(dateLength - 1 - value.size()) + "\n\n");
    textLines(200 + random.below(600), 0);
    add("\nFrom" + longText(kLengths[random.below(3)]) + "\n");
    textLines(200 + random.below(600), 0);
    add("\n");
  }

  // Every body line a paragraph of its own that begins "From ": the
  // separator test runs on each of them, and refuses it.
  void fromLines() {
    Date d = date();
    add(separator(d));
    add("Date: " + rfc822(d) + "\nSubject: " + word() + "\n\n");
    for (int i = 0; i < 5000; ++i) {
      std::string line = "From";
      size_t width = 5 + 30 + random.below(41);
      while (line.size() < width)
        line += " " + word();
      line.resize(width);
      add(line + "\n\n");
    }
  }

  // A mailbox of 2 to 5 KiB: a few messages of realistic headers and text.
  void folderMailbox() {
    size_t target = 2048 + random.below(3 * 1024);
    size_t start = out.size();
    while (out.size() - start < target) {
      Date d = date();
      add(separator(d));
      add("Return-Path: <" + address() + ">\n");
      receivedLine(d);
      add("Date: " + rfc822(d) + "\nFrom: " + address() + "\nTo: " + address() +
          "\nSubject: " + word() + " " + word() + "\n\n");
      textLines(300 + random.below(900), 3);
      add("\n");
    }
    out.resize(start + target);
    out += "\n";
  }

  // One to three short messages, as a small mailbox of a mail tree holds.
  void smallMailbox() {
    int messages = 1 + static_cast<int>(random.below(3));
    for (int i = 0; i < messages; ++i) {
      Date d = date();
      add(separator(d));
      add("Date: " + rfc822(d) + "\nFrom: " + address() + "\nSubject: " + word() + " " + word() +
          "\n\n");
      textLines(100 + random.below(600), 3);
      add("\n");
    }
  }
};

// Replaces every LF by CR LF.
std::string withCrlf(const std::string& text) {
  std::string result;
  result.reserve(text.size() + text.size() / 32);
  for (char c : text) {
    if (c == '\n') result += '\r';
    result += c;
  }
  return result;
}

bool writeFile(const std::string& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    std::perror(path.c_str());
    return false;
  }
  bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (std::fclose(file) != 0) ok = false;
  if (!ok) std::perror(path.c_str());
  return ok;
}

bool makeDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return true;
  std::perror(path.c_str());
  return false;
}

int writeShape(const std::string& shape, uint64_t target, const char* path) {
  void (Writer::*message)() = nullptr;
  bool crlf = false;
  if (shape == "realistic") {
    message = &Writer::realistic;
  } else if (shape == "crlf") {
    message = &Writer::realistic;
    crlf = true;
  } else if (shape == "tiny") {
    message = &Writer::tiny;
  } else if (shape == "headers") {
    message = &Writer::headerHeavy;
  } else if (shape == "blank-runs") {
    message = &Writer::blankRuns;
  } else if (shape == "from-paragraphs") {
    message = &Writer::fromParagraphs;
  } else if (shape == "long-lines") {
    message = &Writer::longLines;
  } else if (shape == "from-lines") {
    message = &Writer::fromLines;
  } else {
    std::fprintf(stderr, "make_mailbox: unknown shape %s\n", shape.c_str());
    return 2;
  }
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) {
    std::perror(path);
    return 1;
  }
  Writer writer;
  uint64_t written = 0;
  while (written < target) {
    (writer.*message)();
    if (writer.out.size() >= (1u << 20) || written + writer.out.size() >= target) {
      std::string chunk = crlf ? withCrlf(writer.out) : std::move(writer.out);
      writer.out.clear();
      // The last message is cut where the size is reached.
      size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), target - written));
      if (std::fwrite(chunk.data(), 1, n, file) != n) {
        std::perror(path);
        return 1;
      }
      written += n;
    }
  }
  if (std::fclose(file) != 0) {
    std::perror(path);
    return 1;
  }
  return 0;
}

// A thousand small mailboxes to a directory: DIRECTORY/d000/m0000 ...
int writeTree(uint64_t files, const std::string& root) {
  if (!makeDirectory(root)) return 1;
  Writer writer;
  std::string directory;
  for (uint64_t i = 0; i < files; ++i) {
    char name[64];
    if (i % 1000 == 0) {
      std::snprintf(name, sizeof name, "/d%03llu", static_cast<unsigned long long>(i / 1000));
      directory = root + name;
      if (!makeDirectory(directory)) return 1;
    }
    std::snprintf(name, sizeof name, "/m%04llu", static_cast<unsigned long long>(i % 1000));
    writer.out.clear();
    writer.smallMailbox();
    if (!writeFile(directory + name, writer.out)) return 1;
  }
  return 0;
}

// FILES mailboxes of 2 to 5 KiB in 100 directories: DIRECTORY/f00/m00000 ...
int writeFolders(uint64_t files, const std::string& root) {
  if (!makeDirectory(root)) return 1;
  Writer writer;
  uint64_t perFolder = std::max<uint64_t>(1, (files + 99) / 100);
  std::string directory;
  for (uint64_t i = 0; i < files; ++i) {
    char name[64];
    if (i % perFolder == 0) {
      std::snprintf(name, sizeof name, "/f%02llu", static_cast<unsigned long long>(i / perFolder));
      directory = root + name;
      if (!makeDirectory(directory)) return 1;
    }
    std::snprintf(name, sizeof name, "/m%05llu", static_cast<unsigned long long>(i % perFolder));
    writer.out.clear();
    writer.folderMailbox();
    if (!writeFile(directory + name, writer.out)) return 1;
  }
  return 0;
}

// One message a file, without a separator line; nine in ten already seen
// (in cur/, with the flags suffix), the rest new.
int writeMaildir(uint64_t files, const std::string& root) {
  for (const char* part : {"", "/cur", "/new", "/tmp"}) {
    if (!makeDirectory(root + part)) return 1;
  }
  Writer writer;
  for (uint64_t i = 0; i < files; ++i) {
    bool seen = writer.random.below(10) != 0;
    char name[96];
    std::snprintf(name, sizeof name, "/%s/%llu.M%lluP%lluQ%llu.bench.example%s",
                  seen ? "cur" : "new", static_cast<unsigned long long>(1000000000 + i * 37),
                  static_cast<unsigned long long>(i * 7919 % 1000000),
                  static_cast<unsigned long long>(1000 + i % 30000),
                  static_cast<unsigned long long>(i + 1), seen ? ":2,S" : "");
    writer.out.clear();
    Date d = writer.date();
    // The realistic mail of the single file, one message at a time.
    writer.realisticMessage(d);
    if (!writeFile(root + name, writer.out)) return 1;
  }
  return 0;
}

int writeDistinct(uint64_t messages, const char* path) {
  Writer writer;
  for (uint64_t i = 0; i < messages; ++i)
    writer.distinct();
  return writeFile(path, writer.out) ? 0 : 1;
}

int usage() {
  std::fprintf(stderr,
               "usage: make_mailbox SHAPE MEBIBYTES OUTPUT\n"
               "       make_mailbox tree FILES DIRECTORY\n"
               "       make_mailbox maildir FILES DIRECTORY\n"
               "       make_mailbox ids MESSAGES OUTPUT\n"
               "       make_mailbox folders FILES DIRECTORY\n"
               "shapes: realistic crlf tiny headers blank-runs from-paragraphs long-lines"
               " from-lines\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return usage();
  std::string shape = argv[1];
  char* end = nullptr;
  uint64_t amount = std::strtoull(argv[2], &end, 10);
  if (end == argv[2] || *end != '\0') return usage();
  if (shape == "tree") return writeTree(amount, argv[3]);
  if (shape == "maildir") return writeMaildir(amount, argv[3]);
  if (shape == "ids") return writeDistinct(amount, argv[3]);
  if (shape == "folders") return writeFolders(amount, argv[3]);
  return writeShape(shape, amount << 20, argv[3]);
}
