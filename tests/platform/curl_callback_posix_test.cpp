// A libcurl callback that throws: the guard catches it inside the callback, logs it once and
// makes libcurl abort, so the transfer ends with its ordinary failure code and nothing unwinds
// through libcurl (which the sanitizer build would report).
#include <gtest/gtest.h>

#include <curl/curl.h>

#include <algorithm>
#include <new>
#include <stdexcept>
#include <string>

#include "config/log_capture.h"
#include "platform/curl_callback.h"
#include "support/temp_dir.h"
#include "tests/download/mini_http_server.h"

namespace platform {
namespace {

struct Calls {
  int writes = 0;
  int headers = 0;
  int progress = 0;
};

size_t CountingWrite(char*, size_t size, size_t count, void* user) {
  ++static_cast<Calls*>(user)->writes;
  return size * count;
}
size_t ThrowingWrite(char*, size_t, size_t, void* user) {
  ++static_cast<Calls*>(user)->writes;
  throw std::bad_alloc();
}
size_t ThrowingHeader(char*, size_t, size_t, void* user) {
  ++static_cast<Calls*>(user)->headers;
  throw std::runtime_error("header parser gave up");
}
int ThrowingProgress(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t) {
  ++static_cast<Calls*>(user)->progress;
  if (dlnow > 0) throw 42;  // not even a std::exception
  return 0;
}

class CurlCallbackTest : public testing::Test {
 protected:
  void SetUp() override {
    testsupport::ServedFile f;
    f.size = 32 * 1024 * 1024;
    f.fill = 'x';
    server_.AddFile("/file", f);
  }
  // One GET of the served file with the callbacks given (null keeps libcurl's default).
  CURLcode Get(curl_write_callback header, curl_xferinfo_callback progress) {
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, server_.Url("/file").c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, write_);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &calls_);
    if (header != nullptr) {
      curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, header);
      curl_easy_setopt(curl, CURLOPT_HEADERDATA, &calls_);
    }
    if (progress != nullptr) {
      curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, progress);
      curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &calls_);
      curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    }
    const CURLcode result = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    return result;
  }
  size_t FaultLines() const {
    const auto lines = log_.Lines();
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
      return l.find("callback failed") != std::string::npos;
    }));
  }

  testsupport::TempDir dir_;
  testsupport::LogCapture log_{dir_.File(L"log.txt")};
  testsupport::MiniHttpServer server_;
  Calls calls_;
  curl_write_callback write_ = &CurlGuard<&CountingWrite>::Call;
};

TEST_F(CurlCallbackTest, GuardPassesAnswersThroughWhenNothingThrows) {
  EXPECT_EQ(Get(nullptr, nullptr), CURLE_OK);
  EXPECT_GT(calls_.writes, 1);
  EXPECT_EQ(FaultLines(), 0u);
}

TEST_F(CurlCallbackTest, ThrowingWriteAbortsTheTransfer) {
  write_ = &CurlGuard<&ThrowingWrite>::Call;
  EXPECT_EQ(Get(nullptr, nullptr), CURLE_WRITE_ERROR);
  EXPECT_EQ(calls_.writes, 1);
  EXPECT_EQ(FaultLines(), 1u);
  EXPECT_TRUE(log_.Contains(" curl data callback failed (std::bad_alloc), transfer aborted"));
}

TEST_F(CurlCallbackTest, ThrowingHeaderCallbackAbortsBeforeTheBody) {
  EXPECT_EQ(Get(&CurlGuard<&ThrowingHeader>::Call, nullptr), CURLE_WRITE_ERROR);
  EXPECT_EQ(calls_.headers, 1);
  EXPECT_EQ(calls_.writes, 0);
  EXPECT_TRUE(log_.Contains(" curl data callback failed (header parser gave up), transfer aborted"));
}

TEST_F(CurlCallbackTest, ThrowingProgressCallbackAbortsTheTransfer) {
  EXPECT_EQ(Get(nullptr, &CurlGuard<&ThrowingProgress>::Call), CURLE_ABORTED_BY_CALLBACK);
  EXPECT_GE(calls_.progress, 1);
  EXPECT_EQ(FaultLines(), 1u);
  EXPECT_TRUE(log_.Contains(" curl progress callback failed (unknown error), transfer aborted"));
  // Far fewer bytes than the file arrived: the transfer ended when the callback threw.
  EXPECT_LT(server_.BodyBytesSent(), int64_t{32} * 1024 * 1024);
}

}  // namespace
}  // namespace platform
