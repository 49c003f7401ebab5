// Replies too long to hold: the body GET and the form POST end a reply over their limit while it
// streams (or as soon as its announced length shows it), fail with CURLE_FILESIZE_EXCEEDED and
// keep nothing of it; the header probe never reads a body at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "config/log_capture.h"
#include "download/libcurl_tool.h"
#include "remote/cbs_services.h"
#include "remote/service_replies.h"
#include "support/temp_dir.h"
#include "tests/download/mini_http_server.h"

namespace download {
namespace {

using testsupport::MiniHttpServer;
using testsupport::ServedFile;

constexpr int64_t kEndless = int64_t{1} << 40;  // a terabyte: never sent in full

ServedFile TextFile(int64_t size, bool announceLength) {
  ServedFile f;
  f.size = size;
  f.fill = 'x';
  f.noContentLength = !announceLength;
  return f;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class ReplyLimitTest : public testing::Test {
 protected:
  testsupport::TempDir dir_;
  testsupport::LogCapture log_{dir_.File(L"log.txt")};
  MiniHttpServer server_;
};

TEST_F(ReplyLimitTest, EndlessBodyEndsAtTheLimitWithNothingKept) {
  server_.AddFile("/endless", TextFile(kEndless, false));
  server_.AddFile("/announced", TextFile(kEndless, true));
  for (const char* path : {"/endless", "/announced"}) {
    SCOPED_TRACE(path);
    CLibcurlTool tool;
    std::string body = "stale";
    const auto start = std::chrono::steady_clock::now();
    const int64_t sentBefore = server_.BodyBytesSent();
    EXPECT_EQ(tool.httpGet(server_.Url(path), &body), CURLE_FILESIZE_EXCEEDED);
    EXPECT_TRUE(body.empty());
    // Well inside the request's 5-second time-out, and no more than the limit plus what the
    // socket buffers held was ever sent.
    EXPECT_LT(SecondsSince(start), 3.0);
    EXPECT_LT(server_.BodyBytesSent() - sentBefore,
              static_cast<int64_t>(CLibcurlTool::kMaxBodyBytes) + 16 * 1024 * 1024);
  }
  EXPECT_TRUE(log_.Contains(" httpGet reply over 4194304 bytes, transfer ended: " +
                            server_.Url("/endless")));
}

TEST_F(ReplyLimitTest, BodyUpToTheLimitArrivesWhole) {
  server_.AddFile("/fits", TextFile(1000, false));
  server_.AddFile("/over", TextFile(1001, false));
  server_.AddFile("/over-announced", TextFile(1001, true));
  CLibcurlTool tool;
  std::string body;
  EXPECT_EQ(tool.httpGet(server_.Url("/fits"), &body, 1000), CURLE_OK);
  EXPECT_EQ(body, std::string(1000, 'x'));
  EXPECT_EQ(tool.httpGet(server_.Url("/over"), &body, 1000), CURLE_FILESIZE_EXCEEDED);
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(tool.httpGet(server_.Url("/over-announced"), &body, 1000), CURLE_FILESIZE_EXCEEDED);
  EXPECT_TRUE(body.empty());
  // The same handle serves a good request after a refused one.
  EXPECT_EQ(tool.httpGet(server_.Url("/fits"), &body), CURLE_OK);
  EXPECT_EQ(body.size(), 1000u);
}

TEST_F(ReplyLimitTest, FormPostAnswerIsBoundedToo) {
  server_.AddFile("/report", TextFile(kEndless, false));
  CLibcurlTool tool;
  std::string answer;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(tool.HttpPost(server_.Url("/report"), "pid=1&type=2", &answer),
            CURLE_FILESIZE_EXCEEDED);
  EXPECT_TRUE(answer.empty());
  EXPECT_LT(SecondsSince(start), 3.0);
  EXPECT_TRUE(log_.Contains(" HttpPost reply over 4194304 bytes, transfer ended: " +
                            server_.Url("/report")));
}

TEST_F(ReplyLimitTest, HeaderProbeOfAHugeFileReadsNoBody) {
  server_.AddFile("/huge.exe", TextFile(kEndless, true));
  CLibcurlTool tool;
  std::string headers;
  long status = 0;
  EXPECT_EQ(tool.httpGet(server_.Url("/huge.exe"), &headers, &status), CURLE_OK);
  EXPECT_EQ(status, 200);
  EXPECT_NE(headers.find("Content-Length: " + std::to_string(kEndless)), std::string::npos);
  EXPECT_EQ(server_.BodyBytesSent(), 0);
}

TEST_F(ReplyLimitTest, ServiceRepliesStopAtTheirParserLimit) {
  // The banner and privacy services refuse more than kMaxReplyBytes: a longer reply is not
  // even received, whatever the tool's own default allows.
  server_.AddFile("/banners", TextFile(static_cast<int64_t>(remote::kMaxReplyBytes) + 1, false));
  server_.AddFile("/small", TextFile(static_cast<int64_t>(remote::kMaxReplyBytes), false));
  const remote::RemoteServices live = remote::RemoteServices::Live();
  std::string reply;
  EXPECT_EQ(live.httpGet(server_.Url("/banners"), &reply), CURLE_FILESIZE_EXCEEDED);
  EXPECT_TRUE(reply.empty());
  EXPECT_EQ(live.httpGet(server_.Url("/small"), &reply), CURLE_OK);
  EXPECT_EQ(reply.size(), remote::kMaxReplyBytes);
}

}  // namespace
}  // namespace download
