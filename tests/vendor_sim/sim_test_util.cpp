#include "sim_test_util.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zip.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "scenario.h"

namespace simtest {
namespace {

size_t Append(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

}  // namespace

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kerfo-simtest-XXXXXX").string();
  if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDir::Write(const std::string& name, const std::string& bytes) const {
  const std::string file = path_ + "/" + name;
  std::filesystem::create_directories(std::filesystem::path(file).parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
  return file;
}

Client::Client() : curl_(curl_easy_init()) {}
Client::~Client() { curl_easy_cleanup(curl_); }

Reply Client::Fetch(const std::string& url, const Request& request) {
  Reply reply;
  curl_easy_reset(curl_);
  curl_slist* headers = nullptr;
  for (const std::string& header : request.headers) headers = curl_slist_append(headers, header.c_str());
  curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(curl_, CURLOPT_TIMEOUT_MS, request.timeoutMs);
  curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &Append);
  curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &reply.body);
  curl_easy_setopt(curl_, CURLOPT_HEADERFUNCTION, &Append);
  curl_easy_setopt(curl_, CURLOPT_HEADERDATA, &reply.headers);
  if (headers != nullptr) curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, headers);
  if (!request.range.empty()) curl_easy_setopt(curl_, CURLOPT_RANGE, request.range.c_str());
  if (request.maxRedirects >= 0) {
    curl_easy_setopt(curl_, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl_, CURLOPT_MAXREDIRS, request.maxRedirects);
  }
  if (request.method == "HEAD") curl_easy_setopt(curl_, CURLOPT_NOBODY, 1L);
  if (request.method != "GET" && request.method != "HEAD" && request.method != "POST") {
    curl_easy_setopt(curl_, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  }
  if (request.method != "GET" && request.method != "HEAD") {
    curl_easy_setopt(curl_, CURLOPT_POST, 1L);
    curl_easy_setopt(curl_, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.body.size()));
    curl_easy_setopt(curl_, CURLOPT_POSTFIELDS, request.body.c_str());
  }
  reply.code = curl_easy_perform(curl_);
  curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &reply.status);
  curl_easy_getinfo(curl_, CURLINFO_NUM_CONNECTS, &reply.connects);
  curl_slist_free_all(headers);
  return reply;
}

Reply Fetch(const std::string& url, const Request& request) {
  Client client;
  return client.Fetch(url, request);
}

std::string RawExchange(int port, const std::string& bytes, int timeoutMs) {
  const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
  if (sock < 0) return "";
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string out;
  if (::connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::send(sock, bytes.data(), bytes.size(), MSG_NOSIGNAL) >= 0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd fd{sock, POLLIN, 0};
      if (::poll(&fd, 1, 50) <= 0) continue;
      const ssize_t got = ::recv(sock, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      out.append(buffer, static_cast<size_t>(got));
    }
  }
  ::close(sock);
  return out;
}

Json::Value ParseJson(const std::string& text) {
  Json::Value value;
  std::string error;
  if (!vendorsim::ParseJsonText(text, &value, &error)) return Json::Value();
  return value;
}

std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& entries) {
  ScratchDir dir;
  const std::string path = dir.path() + "/archive.zip";
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (archive == nullptr) return "";
  for (const auto& entry : entries) {
    zip_source_t* source =
        zip_source_buffer(archive, entry.second.data(), entry.second.size(), 0);
    if (source == nullptr || zip_file_add(archive, entry.first.c_str(), source, 0) < 0) {
      zip_source_free(source);
      zip_discard(archive);
      return "";
    }
  }
  if (zip_close(archive) != 0) {
    zip_discard(archive);
    return "";
  }
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace simtest
