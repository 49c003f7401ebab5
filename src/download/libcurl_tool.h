// CLibcurlTool: the few HTTP exchanges of the program over one libcurl easy handle — the ranged
// GET that fills one slice of a download, a header probe for the remote size, a body GET, a form
// POST and the multipart log upload — and figureError, which turns a CURLcode into a log line.
//
// Threading: one tool belongs to one thread; every call performs one synchronous request on the
// calling thread. The ranged GET writes into the worker's shared file under the worker's shared
// mutex, so several workers with their own tools may download into one file at once.
// Ownership: the tool owns its easy handle (created by the constructor, cleaned up by the
// destructor). HttpPost and UploadLogFile use a handle of their own per call.
#pragma once

#include <curl/curl.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace download {

class CDownloadThread;

class CLibcurlTool {
 public:
  // Creates the tool's easy handle; a failed curl_easy_init leaves it without one.
  CLibcurlTool();
  ~CLibcurlTool();
  CLibcurlTool(const CLibcurlTool&) = delete;
  CLibcurlTool& operator=(const CLibcurlTool&) = delete;

  bool hasHandle() const { return curl_ != nullptr; }

  // GET of the bytes first..last of url into the worker's current slice.
  CURLcode httpDownloadContent(const std::string& url, int64_t first, int64_t last,
                               CDownloadThread* worker);
  // Header probe (no body): the header text of every response of the redirect chain, in
  // arrival order (at most kMaxHeaderText bytes), and the final status.
  CURLcode httpGet(const std::string& url, std::string* headerText, long* status);
  // Plain GET of a body of at most maxBytes bytes. A longer body ends the transfer as it arrives
  // (or, announced by its Content-Length, before it does): CURLE_FILESIZE_EXCEEDED, a log line,
  // and *body left empty.
  CURLcode httpGet(const std::string& url, std::string* body, size_t maxBytes = kMaxBodyBytes);
  // Form POST; the response body (at most kMaxBodyBytes, as for httpGet) goes to *response.
  CURLcode HttpPost(const std::string& url, const std::string& body, std::string* response);
  // Multipart upload of one file to the log-upload endpoint. 0 ok, -1 path too short, -2 no
  // easy handle, -3 request failed.
  int UploadLogFile(const std::string& filePath, const std::string& uploadName,
                    const std::string& productId, const std::string& version,
                    const std::string& catalogue);
  // Base of the upload address ("https://host"); the endpoint configuration's by default.
  void setUploadBase(const std::string& base) { uploadBase_ = base; }
  // Time-outs of the upload, in seconds: connecting, a stretch without any byte moving, and the
  // whole exchange.
  struct UploadTimeouts {
    int connectSeconds = 8;
    int stallSeconds = 30;
    int totalSeconds = 300;
  };
  void setUploadTimeouts(const UploadTimeouts& timeouts) { uploadTimeouts_ = timeouts; }

  // The address the last header probe ended at, after redirects.
  const std::string& effectiveUrl() const { return effectiveUrl_; }

  // Writes the log line of a CURLcode. Always 1.
  static int figureError(CURLcode code);
  // The text figureError writes for a code.
  static std::string errorText(int code);

  // libcurl callbacks of the ranged GET; the user pointer is the worker.
  static size_t downloadFunc(char* data, size_t size, size_t count, void* worker);
  static size_t HeaderCallback(char* line, size_t size, size_t count, void* worker);
  // The write of a stream across slices: each byte goes to the slice that holds it when that
  // slice is at that byte; bytes a slice already has are passed over. File mutex held.
  static size_t streamWrite(CDownloadThread* worker, const char* data, size_t n);

  static constexpr size_t kMaxHeaderText = 65536;
  // Bytes of a reply body the body GET and the form POST hold in memory at most by default.
  static constexpr size_t kMaxBodyBytes = 4 * 1024 * 1024;
  // Bytes of the upload's answer kept (and logged); the rest is read and dropped.
  static constexpr size_t kMaxUploadResponse = 65536;

 private:
  CURL* curl_ = nullptr;
  std::string effectiveUrl_;
  std::string uploadBase_;
  UploadTimeouts uploadTimeouts_;
};

// Position of needle in text at or after from, letters compared without regard to case (header
// names are case-insensitive, and HTTP/2 sends them in lower case); npos when absent.
size_t FindNoCase(const std::string& text, const char* needle, size_t from = 0);

// The upload name used when none is given: "NoName_", the 17-digit local time and the path's
// extension (".tmp" when it has none).
std::string DefaultUploadName(const std::string& filePath);

}  // namespace download
