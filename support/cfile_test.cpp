#include "support/cfile.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/buffer.h"
#include "support/test_temp_dir.h"

namespace fs = std::filesystem;
using Library::Buffer;
using Library::WinFile::CFile;

namespace {

TEST(CFile, WriteThenReadBackTheSameBytes) {
  support::TestTempDir dir;
  const std::vector<unsigned char> bytes = {0, 1, 2, 0xFF, 0x0A, 0x0D, 0x1A, 7};
  {
    CFile out(dir / "a.dat", std::ios::out | std::ios::trunc);
    ASSERT_TRUE(out.IsOpen());
    EXPECT_TRUE(out.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size())));
    EXPECT_EQ(out.Size(), bytes.size());
  }
  CFile in(dir / "a.dat", std::ios::in);
  ASSERT_TRUE(in.IsOpen());
  EXPECT_EQ(in.Size(), bytes.size());
  std::vector<unsigned char> back(bytes.size());
  EXPECT_TRUE(in.Read(back.data(), static_cast<std::uint32_t>(back.size())));
  EXPECT_EQ(back, bytes);
  EXPECT_FALSE(in.Read(back.data(), 1));  // nothing left
}

TEST(CFile, TruncatingOpenEmptiesTheFileEvenWithoutWrites) {
  support::TestTempDir dir;
  support::WriteTextFile(dir / "a.dat", "old contents");
  { CFile out(dir / "a.dat", std::ios::out | std::ios::trunc); }
  EXPECT_EQ(fs::file_size(dir / "a.dat"), 0u);
}

TEST(CFile, AppendWithSeekToEndKeepsExistingBytes) {
  support::TestTempDir dir;
  support::WriteTextFile(dir / "a.dat", "abc");
  {
    CFile out(dir / "a.dat", std::ios::out | std::ios::app, true);
    EXPECT_TRUE(out.Write("de", 2));
  }
  EXPECT_EQ(support::ReadTextFile(dir / "a.dat"), "abcde");
}

TEST(CFile, ZeroBytesAndAbsentBytesWriteNothingAndSucceed) {
  support::TestTempDir dir;
  CFile out(dir / "a.dat", std::ios::out | std::ios::trunc);
  EXPECT_TRUE(out.Write("x", 0));
  EXPECT_TRUE(out.Write(nullptr, 5));
  EXPECT_EQ(out.Size(), 0u);
}

TEST(CFile, MissingFileIsNotOpenAndAnswersNeutrally) {
  support::TestTempDir dir;
  CFile in(dir / "absent.dat", std::ios::in);
  EXPECT_FALSE(in.IsOpen());
  EXPECT_EQ(in.Size(), 0u);
  char c = 0;
  EXPECT_FALSE(in.Read(&c, 1));
  EXPECT_FALSE(in.Write("x", 1));
}

TEST(CFile, SizeThrowsWhenTheFileVanishedWhileOpen) {
  support::TestTempDir dir;
  support::WriteTextFile(dir / "a.dat", "abc");
  CFile in(dir / "a.dat", std::ios::in);
  ASSERT_TRUE(in.IsOpen());
  std::error_code ignored;
  if (!fs::remove(dir / "a.dat", ignored)) GTEST_SKIP() << "an open file cannot be removed here";
  EXPECT_THROW(in.Size(), fs::filesystem_error);
}

TEST(Buffer, CopiesTheBytesAndOwnsThem) {
  char source[] = "hello";
  Buffer b(source, 5);
  source[0] = 'j';
  ASSERT_EQ(b.Size(), 5u);
  EXPECT_EQ(b.Capacity(), 5u);
  EXPECT_EQ(b.GrowthStep(), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.Data()), b.Size()), "hello");
}

TEST(Buffer, ZeroLengthOrAbsentBytesHoldNothing) {
  Buffer empty("abc", 0);
  EXPECT_EQ(empty.Data(), nullptr);
  EXPECT_EQ(empty.Size(), 0u);
  Buffer absent(nullptr, 10);
  EXPECT_EQ(absent.Data(), nullptr);
  EXPECT_EQ(absent.Size(), 0u);
}

}  // namespace
