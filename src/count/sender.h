// Whether a message's From: header names one of the user's addresses.

#ifndef VARNAK_COUNT_SENDER_H_
#define VARNAK_COUNT_SENDER_H_

#include <string>
#include <string_view>
#include <vector>

// True when `from`, a From: header's value (folded lines included), holds
// one of `addresses` as a whole address: bounded on each side by the start
// or end of the value, "<", ">", a blank, a line end, "," or a quote. ASCII
// letters compare without regard to case; every other byte as itself, so
// encoded words and 8-bit text are never decoded.
bool fromHoldsAddress(std::string_view from, const std::vector<std::string>& addresses);

#endif  // VARNAK_COUNT_SENDER_H_
