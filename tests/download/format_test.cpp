// Byte and speed texts, error texts, CDN address test and pool size.
#include <gtest/gtest.h>

#include "download/download_impl.h"
#include "download/downloader.h"
#include "download/libcurl_tool.h"

namespace download {
namespace {

TEST(DownloadFormatTest, ByteSizeUsesAUnitOnlyAboveIt) {
  const struct {
    int64_t n;
    const char* text;
  } cases[] = {
      {0, ""},          {500, "500B"},          {1024, "1024B"},       {1025, "1K1B"},
      {1048576, "1024K"}, {1572864, "1M512K"},  {1073741824, "1024M"}, {1073741825, "1G1B"},
      {5368709120LL + 1048576 * 3 + 7, "5G3M7B"},
  };
  for (const auto& c : cases) EXPECT_EQ(formatByteSize(c.n), c.text) << c.n;
}

TEST(DownloadFormatTest, SpeedTextTakesTwoDecimalsOfTheNextUnit) {
  EXPECT_EQ(formatSpeedText(1572864), "1.5M");
  EXPECT_EQ(formatSpeedText(1536), "1.5K");
  EXPECT_EQ(formatSpeedText(500), "500B");
  EXPECT_EQ(formatSpeedText(0), "0.00B");
  EXPECT_EQ(formatSpeedText(1024), "1024B");
  EXPECT_EQ(formatSpeedText(1048576 + 1023 * 1024), "1.99M");  // truncated, not rounded
  EXPECT_EQ(formatSpeedText(3LL * 1073741824 + 256 * 1048576), "3.25G");
}

TEST(DownloadFormatTest, FigureErrorTextsMatchTheTable) {
  EXPECT_EQ(CLibcurlTool::errorText(1), " ProtoControl Unsupport!");
  EXPECT_EQ(CLibcurlTool::errorText(6), " cannt resovlve server!");
  EXPECT_EQ(CLibcurlTool::errorText(13), " Curl unknow error!");
  EXPECT_EQ(CLibcurlTool::errorText(14), " Curl unknow error!");
  EXPECT_EQ(CLibcurlTool::errorText(28), " Curl Time out");
  EXPECT_EQ(CLibcurlTool::errorText(47), " Curl Else Error: 47");
  // GBK bytes: "内存不足" and "接收数据错误".
  EXPECT_EQ(CLibcurlTool::errorText(27), " \xc4\xda\xb4\xe6\xb2\xbb\xd7\xe3");
  EXPECT_EQ(CLibcurlTool::errorText(23), " \xbd\xd3\xca\xd5\xca\xfd\xbe\xdd\xb4\xed\xce\xf3");
  EXPECT_EQ(CLibcurlTool::errorText(4), " libcurl InitFailed\xa3\xacPlease Try again!");
  for (int code : {8, 10, 11, 12, 15, 16, 17, 18, 22, 25, 26, 30, 33}) {
    EXPECT_EQ(CLibcurlTool::errorText(code).find("Else"), std::string::npos) << code;
  }
}

TEST(DownloadFormatTest, CdnAddressIsDecidedByTheHostPrefix) {
  EXPECT_TRUE(CDownLoadImpl::isCdnUrl("https://cdn.example.com/a.exe"));
  EXPECT_TRUE(CDownLoadImpl::isCdnUrl("http://dl.example.com/a.exe"));
  EXPECT_FALSE(CDownLoadImpl::isCdnUrl("https://example.com/cdn/a.exe"));
  EXPECT_FALSE(CDownLoadImpl::isCdnUrl("https://mycdn.example.com/a.exe"));
}

TEST(DownloadFormatTest, WorkerCountFollowsProcessors) {
  const struct {
    unsigned processors;
    int workers;
  } cases[] = {{1, 4}, {2, 4}, {3, 4}, {4, 6}, {8, 12}, {16, 25}};
  for (const auto& c : cases) EXPECT_EQ(CDownLoadImpl::workerCount(c.processors), c.workers);
}

TEST(DownloadFormatTest, UploadNameWithoutAGivenOneUsesTimeAndExtension) {
  const std::string zip = DefaultUploadName("C:\\logs\\a.zip");
  ASSERT_EQ(zip.size(), 7u + 17u + 4u);
  EXPECT_EQ(zip.rfind("NoName_", 0), 0u);
  EXPECT_EQ(zip.substr(24), ".zip");
  EXPECT_EQ(zip.find_first_not_of("0123456789", 7), 24u);
  EXPECT_EQ(DefaultUploadName("C:\\logs\\noext").substr(24), ".tmp");
}

}  // namespace
}  // namespace download
