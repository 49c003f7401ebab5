// Helpers of the simulator tests: a scratch folder and one-call HTTP(S) exchanges through
// libcurl with certificate checks off, as the installer makes them.
// Each helper call is independent; use from one test thread. Results own their bytes.
#pragma once

#include <curl/curl.h>
#include <json/json.h>

#include <string>
#include <utility>
#include <vector>

namespace simtest {

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string Write(const std::string& name, const std::string& bytes) const;

 private:
  std::string path_;
};

struct Reply {
  CURLcode code = CURLE_OK;
  long status = 0;
  std::string headers;  // raw header block(s), as received
  std::string body;
  long connects = 0;    // new connections this exchange needed

  bool HasHeaderLine(const std::string& line) const {
    return headers.find(line + "\r\n") != std::string::npos;
  }
};

struct Request {
  std::string method = "GET";  // GET, HEAD, POST or any other verb (with the body)
  std::string range;           // CURLOPT_RANGE
  std::string body;            // POST body
  std::vector<std::string> headers;
  long timeoutMs = 10000;
  long maxRedirects = -1;      // -1: do not follow
};

// A shared handle keeps connections alive between calls, like the installer's workers.
class Client {
 public:
  Client();
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;
  Reply Fetch(const std::string& url, const Request& request = Request());
  CURL* handle() { return curl_; }

 private:
  CURL* curl_;
};

Reply Fetch(const std::string& url, const Request& request = Request());

// Sends bytes on a raw TCP connection to 127.0.0.1:port and returns what came back before the
// server closed or timeoutMs passed.
std::string RawExchange(int port, const std::string& bytes, int timeoutMs = 3000);

Json::Value ParseJson(const std::string& text);

// A ZIP archive with the given (name, content) entries, deflated.
std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& entries);

}  // namespace simtest
