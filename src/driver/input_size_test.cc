#include "driver/input_size.h"

#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/temp_dir_test_util.h"

namespace {

class InputSizeTest : public TempDirTest {
 protected:
  std::string file(const std::string& name, size_t size) {
    std::string path = root_ + "/" + name;
    std::ofstream(path) << std::string(size, 'x');
    return path;
  }
};

TEST_F(InputSizeTest, KnownOnlyWhenEveryPathIsARegularFile) {
  const std::string a = file("a", 1000);
  const std::string b = file("b", 234);
  const std::string fifo = root_ + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string missing = root_ + "/missing";
  const std::string pattern = root_ + "/*";
  const struct {
    std::vector<const char*> paths;
    std::optional<uint64_t> size;
  } cases[] = {
      {{a.c_str()}, 1000},
      {{a.c_str(), b.c_str()}, 1234},
      {{a.c_str(), missing.c_str()}, 1000},  // nothing of it is read
      {{a.c_str(), root_.c_str()}, std::nullopt},
      {{fifo.c_str()}, std::nullopt},
      {{b.c_str(), pattern.c_str()}, std::nullopt},
      {{}, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(inputSize(c.paths), c.size) << (c.paths.empty() ? "" : c.paths.back());
  }
}

}  // namespace
