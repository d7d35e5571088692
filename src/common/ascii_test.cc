#include "common/ascii.h"

#include <string_view>

#include <gtest/gtest.h>

namespace {

// The bytes at the edges of each range, and bytes above 0x7f that are
// digits, capitals or blanks in some 8-bit character set: mail is read as
// ASCII, whatever its charset says.
TEST(AsciiTest, OnlyAsciiBytesAreDigitsCapitalsAndBlanks) {
  const struct {
    char c;
    bool digit, upper, blank;
    char folded;
  } cases[] = {
      {'0', true, false, false, '0'},        {'9', true, false, false, '9'},
      {'/', false, false, false, '/'},       {':', false, false, false, ':'},
      {'A', false, true, false, 'a'},        {'Z', false, true, false, 'z'},
      {'@', false, false, false, '@'},       {'[', false, false, false, '['},
      {'a', false, false, false, 'a'},       {'z', false, false, false, 'z'},
      {' ', false, false, true, ' '},        {'\t', false, false, true, '\t'},
      {'\n', false, false, false, '\n'},     {'\r', false, false, false, '\r'},
      {'\v', false, false, false, '\v'},     {'\0', false, false, false, '\0'},
      {'\xb2', false, false, false, '\xb2'},  // superscript two in Latin-1
      {'\xc9', false, false, false, '\xc9'},  // capital E acute in Latin-1
      {'\xa0', false, false, false, '\xa0'},  // no-break space in Latin-1
  };
  for (const auto& c : cases) {
    const int byte = static_cast<unsigned char>(c.c);
    EXPECT_EQ(isDigit(c.c), c.digit) << byte;
    EXPECT_EQ(isUpper(c.c), c.upper) << byte;
    EXPECT_EQ(isBlank(c.c), c.blank) << byte;
    EXPECT_EQ(foldCase(c.c), c.folded) << byte;
  }
}

TEST(AsciiTest, LeadingBlanksAreSpacesAndTabsOnly) {
  const struct {
    std::string_view text;
    std::string_view want;
  } cases[] = {
      {" \t Mon", "Mon"}, {"Mon ", "Mon "}, {"\n Mon", "\n Mon"}, {"\r\tx", "\r\tx"},
      {" \t ", ""},       {"", ""},         {"\v x", "\v x"},     {" a b", "a b"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(withoutLeadingBlanks(c.text), c.want) << '"' << c.text << '"';
}

}  // namespace
