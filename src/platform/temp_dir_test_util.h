// Test support, not part of the tool: the fixture of the tests that work on
// files of their own.

#ifndef VARNAK_PLATFORM_TEMP_DIR_TEST_UTIL_H_
#define VARNAK_PLATFORM_TEMP_DIR_TEST_UTIL_H_

#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <stdlib.h>

// Each test gets a fresh directory, `root_`, under the system's temporary
// one, and it is removed with all it holds at the end, even when the test
// fails (links in it are removed, not followed).
class TempDirTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "varnak-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override {
    if (!root_.empty()) std::filesystem::remove_all(root_);
  }

  std::string root_;
};

#endif  // VARNAK_PLATFORM_TEMP_DIR_TEST_UTIL_H_
