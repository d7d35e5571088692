// Writes a synthetic mailbox of realistic mail for the reader's benchmark:
// about 60% received messages with several Received lines, folded headers,
// text bodies of a few KiB, and now and then a base64 attachment of 50 to
// 200 KiB. The output depends only on the requested size, so every run of
// the benchmark reads the same bytes.
//
// usage: make_mailbox MEBIBYTES OUTPUT

#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

  struct Date {
    int year, month, day, hour, minute, second, weekday;
  };

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

  void receivedLines(const Date& d) {
    int hops = 2 + static_cast<int>(random.below(4));
    for (int i = 0; i < hops; ++i) {
      add("Received: from mx" + number(random.below(90)) + ".host" + number(random.below(300)) +
          ".example (mx.example [192.0.2." + number(random.below(250)) + "])\n\tby mail" +
          number(random.below(40)) + ".example with ESMTPS id " + token(12) + "\n\tfor <" +
          address() + ">; " + rfc822(d) + "\n");
    }
    add("Received-SPF: pass (example: domain of " + address() + " designates sender)\n");
    add(std::string("DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=example; s=sel;\n\t") +
        "h=from:to:subject:date:message-id; bh=" + token(44) + ";\n\tb=" + token(70) + "\n\t " +
        token(70) + "\n\t " + token(40) + "\n");
  }

  void textLines(size_t bytes) {
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
        // Now and then a paragraph begins with "From " and is tested.
        if (random.chance(3)) add("From here on we " + word() + " " + word() + ".\n");
      }
    }
  }

  void attachment(const std::string& boundary) {
    size_t bytes = 50 * 1024 + random.below(150 * 1024);
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

  void message() {
    ++messageNumber;
    Date d = date();
    bool received = random.chance(60);
    bool withAttachment = random.chance(7);
    std::string sender = address();
    // Most separators carry an address; local deliveries carry a bare name,
    // which only a full date after it makes a separator.
    std::string envelope = random.chance(15) ? "user" + number(random.below(5000)) : sender;
    add("From " + envelope + " " + ctime(d) + "\n");
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
    textLines(1024 + random.below(5 * 1024));
    if (withAttachment) {
      attachment(boundary);
      add("--" + boundary + "--\n");
    }
    add("\n");
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_mailbox MEBIBYTES OUTPUT\n");
    return 2;
  }
  uint64_t target = std::strtoull(argv[1], nullptr, 10) << 20;
  std::FILE* file = std::fopen(argv[2], "wb");
  if (file == nullptr) {
    std::perror(argv[2]);
    return 1;
  }
  Writer writer;
  uint64_t written = 0;
  while (written < target) {
    writer.message();
    if (writer.out.size() >= (1u << 20) || written + writer.out.size() >= target) {
      // The last message is cut where the size is reached.
      size_t n = static_cast<size_t>(std::min<uint64_t>(writer.out.size(), target - written));
      if (std::fwrite(writer.out.data(), 1, n, file) != n) {
        std::perror(argv[2]);
        return 1;
      }
      written += n;
      writer.out.clear();
    }
  }
  if (std::fclose(file) != 0) {
    std::perror(argv[2]);
    return 1;
  }
  return 0;
}
