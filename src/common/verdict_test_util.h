// Test support, not part of the tool: the table of the tests of readings
// that answer yes or no to a text (a header line, a separator, a sender).

#ifndef VARNAK_COMMON_VERDICT_TEST_UTIL_H_
#define VARNAK_COMMON_VERDICT_TEST_UTIL_H_

#include <cstddef>
#include <string>

#include <gtest/gtest.h>

// A text and what the reading under test must say of it. The text is a
// std::string so that a row can hold NUL bytes.
struct TextVerdict {
  std::string text;
  bool verdict;
};

// Holds `judge` to every row; a failure quotes the row's text.
template <size_t n, typename Judge>
void expectVerdicts(const TextVerdict (&rows)[n], const Judge& judge) {
  for (const TextVerdict& row : rows)
    EXPECT_EQ(judge(row.text), row.verdict) << '"' << row.text << '"';
}

#endif  // VARNAK_COMMON_VERDICT_TEST_UTIL_H_
