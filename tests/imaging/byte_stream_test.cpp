#include "imaging/byte_stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace cirrodex {
namespace {

TEST(MemoryStream, GrowsInSteps0f4096) {
  const struct {
    std::vector<size_t> writes;
    size_t capacity;
  } cases[] = {
      {{1}, 4096},        {{4096}, 4096},     {{4097}, 8192},
      {{4000, 96}, 4096}, {{4000, 97}, 8192}, {{1, 8192}, 12288},
  };
  for (const auto& c : cases) {
    MemoryStream stream;
    ASSERT_TRUE(stream.Open());
    EXPECT_EQ(stream.Capacity(), 0u);
    size_t total = 0;
    for (size_t n : c.writes) {
      std::vector<uint8_t> data(n, static_cast<uint8_t>(n));
      ASSERT_EQ(stream.Write(data.data(), 1, n), n);
      total += n;
    }
    EXPECT_EQ(stream.Capacity(), c.capacity) << c.writes.size() << " writes, first " << c.writes[0];
    EXPECT_EQ(stream.Size(), static_cast<int32_t>(total));
    EXPECT_EQ(stream.Tell(), static_cast<int32_t>(total));
  }
}

TEST(MemoryStream, ReadsWritesAndSeeksLikeAFile) {
  MemoryStream stream;
  ASSERT_TRUE(stream.Open());
  const uint32_t words[3] = {0x11111111, 0x22222222, 0x33333333};
  EXPECT_EQ(stream.Write(words, 4, 3), 3u);
  ASSERT_TRUE(stream.Seek(4, SEEK_SET));
  uint32_t back[3] = {};
  // Only one and a half words remain past the second seek: whole elements are counted.
  ASSERT_TRUE(stream.Seek(-6, SEEK_END));
  EXPECT_EQ(stream.Read(back, 4, 3), 1u);
  EXPECT_TRUE(stream.Eof());
  ASSERT_TRUE(stream.Seek(-12, SEEK_CUR));
  EXPECT_EQ(stream.Tell(), 0);
  EXPECT_EQ(stream.Read(back, 4, 3), 3u);
  EXPECT_EQ(std::memcmp(back, words, sizeof words), 0);
  EXPECT_FALSE(stream.Seek(-1, SEEK_SET));
  EXPECT_FALSE(stream.Seek(-13, SEEK_END));
  EXPECT_FALSE(stream.Seek(0, 7));
  EXPECT_EQ(stream.Tell(), 12);

  ASSERT_TRUE(stream.Seek(0, SEEK_SET));
  EXPECT_EQ(stream.GetC(), 0x11);
  EXPECT_TRUE(stream.PutC(0xAB));
  ASSERT_TRUE(stream.Seek(1, SEEK_SET));
  EXPECT_EQ(stream.GetC(), 0xAB);
  EXPECT_EQ(stream.Read(nullptr, 1, 1), 0u);
  EXPECT_EQ(stream.Read(back, 0, 5), 0u);
  EXPECT_EQ(stream.Write(nullptr, 1, 1), 0u);
  EXPECT_TRUE(stream.Flush());
  EXPECT_EQ(stream.Error(), 0);
}

TEST(MemoryStream, SeekPastTheEndIsAllowedAndShowsAsAnError) {
  MemoryStream stream;
  ASSERT_TRUE(stream.Open());
  ASSERT_EQ(stream.Write("abcd", 1, 4), 4u);
  ASSERT_TRUE(stream.Seek(10, SEEK_END));
  EXPECT_EQ(stream.Tell(), 14);
  EXPECT_TRUE(stream.Eof());
  EXPECT_EQ(stream.Error(), 1);
  EXPECT_EQ(stream.GetC(), -1);
  char c;
  EXPECT_EQ(stream.Read(&c, 1, 1), 0u);
  // Writing there fills the gap with zeros.
  ASSERT_EQ(stream.Write("z", 1, 1), 1u);
  EXPECT_EQ(stream.Size(), 15);
  EXPECT_EQ(stream.Error(), 0);
  ASSERT_TRUE(stream.Seek(4, SEEK_SET));
  for (int i = 0; i < 10; ++i) EXPECT_EQ(stream.GetC(), 0);
  EXPECT_EQ(stream.GetC(), 'z');
}

TEST(MemoryStream, WithoutABufferEverythingIsNeutral) {
  MemoryStream stream;
  char c = 0;
  EXPECT_EQ(stream.Read(&c, 1, 1), 0u);
  EXPECT_EQ(stream.Write(&c, 1, 1), 0u);
  EXPECT_FALSE(stream.PutC(1));
  EXPECT_FALSE(stream.Seek(0, SEEK_SET));
  EXPECT_EQ(stream.Tell(), -1);
  EXPECT_EQ(stream.Size(), -1);
  EXPECT_FALSE(stream.Flush());
  EXPECT_TRUE(stream.Eof());
  EXPECT_EQ(stream.Error(), -1);
  EXPECT_EQ(stream.GetC(), -1);
  EXPECT_TRUE(stream.Close());
  ASSERT_TRUE(stream.Open());
  EXPECT_FALSE(stream.Open()) << "a second Open while a buffer is set";
}

TEST(MemoryStream, CallersBufferIsWrittenInPlaceButNeverReallocatedOrFreed) {
  uint8_t owned[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  {
    MemoryStream stream(owned, sizeof owned);
    EXPECT_EQ(stream.Size(), 8);
    EXPECT_FALSE(stream.Open());
    ASSERT_TRUE(stream.Seek(6, SEEK_SET));
    ASSERT_EQ(stream.Write("xy", 1, 2), 2u);
    EXPECT_EQ(owned[6], 'x');
    // Growing moves the data into a block of the stream's own.
    ASSERT_EQ(stream.Write("z", 1, 1), 1u);
    EXPECT_EQ(stream.Size(), 9);
    ASSERT_TRUE(stream.Seek(0, SEEK_SET));
    EXPECT_EQ(stream.GetC(), 1);
  }  // closing frees the stream's block, not `owned` (the sanitizer build checks both)
  EXPECT_EQ(owned[7], 'y');
}

TEST(MemoryStream, GetBufferHandsOverOwnership) {
  uint8_t* data;
  {
    MemoryStream stream;
    ASSERT_TRUE(stream.Open());
    ASSERT_EQ(stream.Write("hello", 1, 5), 5u);
    data = stream.GetBuffer();
  }
  EXPECT_EQ(std::memcmp(data, "hello", 5), 0);
  std::free(data);
}

TEST(FileStream, WithoutAStreamEverythingIsNeutral) {
  FileStream stream;
  char c = 0;
  EXPECT_EQ(stream.Read(&c, 1, 1), 0u);
  EXPECT_EQ(stream.Write(&c, 1, 1), 0u);
  EXPECT_EQ(stream.Tell(), 0);
  EXPECT_FALSE(stream.Seek(0, SEEK_SET));
  EXPECT_FALSE(stream.Flush());
  EXPECT_FALSE(stream.PutC(1));
  EXPECT_EQ(stream.Size(), -1);
  EXPECT_EQ(stream.Error(), -1);
  EXPECT_EQ(stream.GetC(), -1);
  EXPECT_TRUE(stream.Eof());
  EXPECT_TRUE(stream.Close());
}

TEST(FileStream, MapsToStdioAndLeavesABorrowedStreamOpen) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  {
    FileStream stream(file);
    EXPECT_FALSE(stream.Open("/dev/null", "rb")) << "a stream is already set";
    ASSERT_EQ(stream.Write("0123456789", 1, 10), 10u);
    EXPECT_TRUE(stream.PutC('!'));
    EXPECT_TRUE(stream.Flush());
    ASSERT_TRUE(stream.Seek(3, SEEK_SET));
    EXPECT_EQ(stream.Size(), 11);
    EXPECT_EQ(stream.Tell(), 3) << "measuring the size goes back to where it was";
    EXPECT_EQ(stream.GetC(), '3');
    char rest[16] = {};
    EXPECT_EQ(stream.Read(rest, 1, sizeof rest), 7u);
    EXPECT_STREQ(rest, "456789!");
    EXPECT_EQ(stream.GetC(), -1);
    EXPECT_TRUE(stream.Eof());
    EXPECT_EQ(stream.Error(), 0);
    EXPECT_TRUE(stream.Close());
  }
  // Still open: the stream was borrowed.
  EXPECT_EQ(std::fseek(file, 0, SEEK_SET), 0);
  EXPECT_EQ(std::fgetc(file), '0');
  std::fclose(file);

  FileStream opened;
  EXPECT_FALSE(opened.Open("/nonexistent/folder/file", "rb"));
  ASSERT_TRUE(opened.Open("/dev/null", "rb"));
  EXPECT_TRUE(opened.Close());
}

}  // namespace
}  // namespace cirrodex
