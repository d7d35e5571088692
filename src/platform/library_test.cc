#include "platform/library.h"

#include <gtest/gtest.h>

namespace {

TEST(LibraryTest, LoadsALibraryAndFindsItsFunctions) {
  std::string error;
  void* libc = loadLibrary("libc.so.6", &error);
  ASSERT_NE(libc, nullptr) << error;
  EXPECT_NE(librarySymbol(libc, "strlen"), nullptr);
  EXPECT_EQ(librarySymbol(libc, "varnak_no_such_function"), nullptr);
}

TEST(LibraryTest, SaysWhyALibraryCannotBeLoaded) {
  std::string error;
  EXPECT_EQ(loadLibrary("libvarnak-no-such-library.so.1", &error), nullptr);
  EXPECT_NE(error.find("libvarnak-no-such-library.so.1"), std::string::npos) << error;
}

}  // namespace
