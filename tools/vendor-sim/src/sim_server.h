// One listening port of the simulator that speaks both HTTPS and plain HTTP: the first byte of
// a connection decides (0x16 opens a TLS handshake). Requests are parsed by cpp-httplib; the
// connection loop, the TLS layer and the stream are ours so that a handler can cut, stall,
// rewrite or drop its own answer on the wire.
// Threading: each connection runs on one thread of the server's pool from accept to close, and
// its handlers run on that thread, so CurrentConnection() is the handler's own connection and
// needs no lock. StopSignal is shared by all servers of one simulator and is thread-safe.
// Ownership: the server borrows the TLS context and the stop signal; both must outlive it.
#pragma once

#include <httplib.h>
#include <openssl/ssl.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace vendorsim {

// The connection a handler is answering on.
struct ConnectionContext {
  uint64_t id = 0;
  int sock = -1;
  SSL* ssl = nullptr;
  int requests = 0;  // requests begun on this connection, this one included
  bool recorded = false;  // the current request reached a handler and was recorded
  bool syntheticLength = false;  // "Content-Length: 0" was added to a request that had none
  bool badFraming = false;       // unusable Content-Length: answered 400 before routing
  // Per answer, set by the handler before it returns:
  bool lowercaseHeaders = false;   // header names of this answer in lower case
  bool dropContentLength = false;  // no Content-Length; the connection closes after the body
  bool closeAfterResponse = false;
  bool abort = false;  // nothing more is written; the connection is closed without a goodbye
  bool reset = false;  // with abort: closed with a reset (RST) instead of a FIN

  // True when the client has closed or reset its side.
  bool PeerGone() const;
};

// Null outside a connection thread.
ConnectionContext* CurrentConnection();

class StopSignal {
 public:
  void Raise();
  bool raised() const { return raised_.load(); }
  // True once the stop was raised more than ms ago: answers already being written get that
  // long to finish (the answer to the admin's own stop request among them).
  bool RaisedLongerThan(int64_t ms) const;
  // Sleeps up to ms; false when the stop was raised or conn's client went away meanwhile.
  bool Sleep(int64_t ms, const ConnectionContext* conn) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable cv_;
  std::atomic<bool> raised_{false};
  std::atomic<int64_t> raisedAtMs_{0};
};

class DualServer : public httplib::Server {
 public:
  DualServer(std::string name, SSL_CTX* tls, const StopSignal* stop);

  // Runs on the connection thread after the request line and headers are parsed and before
  // the body is read and the request routed.
  void SetRequestSetup(std::function<void(httplib::Request&)> setup) { setup_ = std::move(setup); }

  const std::string& name() const { return name_; }

 private:
  bool process_and_close_socket(socket_t sock) override;
  // *reset: the answer asked for the connection to be reset rather than closed.
  bool ServeConnection(socket_t sock, bool* reset);

  std::string name_;
  SSL_CTX* tls_;
  const StopSignal* stop_;
  std::function<void(httplib::Request&)> setup_;
};

}  // namespace vendorsim
