// The ranged GET's callbacks, driven directly: where bytes land, when a response is refused,
// and the CDN texts they collect.
#include <gtest/gtest.h>

#include <cstring>

#include "config/log_capture.h"
#include "download/download_thread.h"
#include "download/downloader.h"
#include "download/libcurl_tool.h"
#include "support/temp_dir.h"
#include "tests/download/engine_test_support.h"
#include "tests/download/pattern_bytes.h"

namespace download {
namespace {

class CallbackTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(file_.Open(dir_.File(L"cb.bin"), false), 0u);
    task_.StartPos = 100;
    task_.EndPos = 199;
    task_.contentLength = 1000;
    task_.setNextPos(100);
    task_.RemotePath = "http://h/setup.bin";
    task_.id.store(2);
    worker_.doTask(&task_);  // no thread runs: the test plays the transfer
  }

  size_t Header(const std::string& line) {
    std::string copy = line;
    return CLibcurlTool::HeaderCallback(&copy[0], 1, copy.size(), &worker_);
  }
  size_t Body(const std::string& bytes) {
    std::string copy = bytes;
    return CLibcurlTool::downloadFunc(&copy[0], 1, copy.size(), &worker_);
  }
  std::string FileBytes() { return enginetest::ReadFile(dir_.File(L"cb.bin")); }

  testsupport::TempDir dir_;
  testsupport::LogCapture log_{dir_.File(L"log.txt")};
  platform::SharedFile file_;
  std::mutex mutex_;
  SharedDownloadState shared_;  // no slices: every reply fills only the slice it was asked for
  CDownloadTask task_;
  CDownloadThread worker_{&mutex_, &file_, &shared_};
};

TEST_F(CallbackTest, StatusLinesAreCheckedOnlyForExeDownloads) {
  EXPECT_EQ(Header("HTTP/1.1 200 OK\r\n"), 17u);  // not an .exe: accepted
  EXPECT_EQ(Header("\r\n"), 2u);                  // and so is its end without a length
  task_.RemotePath = "http://h/setup.exe";
  EXPECT_EQ(Header("HTTP/1.1 503 Service Unavailable\r\n"), 0u);
  EXPECT_TRUE(log_.Contains(" HeaderCallback error0: http_code is 503"));
  EXPECT_EQ(Header("HTTP/2 404\r\n"), 0u);  // two numbers: the second is the status
  EXPECT_TRUE(log_.Contains(" HeaderCallback error0: http_code is 404"));
  EXPECT_EQ(Header("HTTP/1.1 206 Partial Content\r\n"), 30u);
  EXPECT_EQ(Header("HTTP/1.1 302 Found\r\n"), 20u);  // a hop of the redirect chain
  EXPECT_EQ(Header("\r\n"), 2u);
  task_.RemotePath = "http://h/setup.EXE";          // case-sensitive suffix
  EXPECT_EQ(Header("HTTP/1.1 503 Service Unavailable\r\n"), 34u);
}

// A server that ignores Range answers an ".exe" with 200 and the whole file: that answer is
// taken only when its Content-Length is the planned size.
TEST_F(CallbackTest, ExeWholeFileAnswerIsDecidedByItsLength) {
  task_.RemotePath = "http://h/setup.exe";
  EXPECT_EQ(Header("HTTP/1.1 200 OK\r\n"), 17u);
  EXPECT_EQ(Header("Content-Length: 1000\r\n"), 22u);
  EXPECT_EQ(Header("\r\n"), 2u);
  std::string file(1000, '\0');
  for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>(i * 7);
  EXPECT_EQ(Body(file.substr(0, 200)), 200u);  // bytes 100..199 are this slice's
  EXPECT_TRUE(task_.isComplete());
  EXPECT_EQ(FileBytes().substr(100, 100), file.substr(100, 100));
  EXPECT_FALSE(log_.Contains("error0"));

  // Another length: refused at that line, and the size it names is kept for the round.
  worker_.response() = CDownloadThread::Response();
  task_.setNextPos(100);
  EXPECT_EQ(Header("HTTP/2 200\r\n"), 12u);
  EXPECT_EQ(Header("content-length: 1001\r\n"), 0u);
  EXPECT_TRUE(log_.Contains(" HeaderCallback error0: http_code is 200, 1000 != content-length: 1001"));
  EXPECT_EQ(shared_.contradictedSize.load(), 1001);
  EXPECT_EQ(Body("abc"), 0u);
  EXPECT_EQ(task_.nextPos(), 100);

  // No length at all: refused when the headers end, nothing written, no size to act on.
  shared_.contradictedSize.store(-1);
  worker_.response() = CDownloadThread::Response();
  EXPECT_EQ(Header("HTTP/1.1 200 OK\r\n"), 17u);
  EXPECT_EQ(Header("Transfer-Encoding: chunked\r\n"), 28u);
  EXPECT_EQ(Header("\r\n"), 0u);
  EXPECT_TRUE(log_.Contains(" HeaderCallback error0: http_code is 200, no Content-Length"));
  EXPECT_EQ(Body("abc"), 0u);
  EXPECT_EQ(shared_.contradictedSize.load(), -1);
  EXPECT_EQ(task_.nextPos(), 100);

  // A redirect hop before the whole file: only the final answer's length counts.
  worker_.response() = CDownloadThread::Response();
  EXPECT_EQ(Header("HTTP/1.1 301 Moved\r\n"), 20u);
  EXPECT_EQ(Header("Content-Length: 5\r\n"), 19u);
  EXPECT_EQ(Header("\r\n"), 2u);
  EXPECT_EQ(Header("HTTP/1.1 200 OK\r\n"), 17u);
  EXPECT_EQ(Header("Content-Length: 1000\r\n"), 22u);
  EXPECT_EQ(Header("\r\n"), 2u);
  EXPECT_EQ(shared_.contradictedSize.load(), -1);
}

TEST_F(CallbackTest, ContentRangeTotalMustMatchThePlan) {
  EXPECT_EQ(Header("Content-Range: bytes 100-199/1000\r\n"), 35u);
  EXPECT_EQ(Header("Content-Range: bytes 100-199/999\r\n"), 0u);
  EXPECT_TRUE(log_.Contains(" HeaderCallback error1: 1000 != Content-Range: bytes 100-199/999"));
  EXPECT_EQ(Header("Content-Range: bytes 100-199\r\n"), 0u);
  EXPECT_TRUE(log_.Contains(" HeaderCallback error2: "));
  EXPECT_EQ(Header("Content-Range: bytes garbage/1000\r\n"), 0u);
  EXPECT_EQ(Header("Content-Range: bytes 1-2/99999999999999999999999\r\n"), 0u);
  // Header names are case-insensitive: the lower-case names of HTTP/2 are checked alike.
  EXPECT_EQ(Header("content-range: bytes 0-1/5\r\n"), 0u);
  EXPECT_EQ(Header("content-range: bytes 100-199/1000\r\n"), 35u);
  EXPECT_EQ(worker_.response().bodyOffset, 100);
  // The first readable total that is not the plan's is kept for the round to act on.
  EXPECT_EQ(shared_.contradictedSize.load(), 999);
}

TEST_F(CallbackTest, SliceWithoutContentLengthAcceptsEveryLine) {
  task_.contentLength = 0;
  task_.RemotePath = "http://h/a.exe";
  EXPECT_EQ(Header("HTTP/1.1 200 OK\r\n"), 17u);
  EXPECT_EQ(Header("Content-Range: bytes 0-1/5\r\n"), 28u);
}

TEST_F(CallbackTest, CdnHeaderTextCollectsStatusAndLocation) {
  Header("HTTP/1.1 206 Partial Content\r\n");
  Header("CF-Cache-Status: HIT\r\n");
  EXPECT_EQ(task_.cdnHeader, "HIT");
  Header("CF-RAY: 7d1f2e3a4b5c6d7e-LAX\r\n");
  EXPECT_EQ(task_.cdnHeader, "LAX/HIT");
  Header("CF-RAY: 7d1f2e3a4b5c6d7e-LAX\r\n");  // a second response prefixes again
  EXPECT_EQ(task_.cdnHeader, "LAX/LAX/HIT");
  task_.cdnReference = "SFO/LAX/LAX/HIT";
  Header("CF-RAY: 1-SFO\r\n");
  EXPECT_EQ(task_.cdnHeader, "");  // equal to the reference: emptied
  // HTTP/2 names come in lower case.
  task_.cdnReference.clear();
  Header("cf-cache-status: MISS\r\n");
  Header("cf-ray: 9-FRA\r\n");
  EXPECT_EQ(task_.cdnHeader, "FRA/MISS");
}

TEST_F(CallbackTest, RangedBodyLandsAtItsOffsetAndStopsAtTheSliceEnd) {
  Header("HTTP/1.1 206 Partial Content\r\n");
  Header("Content-Range: bytes 100-199/1000\r\n");
  EXPECT_EQ(Body(std::string(60, 'a')), 60u);
  EXPECT_EQ(task_.nextPos(), 160);
  // 50 more bytes would run past EndPos 199: only 40 are written.
  EXPECT_EQ(Body(std::string(50, 'b')), 40u);
  EXPECT_EQ(task_.DownloadedPos(), 199);
  EXPECT_TRUE(task_.isComplete());
  EXPECT_TRUE(worker_.response().surplusCut);
  const std::string bytes = FileBytes();
  ASSERT_EQ(bytes.size(), 200u);
  EXPECT_EQ(bytes.substr(100, 60), std::string(60, 'a'));
  EXPECT_EQ(bytes.substr(160, 40), std::string(40, 'b'));
}

TEST_F(CallbackTest, WholeFileReplySkipsToTheSlicePosition) {
  Header("HTTP/1.1 200 OK\r\n");
  std::string body(300, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i);
  EXPECT_EQ(Body(body.substr(0, 150)), 150u);  // bytes 0..99 skipped, 100..149 written
  EXPECT_EQ(task_.nextPos(), 150);
  EXPECT_EQ(Body(body.substr(150)), 50u);
  EXPECT_TRUE(task_.isComplete());
  EXPECT_EQ(FileBytes().substr(100, 100), body.substr(100, 100));
}

TEST_F(CallbackTest, ReplyStartingPastThePositionIsRefused) {
  Header("HTTP/1.1 206 Partial Content\r\n");
  Header("Content-Range: bytes 150-199/1000\r\n");
  EXPECT_EQ(Body("xyz"), 0u);
  EXPECT_EQ(task_.nextPos(), 100);
}

TEST_F(CallbackTest, ErrorPagesAreNeverWritten) {
  Header("HTTP/1.1 404 Not Found\r\n");
  EXPECT_EQ(Body("<html>404</html>"), 0u);
  EXPECT_EQ(task_.nextPos(), 100);
  EXPECT_EQ(FileBytes().size(), 0u);
}

TEST_F(CallbackTest, OnlySuccessfulBodiesAreWritten) {
  // An unfollowed redirect, "no content", a proxy's rewritten answer, "not modified", a
  // server error: none of their bodies is the file.
  for (const char* status : {"HTTP/1.1 302 Found\r\n", "HTTP/1.1 204 No Content\r\n",
                             "HTTP/1.1 203 Non-Authoritative Information\r\n",
                             "HTTP/1.1 304 Not Modified\r\n", "HTTP/2 500\r\n"}) {
    SCOPED_TRACE(status);
    worker_.response() = CDownloadThread::Response();
    Header(status);
    EXPECT_EQ(Body("<html>moved</html>"), 0u);
    EXPECT_TRUE(worker_.response().rejected);
  }
  EXPECT_EQ(task_.nextPos(), 100);
  EXPECT_EQ(FileBytes().size(), 0u);
  worker_.response() = CDownloadThread::Response();
  Header("HTTP/2 206\r\n");
  Header("content-range: bytes 100-199/1000\r\n");
  EXPECT_EQ(Body("abc"), 3u);
  EXPECT_EQ(task_.nextPos(), 103);
}

TEST_F(CallbackTest, FailedWriteIsLoggedAndEndsTheTransfer) {
  file_.Close();
  Header("HTTP/1.1 206 Partial Content\r\n");
  EXPECT_EQ(Body("abc"), 0u);
  EXPECT_EQ(task_.nextPos(), 100);
  EXPECT_TRUE(log_.Contains(" Thread: 2 Write Error. Task id\xa3\xba" "2 Download to:100 Receive:3 Write:0"));
}

// A server that ignores Range, met by workers whose shared state knows the plan's slices.
class StreamCallbackTest : public testing::Test {
 protected:
  static constexpr int64_t kLength = 300;
  void SetUp() override {
    ASSERT_EQ(file_.Open(dir_.File(L"st.bin"), false), 0u);
    int64_t start = 0;
    for (int i = 0; i < 3; ++i) {
      auto& t = slices_[i];
      t.StartPos = start;
      t.EndPos = i == 2 ? kLength : start + 99;
      t.contentLength = kLength;
      t.setNextPos(start);
      t.RemotePath = "http://h/st.bin";
      t.id.store(i + 1);
      list_.push_back(&t);
      start += 100;
    }
    shared_.slices = &list_;
    // Slice 1 already holds 50 bytes from an earlier round.
    uint32_t error = 0;
    file_.WriteAt(0, std::string(50, 'z').data(), 50, &error);
    slices_[0].setNextPos(50);
    a_.doTask(&slices_[1]);
    b_.doTask(&slices_[2]);
  }
  static size_t Header(CDownloadThread& w, const std::string& line) {
    std::string copy = line;
    return CLibcurlTool::HeaderCallback(&copy[0], 1, copy.size(), &w);
  }
  static size_t Body(CDownloadThread& w, const std::string& bytes) {
    std::string copy = bytes;
    return CLibcurlTool::downloadFunc(&copy[0], 1, copy.size(), &w);
  }

  testsupport::TempDir dir_;
  testsupport::LogCapture log_{dir_.File(L"log.txt")};
  platform::SharedFile file_;
  std::mutex mutex_;
  CDownloadTask slices_[3];
  std::vector<CTask*> list_;
  SharedDownloadState shared_;
  CDownloadThread a_{&mutex_, &file_, &shared_};
  CDownloadThread b_{&mutex_, &file_, &shared_};
};

TEST_F(StreamCallbackTest, OneWholeFileAnswerFillsEverySliceItPasses) {
  const std::string file = testsupport::PatternBytes(5, kLength);
  Header(a_, "HTTP/1.1 200 OK\r\n");
  Header(a_, "Content-Length: 300\r\n");
  EXPECT_EQ(Body(a_, file.substr(0, 120)), 120u);
  EXPECT_TRUE(shared_.wholeStream.load());
  EXPECT_TRUE(a_.response().stream);
  // A second whole-file answer is not read: the first stream already brings every byte.
  Header(b_, "HTTP/1.1 200 OK\r\n");
  EXPECT_EQ(Body(b_, file.substr(0, 10)), 0u);
  EXPECT_TRUE(b_.response().yielded);
  EXPECT_EQ(Body(a_, file.substr(120)), 180u);
  for (const auto& t : slices_) EXPECT_TRUE(t.isComplete()) << t.id.load();
  const std::string bytes = enginetest::ReadFile(dir_.File(L"st.bin"));
  ASSERT_EQ(bytes.size(), static_cast<size_t>(kLength));
  // Bytes the file had are passed over, not written again; the rest is the stream's.
  EXPECT_EQ(bytes.substr(0, 50), std::string(50, 'z'));
  EXPECT_EQ(bytes.substr(50), file.substr(50));
  EXPECT_EQ(a_.response().wrote, kLength - 50);
}

TEST_F(StreamCallbackTest, WholeFileAnswerOfAnotherSizeIsTheFileChanging) {
  Header(a_, "HTTP/1.1 200 OK\r\n");
  Header(a_, "content-length: 301\r\n");
  EXPECT_EQ(Body(a_, "abc"), 0u);
  EXPECT_EQ(shared_.contradictedSize.load(), 301);
  EXPECT_FALSE(shared_.wholeStream.load());
  EXPECT_EQ(slices_[1].nextPos(), 100);
}

TEST(CdnInfoTest, JoinsTheHandedOutSlices) {
  testsupport::TempDir dir;
  const std::string local = enginetest::Narrow(dir.File(L"c.bin"));
  CDownloader downloader("http://h/c.bin", local, local + ".xml", 4);
  auto* a = new CDownloadTask();
  a->status.store(CTask::kDone);
  a->cdnHeader = "LAX/HIT";
  auto* b = new CDownloadTask();
  b->status.store(CTask::kDone);
  downloader.plan().addTask(a);
  downloader.plan().addTask(b);
  EXPECT_EQ(downloader.getCdnInfo(), "T();C(LAX/HIT;)");
  b->cdnReference = "HIT";
  b->cdnHeader = "FRA/MISS";
  EXPECT_EQ(downloader.getCdnInfo(), "T(HIT);C(LAX/HIT;FRA/MISS;)");
  downloader.stop();
  downloader.waitDriver(5000);
  downloader.resetDownloader();
  EXPECT_EQ(downloader.getCdnInfo(), "");
}

}  // namespace
}  // namespace download
