#include "platform/whole_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/temp_device.h"

namespace cirrodex::platform {
namespace {

using testing::DeviceTest;

class WholeFile : public DeviceTest {
 protected:
  // A file of `size` bytes of every value; `bytes` receives what was written.
  std::filesystem::path Write(size_t size, std::string& bytes) {
    const auto file = device_.root() / ("f" + std::to_string(size));
    bytes.assign(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7);
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }
};

TEST_F(WholeFile, ReadsUpToTheLimitAndRefusesOneByteMore) {
  struct Case {
    size_t size;
    size_t limit;
    bool read;
  } cases[] = {
      {0, 0, true},           {1, 0, false},           {10, 10, true},
      {11, 10, false},        {4096, 4096, true},      {4097, 4096, false},
      {100000, 100000, true}, {100001, 100000, false}, {100000, kWholeFileLimit, true},
  };
  std::string bytes = "left over";
  for (const Case& c : cases) {
    std::string written;
    const auto file = Write(c.size, written);
    std::string error;
    const bool read = ReadWholeFile(file, bytes, error, c.limit);
    EXPECT_EQ(read, c.read) << c.size << " bytes, limit " << c.limit;
    if (read) {
      EXPECT_TRUE(bytes == written) << c.size;
      EXPECT_EQ(ReadWholeFile(file, c.limit), written);
    } else {
      EXPECT_TRUE(bytes.empty());
      EXPECT_EQ(error, file.string() + " is larger than " + std::to_string(c.limit) + " bytes");
      EXPECT_EQ(ReadWholeFile(file, c.limit), std::nullopt);
    }
  }
}

TEST_F(WholeFile, SaysWhatFailedAndNamesTheFile) {
  const auto missing = device_.root() / "missing.txt";
  const auto folder = device_.root();
  struct Case {
    std::filesystem::path file;
    std::string error;
  } cases[] = {
      {missing, "opening " + missing.string() + ": No such file or directory"},
      {folder, folder.string() + " is a folder, not a regular file"},
  };
  for (const Case& c : cases) {
    std::string bytes = "left over";
    std::string error;
    EXPECT_FALSE(ReadWholeFile(c.file, bytes, error));
    EXPECT_EQ(error, c.error);
    EXPECT_TRUE(bytes.empty());
  }
}

TEST_F(WholeFile, ReadsAFileWhoseSizeTheSystemDoesNotKnow) {
  // /proc reports a size of 0 for files that hold text.
  const std::optional<std::string> status = ReadWholeFile("/proc/self/status");
  ASSERT_TRUE(status.has_value());
  EXPECT_NE(status->find("Name:"), std::string::npos);
  EXPECT_EQ(status->back(), '\n');
}

}  // namespace
}  // namespace cirrodex::platform
