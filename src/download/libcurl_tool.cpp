// curl_formadd is the interface of the log upload; keep its deprecation notice out of the build.
#define CURL_DISABLE_DEPRECATION 1

#include "download/libcurl_tool.h"

#include <easylogging++.h>

#include <cstdio>
#include <cstring>
#include <cctype>
#include <algorithm>
#include <chrono>
#include <vector>

#include "analytics/single_user_log.h"
#include "config/endpoints.h"
#include "download/download_thread.h"
#include "platform/clock.h"
#include "platform/curl_callback.h"
#include "platform/files.h"

namespace download {
namespace {

const char kUserAgent[] =
    "User-Agent:Mozilla/5.0 (Windows NT 6.1; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/62.0.3202.75 Safari/537.36";

struct TextSink {
  std::string text;
  size_t limit = std::string::npos;
  // Past the limit: false keeps reading and drops the surplus, true ends the transfer.
  bool abortOverLimit = false;
  bool overLimit = false;
};

size_t AppendText(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<TextSink*>(user);
  const size_t n = size * count;
  const size_t room = sink->text.size() < sink->limit ? sink->limit - sink->text.size() : 0;
  if (n > room && sink->abortOverLimit) {
    sink->overLimit = true;
    return 0;  // ends the transfer with CURLE_WRITE_ERROR
  }
  sink->text.append(data, std::min(n, room));
  return n;
}

// A reply body of at most limit bytes, held in memory: the transfer ends as soon as more
// arrives, and libcurl refuses an announced Content-Length above it before reading the body.
void KeepBody(CURL* curl, TextSink* sink, size_t limit) {
  sink->limit = limit;
  sink->abortOverLimit = true;
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &platform::CurlGuard<&AppendText>::Call);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, sink);
  if (limit < static_cast<size_t>(INT64_MAX)) {
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limit));
  }
}

// The result of a transfer into KeepBody's sink: a body over its limit is a failure of its own
// (CURLE_FILESIZE_EXCEEDED, logged) and none of it is kept.
CURLcode BodyResult(CURLcode result, TextSink* sink, const char* request, const std::string& url) {
  if (result == CURLE_FILESIZE_EXCEEDED || (result == CURLE_WRITE_ERROR && sink->overLimit)) {
    LOG(INFO) << " " << request << " reply over " << sink->limit
              << " bytes, transfer ended: " << url;
    sink->text.clear();
    return CURLE_FILESIZE_EXCEEDED;
  }
  return result;
}

// Progress of a ranged GET: ends it when its download stops, and keeps its transfer time-out.
// A slice request may take the time-out in all; a stream of the rest of the file (behind a
// server that ignores Range) may take as long as it needs while bytes keep coming, and ends
// once none came for the time-out. libcurl's own CURLOPT_TIMEOUT cannot change its mind in the
// middle of a request, so the time-out is kept here.
int ProgressCheck(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t) {
  auto* worker = static_cast<CDownloadThread*>(user);
  if (worker->stopRequested()) return 1;
  CDownloadThread::Response& r = worker->response();
  const auto now = std::chrono::steady_clock::now();
  if (static_cast<int64_t>(dlnow) > r.lastNow) {
    r.lastNow = static_cast<int64_t>(dlnow);
    r.lastByteAt = now;
  }
  const auto since = r.stream ? now - r.lastByteAt : now - r.started;
  if (since >= std::chrono::milliseconds(r.timeoutMs)) {
    r.timedOut = true;
    return 1;
  }
  return 0;
}

// Text of a header line without its line end.
std::string LineValue(const char* line, size_t length, size_t from) {
  if (from >= length) return std::string();
  size_t end = from;
  while (end < length && line[end] != '\r' && line[end] != '\n') ++end;
  return std::string(line + from, end - from);
}

// 64-bit decimal after position `from` (blanks skipped); false when absent or overflowing.
bool ParseInt64(const std::string& text, size_t from, int64_t* value, size_t* stop = nullptr) {
  while (from < text.size() && text[from] == ' ') ++from;
  int64_t v = 0;
  size_t digits = 0;
  while (from < text.size() && text[from] >= '0' && text[from] <= '9') {
    const int d = text[from] - '0';
    if (v > (INT64_MAX - d) / 10) return false;
    v = v * 10 + d;
    ++from;
    ++digits;
  }
  if (stop) *stop = from;
  if (digits == 0) return false;
  *value = v;
  return true;
}

// Records a size of the remote file that a reply named and the plan does not have.
void NoteContradiction(CDownloadThread* worker, int64_t size) {
  SharedDownloadState* shared = worker->shared();
  if (shared == nullptr) return;
  int64_t none = -1;
  shared->contradictedSize.compare_exchange_strong(none, size);
}

// The slice of plan-ordered slices that holds byte at; null past the last one.
CDownloadTask* SliceAt(const std::vector<CTask*>& slices, int64_t at) {
  auto it = std::upper_bound(slices.begin(), slices.end(), at, [](int64_t pos, CTask* t) {
    return pos < static_cast<CDownloadTask*>(t)->StartPos;
  });
  if (it == slices.begin()) return nullptr;
  auto* slice = static_cast<CDownloadTask*>(*(it - 1));
  return at <= slice->lastByte() ? slice : nullptr;
}

bool StartsWithNoCase(const char* text, size_t length, const char* prefix) {
  const size_t n = std::strlen(prefix);
  if (length < n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

// The empty line that ends the header block of a response.
bool IsHeaderEnd(const char* line, size_t length) {
  return (length == 2 && line[0] == '\r' && line[1] == '\n') || (length == 1 && line[0] == '\n');
}

bool EndsWithExe(const std::string& url) {
  return url.size() >= 4 && url.compare(url.size() - 4, 4, ".exe") == 0;
}

// Status number of an "HTTP/x.y NNN ..." or "HTTP/2 NNN" line; 0 when unreadable.
int StatusOf(const std::string& line) {
  size_t at = line.find(' ');
  if (at == std::string::npos) return 0;
  int64_t status = 0;
  if (!ParseInt64(line, at + 1, &status) || status > 999) return 0;
  return static_cast<int>(status);
}

}  // namespace

size_t FindNoCase(const std::string& text, const char* needle, size_t from) {
  const size_t n = std::strlen(needle);
  if (n == 0) return from <= text.size() ? from : std::string::npos;
  for (size_t i = from; i + n <= text.size(); ++i) {
    size_t k = 0;
    while (k < n && std::tolower(static_cast<unsigned char>(text[i + k])) ==
                        std::tolower(static_cast<unsigned char>(needle[k]))) {
      ++k;
    }
    if (k == n) return i;
  }
  return std::string::npos;
}

CLibcurlTool::CLibcurlTool() : curl_(curl_easy_init()) {}

CLibcurlTool::~CLibcurlTool() {
  if (curl_ != nullptr) curl_easy_cleanup(curl_);
}

std::string CLibcurlTool::errorText(int code) {
  switch (code) {
    case 1: return " ProtoControl Unsupport!";
    case 2: return " Init Failed!";
    case 3: return " Curl RemotePath Error";
    case 4: return " libcurl InitFailed\xa3\xac" "Please Try again!";
    case 5: return " Cannt resovlve proxy!";
    case 6: return " cannt resovlve server!";
    case 7: return " Curl Connect Server Error";
    case 8: return " FTP\xb7\xfe\xce\xf1\xc6\xf7\xb7\xc7\xb7\xa8\xbb\xd8\xb8\xb4";
    case 9: return " Acess Denied!";
    case 10: return " FTP\xc1\xac\xbd\xd3\xca\xa7\xb0\xdc";
    case 11: return " FTP\xb7\xfe\xce\xf1\xc6\xf7\xce\xb4\xd6\xaa\xbb\xd8\xb8\xb4";
    case 12: return " FTP\xc1\xac\xbd\xd3\xb3\xac\xca\xb1";
    case 13:
    case 14: return " Curl unknow error!";
    case 15: return " \xc4\xda\xb2\xbf\xb9\xca\xd5\xcf";
    case 16: return " HTTP2\xb4\xed\xce\xf3";
    case 17: return " FTP\xbb\xf1\xc8\xa1\xb4\xab\xca\xe4\xc0\xe0\xd0\xcd\xca\xa7\xb0\xdc";
    case 18:
      return " \xb7\xfe\xce\xf1\xc6\xf7\xb7\xb5\xbb\xd8\xce\xc4\xbc\xfe\xb4\xf3\xd0\xa1\xb7\xc7"
             "\xb7\xa8";
    case 22: return " HTTP\xc7\xeb\xc7\xf3\xb4\xed\xce\xf3";
    case 23: return " \xbd\xd3\xca\xd5\xca\xfd\xbe\xdd\xb4\xed\xce\xf3";
    case 25: return " \xc9\xcf\xb4\xab\xca\xfd\xbe\xdd\xb4\xed\xce\xf3";
    case 26: return " \xb1\xbe\xb5\xd8\xce\xc4\xbc\xfe\xb6\xc1\xc8\xa1\xb4\xed\xce\xf3";
    case 27: return " \xc4\xda\xb4\xe6\xb2\xbb\xd7\xe3";
    case 28: return " Curl Time out";
    case 30: return " FTP\xb6\xcb\xbf\xda\xca\xa7\xb0\xdc";
    case 33: return " \xc7\xeb\xc7\xf3\xb5\xc4\xca\xfd\xbe\xdd\xb7\xb6\xce\xa7\xb4\xed\xce\xf3";
    default: return " Curl Else Error: " + std::to_string(code);
  }
}

int CLibcurlTool::figureError(CURLcode code) {
  LOG(INFO) << errorText(static_cast<int>(code));
  return 1;
}

CURLcode CLibcurlTool::httpDownloadContent(const std::string& url, int64_t first, int64_t last,
                                           CDownloadThread* worker) {
  if (curl_ == nullptr) {
    LOG(INFO) << " curl easy init fail !!!";
    return CURLE_FAILED_INIT;
  }
  CDownloadTask* task = worker->task();
  const std::string range = std::to_string(first) + "-" + std::to_string(last);
  const auto settings = analytics::CSingleUserLog::GetInstance().GetDownloadSettings();
  const long connectTimeout = settings.connectTimeout > 0 ? settings.connectTimeout : 3;
  const long transferTimeout = settings.transferTimeout > 0 ? settings.transferTimeout : 20;
  if (task->logFlag) {
    LOG(INFO) << " Request Range: (" << task->id.load() << ", " << (last - first) << ") " << range
              << ", [" << connectTimeout << "," << transferTimeout << "]";
  }
  CDownloadThread::Response& response = worker->response();
  response = CDownloadThread::Response();
  response.stream = worker->streamRequest();
  response.started = std::chrono::steady_clock::now();
  response.lastByteAt = response.started;
  response.timeoutMs = static_cast<int64_t>(transferTimeout) * 1000;

  curl_easy_reset(curl_);
  struct curl_slist* headers = curl_slist_append(nullptr, kUserAgent);
  CURLcode kept = curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl_, CURLOPT_RANGE, range.c_str());
  curl_easy_setopt(curl_, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl_, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION,
                   &platform::CurlGuard<&CLibcurlTool::downloadFunc>::Call);
  curl_easy_setopt(curl_, CURLOPT_WRITEDATA, worker);
  curl_easy_setopt(curl_, CURLOPT_HEADERDATA, worker);
  curl_easy_setopt(curl_, CURLOPT_HEADERFUNCTION,
                   &platform::CurlGuard<&CLibcurlTool::HeaderCallback>::Call);
  // The transfer time-out is kept by ProgressCheck (a stream may outlive it while bytes come).
  curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT, connectTimeout);
  // Larger receive buffers mean fewer locked writes per slice.
  curl_easy_setopt(curl_, CURLOPT_BUFFERSIZE, 256L * 1024L);
  // Lets a stopping download end its requests at once, and keeps the transfer time-out.
  curl_easy_setopt(curl_, CURLOPT_XFERINFOFUNCTION, &platform::CurlGuard<&ProgressCheck>::Call);
  curl_easy_setopt(curl_, CURLOPT_XFERINFODATA, worker);
  curl_easy_setopt(curl_, CURLOPT_NOPROGRESS, 0L);
  const CURLcode verify = curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYPEER, 0L);
  if (kept == CURLE_OK) kept = verify;
  curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYHOST, 0L);

  CURLcode result = kept;
  if (kept != CURLE_OK) {
    figureError(kept);
  } else {
    result = curl_easy_perform(curl_);
    // The time-out ends the request as libcurl's own would have.
    if (result == CURLE_ABORTED_BY_CALLBACK && response.timedOut) result = CURLE_OPERATION_TIMEDOUT;
    if (result != CURLE_OK) figureError(result);
  }
  curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, nullptr);
  curl_slist_free_all(headers);
  return result;
}

size_t CLibcurlTool::downloadFunc(char* data, size_t size, size_t count, void* user) {
  auto* worker = static_cast<CDownloadThread*>(user);
  CDownloadTask* task = worker->task();
  CDownloadThread::Response& response = worker->response();
  const size_t n = size * count;
  if (n == 0) return 0;
  // Only the body of a successful answer is the file: an error page, an unfollowed redirect, a
  // "no content" or a proxy's rewritten answer (203) never lands in it.
  if (response.rejected || (response.status != 200 && response.status != 206)) {
    if (!response.rejected) {
      LOG(INFO) << " Thread: " << task->id.load() << " refused body of status " << response.status;
    }
    response.rejected = true;
    return 0;
  }
  SharedDownloadState* shared = worker->shared();
  const bool canStream = shared != nullptr && shared->slices != nullptr && task->contentLength > 0;
  if (response.status == 200 && response.bodyOffset < 0) {
    // The whole file, from its first byte, although a range was asked for.
    if (task->contentLength > 0 && response.length >= 0 && response.length != task->contentLength) {
      LOG(INFO) << " Thread: " << task->id.load() << " whole-file answer of " << response.length
                << " bytes, the plan has " << task->contentLength;
      NoteContradiction(worker, response.length);
      response.rejected = true;
      return 0;
    }
    if (canStream && !response.stream) {
      bool expected = false;
      if (shared->wholeStream.compare_exchange_strong(expected, true)) {
        LOG(INFO) << " Thread: " << task->id.load()
                  << " server ignores Range: one stream fills the file";
        response.stream = true;
      } else {
        // Another worker already streams the file; a second stream would only repeat it.
        response.yielded = true;
        return 0;
      }
    }
  }
  response.bodyBytes += static_cast<int64_t>(n);

  std::lock_guard<std::mutex> guard(*worker->fileMutex());
  if (response.stream && canStream) return streamWrite(worker, data, n);
  int64_t next = task->nextPos();
  // Where this chunk belongs: a 206 names its range, a 200 starts at byte 0, and without either
  // the server is taken to have sent what was asked.
  if (response.bodyOffset < 0) response.bodyOffset = response.status == 200 ? 0 : next;
  int64_t at = response.bodyOffset;
  const char* p = data;
  size_t left = n;
  if (at < next) {  // bytes this slice already has (or a whole-file reply before the slice)
    const int64_t skip = std::min<int64_t>(static_cast<int64_t>(left), next - at);
    p += skip;
    left -= static_cast<size_t>(skip);
    at += skip;
  }
  if (left > 0 && at > next) {
    LOG(INFO) << " Thread: " << task->id.load() << " reply starts at " << at << ", slice needs "
              << next;
    response.rejected = true;
    return 0;
  }
  const int64_t room = task->lastByte() - next + 1;
  const size_t want = room <= 0 ? 0 : static_cast<size_t>(std::min<int64_t>(room, left));
  uint32_t error = 0;
  size_t written = 0;
  if (want > 0) written = worker->file()->WriteAt(next, p, want, &error);
  next += static_cast<int64_t>(written);
  task->setNextPos(next);
  response.wrote += static_cast<int64_t>(written);
  response.bodyOffset = at + static_cast<int64_t>(written);
  if (written != want) {
    LOG(INFO) << " Thread: " << task->id.load() << " Write Error. Task id\xa3\xba" << task->id.load()
              << " Download to:" << task->DownloadedPos() << " Receive:" << n
              << " Write:" << written << " Task EndPos:" << task->EndPos << " error " << error;
    return static_cast<size_t>(p - data) + written;
  }
  if (left > want) {
    // More than the slice holds: keep what fits and end the transfer.
    response.surplusCut = true;
    return static_cast<size_t>(p - data) + written;
  }
  return n;
}

size_t CLibcurlTool::streamWrite(CDownloadThread* worker, const char* data, size_t n) {
  // Called with the file mutex held: every slice position moves only under it.
  CDownloadTask* task = worker->task();
  CDownloadThread::Response& response = worker->response();
  const std::vector<CTask*>& slices = *worker->shared()->slices;
  if (response.bodyOffset < 0) response.bodyOffset = response.status == 200 ? 0 : task->nextPos();
  int64_t at = response.bodyOffset;
  size_t used = 0;
  while (used < n) {
    CDownloadTask* slice = SliceAt(slices, at);
    if (slice == nullptr) {
      // Bytes past the end of the planned file.
      if (response.status == 200) {
        LOG(INFO) << " Thread: " << task->id.load() << " whole-file answer runs past "
                  << task->contentLength << " bytes";
        NoteContradiction(worker, at + static_cast<int64_t>(n - used));
      }
      response.surplusCut = true;
      break;
    }
    const int64_t next = slice->nextPos();
    const size_t inSlice =
        static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n - used),
                                              slice->lastByte() + 1 - at));
    if (at != next) {
      // Bytes the slice already has, or (a reply that starts past a slice's position) bytes
      // that would leave a hole: passed over, never written.
      const size_t skip = at < next ? static_cast<size_t>(std::min<int64_t>(
                                          static_cast<int64_t>(inSlice), next - at))
                                    : inSlice;
      used += skip;
      at += static_cast<int64_t>(skip);
      continue;
    }
    uint32_t error = 0;
    const size_t written = worker->file()->WriteAt(at, data + used, inSlice, &error);
    slice->setNextPos(next + static_cast<int64_t>(written));
    response.wrote += static_cast<int64_t>(written);
    used += written;
    at += static_cast<int64_t>(written);
    if (written != inSlice) {
      LOG(INFO) << " Thread: " << task->id.load() << " Write Error. Task id\xa3\xba"
                << slice->id.load() << " Download to:" << slice->DownloadedPos()
                << " Receive:" << n << " Write:" << written << " Task EndPos:" << slice->EndPos
                << " error " << error;
      break;
    }
  }
  response.bodyOffset = at;
  return used;
}

size_t CLibcurlTool::HeaderCallback(char* line, size_t size, size_t count, void* user) {
  const size_t n = size * count;
  auto* worker = static_cast<CDownloadThread*>(user);
  if (line == nullptr || worker == nullptr || worker->task() == nullptr) return n;
  CDownloadTask* task = worker->task();
  if (task->contentLength == 0) return n;
  const std::string text(line, n);
  CDownloadThread::Response& response = worker->response();

  if (StartsWithNoCase(line, n, "HTTP/")) {
    // A new response of the chain begins.
    response.status = StatusOf(text);
    response.bodyOffset = -1;
    response.length = -1;
    response.bodyBytes = 0;
    response.lengthPending = false;
    int a = 0, b = 0, c = 0;
    const int got =
        std::sscanf(text.c_str(), "%*[^0-9]%d%*[^0-9]%d%*[^0-9]%d%*[^0-9]", &a, &b, &c);
    // "HTTP/2 206" carries two numbers only: its status is the second.
    const int status = got == 3 ? c : response.status;
    const bool redirect = status >= 300 && status < 400;
    if (status != 0 && EndsWithExe(task->RemotePath) && status != 206 && !redirect) {
      if (status == 200) {
        // A server that ignores Range answers with the whole file; whether it is the planned
        // file is known once its length is.
        response.lengthPending = true;
        return n;
      }
      LOG(INFO) << " HeaderCallback error0: http_code is " << status;
      response.rejected = true;
      return 0;
    }
    return n;
  }

  if (response.lengthPending && IsHeaderEnd(line, n)) {
    LOG(INFO) << " HeaderCallback error0: http_code is 200, no Content-Length for "
              << task->contentLength << " bytes";
    response.rejected = true;
    return 0;
  }

  if (FindNoCase(text, "CF-RAY:") != std::string::npos) {
    const size_t dash = text.find('-', 7);
    if (dash != std::string::npos) {
      const std::string location = LineValue(line, n, dash + 1);
      if (task->cdnHeader.empty()) {
        task->cdnHeader = location;
      } else {
        task->cdnHeader = location + "/" + task->cdnHeader;
        if (task->cdnHeader == task->cdnReference) task->cdnHeader.clear();
      }
    }
  } else if (FindNoCase(text, "CF-Cache-Status:") != std::string::npos) {
    const std::string status = LineValue(line, n, 17);
    if (task->cdnHeader.empty()) {
      task->cdnHeader = status;
    } else {
      task->cdnHeader = task->cdnHeader + "/" + status;
      if (task->cdnHeader == task->cdnReference) task->cdnHeader.clear();
    }
  } else if (FindNoCase(text, "Content-Range") != std::string::npos) {
    const size_t slash = text.find_last_of('/');
    if (slash == std::string::npos) {
      LOG(INFO) << " HeaderCallback error2: " << LineValue(line, n, 0);
      response.rejected = true;
      return 0;
    }
    int64_t total = -1;
    if (!ParseInt64(text, slash + 1, &total) || total != task->contentLength) {
      LOG(INFO) << " HeaderCallback error1: " << task->contentLength
                << " != " << LineValue(line, n, 0);
      // A readable total that is not the plan's: the file at this address changed.
      if (total > 0 && total != task->contentLength) NoteContradiction(worker, total);
      response.rejected = true;
      return 0;
    }
    // "bytes START-END/TOTAL": the body starts at START.
    const size_t colon = text.find(':');
    size_t digits = text.find_first_of("0123456789", colon == std::string::npos ? 0 : colon);
    int64_t start = -1;
    int64_t end = -1;
    size_t stop = 0;
    if (digits != std::string::npos && digits < slash && ParseInt64(text, digits, &start, &stop) &&
        stop < text.size() && text[stop] == '-' && ParseInt64(text, stop + 1, &end) &&
        end >= start) {
      response.bodyOffset = start;
    } else {
      LOG(INFO) << " HeaderCallback error2: " << LineValue(line, n, 0);
      response.rejected = true;
      return 0;
    }
  } else if (StartsWithNoCase(line, n, "Content-Length:")) {
    int64_t length = -1;
    if (ParseInt64(text, 15, &length)) response.length = length;
    if (response.lengthPending) {
      if (response.length != task->contentLength) {
        LOG(INFO) << " HeaderCallback error0: http_code is 200, " << task->contentLength
                  << " != " << LineValue(line, n, 0);
        // A whole file of another size: the file at this address is not the planned one.
        if (response.length > 0) NoteContradiction(worker, response.length);
        response.rejected = true;
        return 0;
      }
      response.lengthPending = false;
    }
  }
  return n;
}

CURLcode CLibcurlTool::httpGet(const std::string& url, std::string* headerText, long* status) {
  headerText->clear();
  *status = 0;
  effectiveUrl_.clear();
  if (curl_ == nullptr) {
    LOG(INFO) << " curl easy init fail !!!";
    return CURLE_FAILED_INIT;
  }
  TextSink sink;
  sink.limit = kMaxHeaderText;
  curl_easy_reset(curl_);
  curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl_, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(curl_, CURLOPT_HEADER, 1L);
  curl_easy_setopt(curl_, CURLOPT_TIMEOUT, 30L);
  curl_easy_setopt(curl_, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl_, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &platform::CurlGuard<&AppendText>::Call);
  curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &sink);
  const CURLcode kept = curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYHOST, 0L);
  if (kept != CURLE_OK) {
    figureError(kept);
    return kept;
  }
  const CURLcode result = curl_easy_perform(curl_);
  curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, status);
  char* effective = nullptr;
  if (curl_easy_getinfo(curl_, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective) {
    effectiveUrl_ = effective;
  }
  *headerText = std::move(sink.text);
  if (result != CURLE_OK) figureError(result);
  return result;
}

CURLcode CLibcurlTool::httpGet(const std::string& url, std::string* body, size_t maxBytes) {
  body->clear();
  if (curl_ == nullptr) {
    LOG(INFO) << " curl easy init fail !!!";
    return CURLE_FAILED_INIT;
  }
  TextSink sink;
  curl_easy_reset(curl_);
  curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl_, CURLOPT_NOBODY, 0L);
  curl_easy_setopt(curl_, CURLOPT_HEADER, 0L);
  curl_easy_setopt(curl_, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl_, CURLOPT_MAXREDIRS, 5L);
  KeepBody(curl_, &sink, maxBytes);
  curl_easy_setopt(curl_, CURLOPT_TIMEOUT, 5L);
  const CURLcode kept = curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYHOST, 0L);
  if (kept != CURLE_OK) return kept;
  const CURLcode result = BodyResult(curl_easy_perform(curl_), &sink, "httpGet", url);
  *body = std::move(sink.text);
  return result;
}

CURLcode CLibcurlTool::HttpPost(const std::string& url, const std::string& body,
                                std::string* response) {
  CURL* curl = curl_easy_init();
  if (curl == nullptr) {
    LOG(INFO) << " curl easy init fail !!!";
    return CURLE_FAILED_INIT;
  }
  TextSink sink;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_POST, 1L);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, nullptr);
  KeepBody(curl, &sink, kMaxBodyBytes);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 8L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
  const CURLcode result = BodyResult(curl_easy_perform(curl), &sink, "HttpPost", url);
  curl_easy_cleanup(curl);
  response->append(sink.text);
  return result;
}

std::string DefaultUploadName(const std::string& filePath) {
  const platform::LocalTime t = platform::GetLocalTimeNow();
  const size_t dot = filePath.find_last_of('.');
  const std::string ext = dot == std::string::npos ? ".tmp" : filePath.substr(dot);
  char name[128];
  std::snprintf(name, sizeof(name), "NoName_%.4d%.2d%.2d%.2d%.2d%.2d%.3d%s", t.year, t.month,
                t.day, t.hour, t.minute, t.second, t.millisecond, ext.c_str());
  return name;
}

int CLibcurlTool::UploadLogFile(const std::string& filePath, const std::string& uploadName,
                                const std::string& productId, const std::string& version,
                                const std::string& catalogue) {
  if (filePath.size() <= 4) return -1;
  CURL* curl = curl_easy_init();
  if (curl == nullptr) {
    LOG(INFO) << "Failed to initialize cURL";
    return -2;
  }
  const std::string name = uploadName.empty() ? DefaultUploadName(filePath) : uploadName;
  struct curl_httppost* form = nullptr;
  struct curl_httppost* lastPart = nullptr;
  curl_formadd(&form, &lastPart, CURLFORM_COPYNAME, "file", CURLFORM_FILE, filePath.c_str(),
               CURLFORM_FILENAME, name.c_str(), CURLFORM_END);
  curl_formadd(&form, &lastPart, CURLFORM_COPYNAME, "product_id", CURLFORM_COPYCONTENTS,
               productId.c_str(), CURLFORM_END);
  curl_formadd(&form, &lastPart, CURLFORM_COPYNAME, "version", CURLFORM_COPYCONTENTS,
               version.c_str(), CURLFORM_END);
  if (!catalogue.empty()) {
    curl_formadd(&form, &lastPart, CURLFORM_COPYNAME, "catalogue", CURLFORM_COPYCONTENTS,
                 catalogue.c_str(), CURLFORM_END);
  }
  struct curl_slist* headers = curl_slist_append(nullptr, "content-type:multipart/form-data");
  headers = curl_slist_append(headers, "Accept:*/*");
  const std::string base =
      uploadBase_.empty() ? "https://" + GetEndpoints().logUpload : uploadBase_;
  const std::string url = base + "/v1/productLogUpload";
  TextSink response;
  response.limit = kMaxUploadResponse;
  curl_easy_setopt(curl, CURLOPT_HTTPPOST, form);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &platform::CurlGuard<&AppendText>::Call);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &response);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 1L);
  // A collector that never answers, or stops reading, must not hold the upload for good.
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(uploadTimeouts_.connectSeconds));
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(uploadTimeouts_.stallSeconds));
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, static_cast<long>(uploadTimeouts_.totalSeconds));
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  const CURLcode result = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  LOG(INFO) << "Response from server:\n" << response.text;
  curl_easy_cleanup(curl);
  curl_formfree(form);
  curl_slist_free_all(headers);
  return result != CURLE_OK || status != 200 ? -3 : 0;
}

}  // namespace download
