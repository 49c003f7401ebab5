#include "platform/md5.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"
#include "system/md5.h"

namespace {

TEST(Md5, MatchesTheReferenceVectors) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::Md5HexOfBytes(c.first, std::string(c.first).size()), c.second);
    EXPECT_EQ(FuntionImpl::Md5Hex(c.first), c.second);
  }
}

TEST(Md5, IncrementalUpdatesEqualOneRun) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += static_cast<char>(i * 7 + 3);
  platform::Md5 md5;
  ASSERT_TRUE(md5.ok());
  size_t pos = 0;
  for (size_t step : {1u, 63u, 64u, 65u, 1000u}) {
    ASSERT_TRUE(md5.Update(text.data() + pos, step));
    pos += step;
  }
  ASSERT_TRUE(md5.Update(text.data() + pos, text.size() - pos));
  ASSERT_TRUE(md5.Update(nullptr, 0));
  uint8_t digest[16];
  ASSERT_TRUE(md5.Finish(digest));
  EXPECT_EQ(platform::DigestToHex(digest), platform::Md5HexOfBytes(text.data(), text.size()));
  // A spent hash refuses more work instead of giving a wrong digest.
  EXPECT_FALSE(md5.ok());
  EXPECT_FALSE(md5.Update("x", 1));
  EXPECT_FALSE(md5.Finish(digest));
}

TEST(Md5, FileDigestStreamsAcrossChunks) {
  testsupport::TempDir dir;
  // Larger than one read chunk, and not a multiple of it.
  std::string bytes((1u << 20) * 2 + 12345, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 31) ^ (i >> 9));
  std::wstring path = dir.Write(L"big.bin", bytes);
  std::string hex;
  ASSERT_TRUE(platform::Md5HexOfFile(path, &hex));
  EXPECT_EQ(hex, platform::Md5HexOfBytes(bytes.data(), bytes.size()));
  EXPECT_EQ(FuntionImpl::Md5FileHex(path), hex);

  std::wstring empty = dir.Write(L"empty.bin", "");
  EXPECT_EQ(FuntionImpl::Md5FileHex(empty), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(Md5, MissingFileGivesNoDigest) {
  testsupport::TempDir dir;
  std::string hex = "stale";
  EXPECT_FALSE(platform::Md5HexOfFile(dir.File(L"missing.bin"), &hex));
  EXPECT_TRUE(hex.empty());
  EXPECT_EQ(FuntionImpl::Md5FileHex(dir.File(L"missing.bin")), "");
  EXPECT_EQ(FuntionImpl::Md5FileHex(dir.path()), "");  // a folder is no file
}

}  // namespace
