// Test helper (POSIX only): a small HTTP/1.1 server on 127.0.0.1 with an ephemeral port, serving
// generated files with single byte ranges and keep-alive. Tests use the vendor simulator for
// every reply it can make; this server stays only for the replies it cannot: a Content-Range
// that is not one, a size probe whose Content-Length is negative, absurd or out of range, a
// header of megabytes and a body running past the range asked for.
//
// Threading: one accept thread plus one thread per connection; configuration calls (AddFile,
// SetFault, ...) are guarded by a lock and may be made while the server runs. Stop() (or the
// destructor) closes every socket and joins every thread, so nothing outlives the object.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/download/pattern_bytes.h"

namespace testsupport {

struct ServedFile {
  int64_t size = 0;
  uint32_t seed = 1;
  // Faults.
  bool ignoreRange = false;         // answer 200 with the whole file
  int64_t wrongTotal = -1;          // Content-Range total to claim instead of the size
  bool noContentLength = false;     // HEAD and GET without Content-Length
  bool lowerCaseHeaders = false;    // header names in lower case
  int status = 0;                   // non-zero: answer this status with a small body
  int64_t dropAfter = -1;           // close the connection after this many body bytes
  int64_t stallAfter = -1;          // stop sending (connection open) after this many body bytes
  int64_t bytesPerSecond = 0;       // throttle per connection
  int64_t surplus = 0;              // bytes sent beyond the range asked for
  std::string headSize;             // Content-Length text of HEAD replies instead of the size
  std::string extraHeaders;         // raw lines ("Name: value\r\n") added to every reply
  std::string redirectTo;           // answer 302 with this Location
  size_t hugeHeader = 0;            // add a header line of this many bytes
  bool garbageRange = false;        // "Content-Range: bytes garbage" on GET
  char fill = 0;                    // non-zero: every body byte is this one (a text body)
};

class MiniHttpServer {
 public:
  MiniHttpServer() {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    ::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    ::listen(listen_, 64);
    socklen_t len = sizeof(addr);
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    accept_ = std::thread([this] { AcceptLoop(); });
  }
  ~MiniHttpServer() { Stop(); }
  MiniHttpServer(const MiniHttpServer&) = delete;
  MiniHttpServer& operator=(const MiniHttpServer&) = delete;

  int port() const { return port_; }
  std::string Url(const std::string& path, const std::string& host = "127.0.0.1") const {
    return "http://" + host + ":" + std::to_string(port_) + path;
  }

  void AddFile(const std::string& path, const ServedFile& file) {
    std::lock_guard<std::mutex> g(lock_);
    files_[path] = file;
  }
  void Update(const std::string& path, const std::function<void(ServedFile&)>& change) {
    std::lock_guard<std::mutex> g(lock_);
    change(files_[path]);
  }
  // Requests seen: method, path and Range header value.
  struct Seen {
    std::string method, path, range;
  };
  std::vector<Seen> Requests() const {
    std::lock_guard<std::mutex> g(lock_);
    return seen_;
  }
  int64_t BodyBytesSent() const { return bodyBytes_.load(); }

  void Stop() {
    if (stopping_.exchange(true)) return;
    ::shutdown(listen_, SHUT_RDWR);
    ::close(listen_);
    if (accept_.joinable()) accept_.join();
    {
      std::lock_guard<std::mutex> g(lock_);
      for (int fd : clients_) ::shutdown(fd, SHUT_RDWR);
    }
    for (auto& t : workers_) t.join();
  }

 private:
  void AcceptLoop() {
    while (!stopping_) {
      pollfd p{listen_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      int fd = ::accept(listen_, nullptr, nullptr);
      if (fd < 0) continue;
      int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
      std::lock_guard<std::mutex> g(lock_);
      clients_.insert(fd);
      workers_.emplace_back([this, fd] { Serve(fd); });
    }
  }

  bool SendAll(int fd, const char* data, size_t n) {
    while (n > 0) {
      ssize_t w = ::send(fd, data, n, MSG_NOSIGNAL);
      if (w <= 0) return false;
      data += w;
      n -= static_cast<size_t>(w);
    }
    return true;
  }

  static std::string Header(const ServedFile& f, const std::string& name) {
    if (!f.lowerCaseHeaders) return name;
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    return lower;
  }

  void Serve(int fd) {
    std::string buffer;
    char chunk[8192];
    while (!stopping_) {
      size_t end;
      while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) < 0) break;
        if (stopping_) break;
        if (!(p.revents & (POLLIN | POLLHUP))) continue;
        ssize_t r = ::recv(fd, chunk, sizeof(chunk), 0);
        if (r <= 0) {
          end = std::string::npos;
          goto done;
        }
        buffer.append(chunk, static_cast<size_t>(r));
      }
      if (stopping_) break;
      {
        const std::string head = buffer.substr(0, end);
        buffer.erase(0, end + 4);
        if (!Answer(fd, head)) break;
      }
    }
  done:
    std::lock_guard<std::mutex> g(lock_);
    clients_.erase(fd);
    ::close(fd);
  }

  // Sends one reply; false closes the connection.
  bool Answer(int fd, const std::string& head) {
    const size_t sp1 = head.find(' ');
    const size_t sp2 = head.find(' ', sp1 + 1);
    const std::string method = head.substr(0, sp1);
    std::string path = head.substr(sp1 + 1, sp2 - sp1 - 1);
    std::string range;
    const size_t r = head.find("\r\nRange: ");
    if (r != std::string::npos) {
      const size_t e = head.find("\r\n", r + 2);
      range = head.substr(r + 9, e - r - 9);
    }
    ServedFile f;
    bool known;
    {
      std::lock_guard<std::mutex> g(lock_);
      seen_.push_back({method, path, range});
      auto it = files_.find(path);
      known = it != files_.end();
      if (known) f = it->second;
    }
    std::string extra = f.extraHeaders;
    if (f.hugeHeader > 0) extra += "X-Filler: " + std::string(f.hugeHeader, 'x') + "\r\n";
    if (!known || f.status != 0) {
      const int status = known ? f.status : 404;
      const std::string body = "<html>error " + std::to_string(status) + "</html>";
      std::string reply = "HTTP/1.1 " + std::to_string(status) + " Error\r\n" + extra +
                          "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
      if (method != "HEAD") reply += body;
      return SendAll(fd, reply.data(), reply.size());
    }
    if (!f.redirectTo.empty()) {
      std::string reply = "HTTP/1.1 302 Found\r\n" + extra + "Location: " + f.redirectTo +
                          "\r\nContent-Length: 0\r\n\r\n";
      return SendAll(fd, reply.data(), reply.size());
    }
    if (method == "HEAD") {
      std::string reply = "HTTP/1.1 200 OK\r\n" + extra + Header(f, "Accept-Ranges") + ": bytes\r\n";
      if (!f.noContentLength) {
        reply += Header(f, "Content-Length") + ": " +
                 (f.headSize.empty() ? std::to_string(f.size) : f.headSize) + "\r\n";
      }
      reply += "\r\n";
      return SendAll(fd, reply.data(), reply.size());
    }
    int64_t first = 0;
    int64_t last = f.size - 1;
    bool partial = false;
    if (!range.empty() && !f.ignoreRange && range.rfind("bytes=", 0) == 0) {
      long long a = -1, b = -1;
      if (std::sscanf(range.c_str() + 6, "%lld-%lld", &a, &b) >= 1 && a >= 0 && a < f.size) {
        first = a;
        if (b >= a && b < f.size) last = b;
        partial = true;
      } else if (a >= f.size) {
        std::string reply = "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Length: 0\r\n\r\n";
        return SendAll(fd, reply.data(), reply.size());
      }
    }
    const int64_t length = last - first + 1 + f.surplus;
    std::string reply = partial ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n";
    reply += extra;
    if (partial) {
      if (f.garbageRange) {
        reply += Header(f, "Content-Range") + ": bytes garbage\r\n";
      } else {
        reply += Header(f, "Content-Range") + ": bytes " + std::to_string(first) + "-" +
                 std::to_string(last) + "/" +
                 std::to_string(f.wrongTotal >= 0 ? f.wrongTotal : f.size) + "\r\n";
      }
    }
    const bool close = f.noContentLength;
    if (!f.noContentLength) {
      reply += Header(f, "Content-Length") + ": " + std::to_string(length) + "\r\n";
    } else {
      reply += "Connection: close\r\n";
    }
    reply += "\r\n";
    if (!SendAll(fd, reply.data(), reply.size())) return false;

    const auto start = std::chrono::steady_clock::now();
    int64_t sent = 0;
    std::vector<char> buf(64 * 1024);
    while (sent < length && !stopping_) {
      if (f.stallAfter >= 0 && sent >= f.stallAfter) {
        while (!stopping_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return false;
      }
      if (f.dropAfter >= 0 && sent >= f.dropAfter) return false;
      size_t n = static_cast<size_t>(std::min<int64_t>(length - sent, buf.size()));
      if (f.dropAfter >= 0) n = static_cast<size_t>(std::min<int64_t>(n, f.dropAfter - sent));
      if (f.stallAfter >= 0) n = static_cast<size_t>(std::min<int64_t>(n, f.stallAfter - sent));
      if (f.bytesPerSecond > 0) {
        n = std::min<size_t>(n, static_cast<size_t>(std::max<int64_t>(1, f.bytesPerSecond / 50)));
        const double due = static_cast<double>(sent) / static_cast<double>(f.bytesPerSecond);
        const double now = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (due > now) std::this_thread::sleep_for(std::chrono::duration<double>(due - now));
      }
      if (f.fill != 0) {
        std::fill(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n), f.fill);
      } else {
        FillPattern(f.seed, first + sent, buf.data(), n);
      }
      if (!SendAll(fd, buf.data(), n)) return false;
      sent += static_cast<int64_t>(n);
      bodyBytes_ += static_cast<int64_t>(n);
    }
    return !close;
  }

  int listen_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int64_t> bodyBytes_{0};
  std::thread accept_;
  mutable std::mutex lock_;
  std::map<std::string, ServedFile> files_;
  std::vector<Seen> seen_;
  std::set<int> clients_;
  std::vector<std::thread> workers_;
};

}  // namespace testsupport
