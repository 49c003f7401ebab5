#include "sim_server.h"

#include <arpa/inet.h>
#include <easylogging++.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "download_plan.h"

namespace vendorsim {
namespace {

thread_local ConnectionContext* g_current = nullptr;
std::atomic<uint64_t> g_nextConnection{1};

const int kSliceMs = 100;

class ScopedCurrent {
 public:
  explicit ScopedCurrent(ConnectionContext* ctx) { g_current = ctx; }
  ~ScopedCurrent() { g_current = nullptr; }
  ScopedCurrent(const ScopedCurrent&) = delete;
  ScopedCurrent& operator=(const ScopedCurrent&) = delete;
};

const int64_t kWriteGraceMs = 1000;

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Waits for the socket in short slices so that a stop is noticed quickly. Reads give up as soon
// as the stop is raised; writes get a short grace so answers in flight still go out.
bool WaitIo(int sock, short events, int64_t timeoutMs, const StopSignal* stop) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    if (stop != nullptr) {
      const bool writing = (events & POLLOUT) != 0;
      if (writing ? stop->RaisedLongerThan(kWriteGraceMs) : stop->raised()) return false;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return false;
    pollfd fd{sock, events, 0};
    const int n = ::poll(&fd, 1, static_cast<int>(std::min<int64_t>(left, kSliceMs)));
    if (n > 0) return (fd.revents & (events | POLLHUP | POLLERR)) != 0;
    if (n < 0 && errno != EINTR) return false;
  }
}

void Endpoint(int sock, bool peer, std::string& ip, int& port) {
  sockaddr_storage addr{};
  socklen_t length = sizeof addr;
  const int rc = peer ? ::getpeername(sock, reinterpret_cast<sockaddr*>(&addr), &length)
                      : ::getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &length);
  ip.clear();
  port = -1;
  if (rc != 0 || addr.ss_family != AF_INET) return;
  const sockaddr_in* in = reinterpret_cast<const sockaddr_in*>(&addr);
  char text[INET_ADDRSTRLEN] = {0};
  if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr) ip = text;
  port = ntohs(in->sin_port);
}

// The byte stream of one connection, plain or TLS, with the answer-level faults of the handler.
class SimStream : public httplib::Stream {
 public:
  SimStream(ConnectionContext* ctx, int64_t readTimeoutMs, int64_t writeTimeoutMs,
            const StopSignal* stop)
      : ctx_(ctx), readTimeoutMs_(readTimeoutMs), writeTimeoutMs_(writeTimeoutMs), stop_(stop) {}

  bool is_readable() const override {
    return pos_ < len_ || (ctx_->ssl != nullptr && SSL_pending(ctx_->ssl) > 0) ||
           WaitIo(ctx_->sock, POLLIN, readTimeoutMs_, stop_);
  }

  bool is_writable() const override {
    return !ctx_->abort && WaitIo(ctx_->sock, POLLOUT, writeTimeoutMs_, stop_);
  }

  ssize_t read(char* ptr, size_t size) override {
    if (size == 0) return 0;
    if (pos_ < len_) return TakeBuffered(ptr, size);
    if (size >= sizeof buffer_) return ReadRaw(ptr, size);
    const ssize_t got = ReadRaw(buffer_, sizeof buffer_);
    if (got <= 0) return got;
    pos_ = 0;
    len_ = static_cast<size_t>(got);
    return TakeBuffered(ptr, size);
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (ctx_->abort) return -1;
    if ((ctx_->lowercaseHeaders || ctx_->dropContentLength) && size >= 5 &&
        std::memcmp(ptr, "HTTP/", 5) == 0) {
      const std::string block = RewriteHeaderBlock(std::string(ptr, size), ctx_->lowercaseHeaders,
                                                   ctx_->dropContentLength);
      if (ctx_->dropContentLength) ctx_->closeAfterResponse = true;
      ctx_->lowercaseHeaders = false;
      ctx_->dropContentLength = false;
      return WriteAll(block.data(), block.size()) ? static_cast<ssize_t>(size) : -1;
    }
    return WriteAll(ptr, size) ? static_cast<ssize_t>(size) : -1;
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    Endpoint(ctx_->sock, true, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    Endpoint(ctx_->sock, false, ip, port);
  }
  socket_t socket() const override { return ctx_->sock; }

  // Between requests: is there (or will there soon be) another request on this connection?
  bool WaitForRequest(int64_t timeoutMs) const {
    if (pos_ < len_ || (ctx_->ssl != nullptr && SSL_pending(ctx_->ssl) > 0)) return true;
    return WaitIo(ctx_->sock, POLLIN, timeoutMs, stop_);
  }

 private:
  ssize_t TakeBuffered(char* ptr, size_t size) {
    const size_t n = std::min(size, len_ - pos_);
    std::memcpy(ptr, buffer_ + pos_, n);
    pos_ += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t ReadRaw(char* ptr, size_t size) {
    if (ctx_->ssl != nullptr) {
      for (int attempt = 0; attempt < 50; ++attempt) {
        if (SSL_pending(ctx_->ssl) == 0 && !WaitIo(ctx_->sock, POLLIN, readTimeoutMs_, stop_)) {
          return -1;
        }
        const int n = SSL_read(ctx_->ssl, ptr, static_cast<int>(std::min<size_t>(size, INT_MAX)));
        if (n > 0) return n;
        const int err = SSL_get_error(ctx_->ssl, n);
        if (err == SSL_ERROR_ZERO_RETURN) return 0;
        if (err != SSL_ERROR_WANT_READ && err != SSL_ERROR_WANT_WRITE) {
          ERR_clear_error();
          return -1;
        }
      }
      return -1;
    }
    if (!WaitIo(ctx_->sock, POLLIN, readTimeoutMs_, stop_)) return -1;
    while (true) {
      const ssize_t n = ::recv(ctx_->sock, ptr, size, 0);
      if (n < 0 && errno == EINTR) continue;
      return n;
    }
  }

  bool WriteAll(const char* ptr, size_t size) {
    while (size > 0) {
      if (!WaitIo(ctx_->sock, POLLOUT, writeTimeoutMs_, stop_)) return false;
      if (ctx_->ssl != nullptr) {
        const int n =
            SSL_write(ctx_->ssl, ptr, static_cast<int>(std::min<size_t>(size, 1u << 20)));
        if (n <= 0) {
          const int err = SSL_get_error(ctx_->ssl, n);
          if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) continue;
          ERR_clear_error();
          return false;
        }
        ptr += n;
        size -= static_cast<size_t>(n);
      } else {
        const ssize_t n = ::send(ctx_->sock, ptr, size, MSG_NOSIGNAL);
        if (n < 0) {
          if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
          return false;
        }
        ptr += n;
        size -= static_cast<size_t>(n);
      }
    }
    return true;
  }

  ConnectionContext* ctx_;
  int64_t readTimeoutMs_;
  int64_t writeTimeoutMs_;
  const StopSignal* stop_;
  char buffer_[4096];
  size_t pos_ = 0;
  size_t len_ = 0;
};

// One Content-Length of decimal digits (repeats must agree); anything else frames the body in a
// way two readers could disagree about.
bool HasSoundLength(const httplib::Request& req) {
  const size_t count = req.get_header_value_count("Content-Length");
  if (count == 0) return true;
  const std::string first = req.get_header_value("Content-Length", 0);
  if (first.empty() || first.size() > 18 ||
      first.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  for (size_t i = 1; i < count; ++i) {
    if (req.get_header_value("Content-Length", i) != first) return false;
  }
  return true;
}

}  // namespace

bool ConnectionContext::PeerGone() const {
  if (sock < 0) return true;
  pollfd fd{sock, static_cast<short>(POLLRDHUP), 0};
  const int n = ::poll(&fd, 1, 0);
  return n > 0 && (fd.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

ConnectionContext* CurrentConnection() { return g_current; }

void StopSignal::Raise() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!raised_) raisedAtMs_ = SteadyMs();
    raised_ = true;
  }
  cv_.notify_all();
}

bool StopSignal::RaisedLongerThan(int64_t ms) const {
  return raised_ && SteadyMs() - raisedAtMs_.load() > ms;
}

bool StopSignal::Sleep(int64_t ms, const ConnectionContext* conn) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  std::unique_lock<std::mutex> lock(mutex_);
  while (!raised_) {
    if (conn != nullptr && conn->PeerGone()) return false;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return true;
    const auto slice = std::min<std::chrono::steady_clock::duration>(
        deadline - now, std::chrono::milliseconds(kSliceMs));
    cv_.wait_for(lock, slice);
  }
  return false;
}

DualServer::DualServer(std::string name, SSL_CTX* tls, const StopSignal* stop)
    : name_(std::move(name)), tls_(tls), stop_(stop) {
  set_pre_routing_handler([](const httplib::Request&, httplib::Response& res) {
    ConnectionContext* conn = CurrentConnection();
    if (conn == nullptr || !conn->badFraming) return HandlerResponse::Unhandled;
    res.status = 400;
    res.set_content("malformed Content-Length\n", "text/plain");
    return HandlerResponse::Handled;
  });
}

bool DualServer::process_and_close_socket(socket_t sock) {
  bool ok = false;
  bool reset = false;
  try {
    ok = ServeConnection(sock, &reset);
  } catch (const std::exception& e) {
    LOG(INFO) << " " << name_ << ": connection ended by an error: " << e.what();
  } catch (...) {
    LOG(INFO) << " " << name_ << ": connection ended by an unknown error";
  }
  if (reset) {
    // A zero linger makes close() send RST at once, with no FIN before it.
    linger hard{1, 0};
    ::setsockopt(sock, SOL_SOCKET, SO_LINGER, &hard, sizeof(hard));
  } else {
    ::shutdown(sock, SHUT_RDWR);
  }
  ::close(sock);
  return ok;
}

bool DualServer::ServeConnection(socket_t sock, bool* reset) {
  ConnectionContext ctx;
  ctx.id = g_nextConnection.fetch_add(1);
  ctx.sock = sock;
  ScopedCurrent current(&ctx);

  const int64_t readMs = read_timeout_sec_ * 1000 + read_timeout_usec_ / 1000;
  const int64_t writeMs = write_timeout_sec_ * 1000 + write_timeout_usec_ / 1000;
  // Blocking calls inside OpenSSL are bounded by the socket's own time-outs.
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(std::max<int64_t>(1, readMs / 1000));
  ::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  tv.tv_sec = static_cast<time_t>(std::max<int64_t>(1, writeMs / 1000));
  ::setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);

  if (!WaitIo(sock, POLLIN, readMs, stop_)) return false;
  unsigned char first = 0;
  ssize_t peeked = -1;
  do {
    peeked = ::recv(sock, &first, 1, MSG_PEEK);
  } while (peeked < 0 && errno == EINTR);
  if (peeked <= 0) return false;

  if (first == 0x16) {
    if (tls_ == nullptr) return false;
    ctx.ssl = SSL_new(tls_);
    if (ctx.ssl == nullptr || SSL_set_fd(ctx.ssl, sock) != 1 || SSL_accept(ctx.ssl) != 1) {
      const unsigned long code = ERR_get_error();
      char text[256] = {0};
      if (code != 0) ERR_error_string_n(code, text, sizeof text);
      ERR_clear_error();
      LOG(INFO) << " " << name_ << ": TLS handshake failed " << text;
      if (ctx.ssl != nullptr) SSL_free(ctx.ssl);
      return false;
    }
  }

  SimStream stream(&ctx, readMs, writeMs, stop_);
  const int64_t keepAliveMs = keep_alive_timeout_sec_ * 1000;
  size_t left = keep_alive_max_count_;
  bool ok = false;
  while (left > 0 && svr_sock_ != INVALID_SOCKET && !stop_->raised()) {
    if (!stream.WaitForRequest(keepAliveMs)) break;
    ++ctx.requests;
    ctx.recorded = false;
    ctx.syntheticLength = false;
    ctx.badFraming = false;
    ctx.lowercaseHeaders = false;
    ctx.dropContentLength = false;
    const bool closeConnection = left == 1;
    bool connectionClosed = false;
    ok = process_request(stream, closeConnection, connectionClosed,
                         [this, &ctx](httplib::Request& req) {
                           req.ssl = ctx.ssl;
                           // Ranges are answered by our own arithmetic, never by the library.
                           req.ranges.clear();
                           // A request without Content-Length or Transfer-Encoding has no body;
                           // without this the library would wait for one until it times out.
                           if (!req.has_header("Content-Length") &&
                               !req.has_header("Transfer-Encoding")) {
                             req.set_header("Content-Length", "0");
                             ctx.syntheticLength = true;
                           } else if (!HasSoundLength(req)) {
                             // Refused before routing; no body is read for it.
                             ctx.badFraming = true;
                             req.headers.erase("Content-Length");
                             req.headers.erase("Transfer-Encoding");
                             req.set_header("Content-Length", "0");
                           }
                           if (setup_) setup_(req);
                         });
    if (!ok || connectionClosed || ctx.closeAfterResponse || ctx.abort) break;
    --left;
  }
  if (ctx.ssl != nullptr) {
    if (!ctx.abort) SSL_shutdown(ctx.ssl);
    SSL_free(ctx.ssl);
    ctx.ssl = nullptr;
  }
  *reset = ctx.abort && ctx.reset;
  return ok;
}

}  // namespace vendorsim
