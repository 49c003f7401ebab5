// What the simulated download host puts on the wire for one file request: status, headers and
// which file bytes follow, with the scripted faults applied; and the pacing of the body
// (rate limit, stall, drop, corruption). Kept free of any HTTP library so the arithmetic and
// the faults can be checked byte for byte.
// Plain values and pure functions; a BodyPump belongs to the one response it paces.
#pragma once

#include <cstdint>
#include <string>

#include "scenario.h"

namespace vendorsim {

struct DownloadAnswer {
  int status = 200;
  HeaderList headers;  // as they go on the wire, Content-Length included (when sent)
  uint64_t bodyFirst = 0;   // file offset of the first body byte
  uint64_t bodyLength = 0;  // file bytes in the body (0 for HEAD and for 416)
  bool closeAfter = false;  // the body is delimited by closing the connection
};

// method is "GET" or "HEAD"; rangeHeader the Range value ("" when absent).
DownloadAnswer PlanFileAnswer(const std::string& method, const std::string& rangeHeader,
                              uint64_t fileSize, const CdnHeaders& cdn,
                              const DownloadFaults& faults);

// The CDN header lines for one answer (none, Cloudflare-style or X-Cache).
HeaderList CdnHeaderLines(const CdnHeaders& cdn);

// Rewrites one response header block ("HTTP/1.1 ...\r\n" + lines + "\r\n") as the faults ask:
// lower-case names, and/or no Content-Length with "Connection: close".
std::string RewriteHeaderBlock(const std::string& block, bool lowercaseNames,
                               bool dropContentLength);

// Paces the body of one answer. Offsets count body bytes sent so far.
class BodyPump {
 public:
  struct Step {
    enum class Kind { kWrite, kStall, kDrop, kReset, kDone };
    Kind kind = Kind::kDone;
    uint64_t fileOffset = 0;  // kWrite: where to read
    size_t bytes = 0;         // kWrite: how many
    int stallMs = 0;          // kStall
  };
  static constexpr size_t kChunk = 65536;

  BodyPump(uint64_t bodyFirst, uint64_t bodyLength, const DownloadFaults& faults);

  // The next thing to do; call Wrote() after each write and Stalled() after each stall.
  Step Next() const;
  void Wrote(size_t bytes) { sent_ += bytes; }
  void Stalled() { stalled_ = true; }
  uint64_t sent() const { return sent_; }

  // Milliseconds to wait before the next write so the rate limit holds (0: write now).
  int64_t PaceDelayMs(int64_t elapsedMs) const;

  // Flips the byte at the corrupt offset when it lies in data (file offset of data[0] given).
  void Corrupt(uint64_t fileOffset, char* data, size_t size) const;

 private:
  uint64_t first_;
  uint64_t length_;
  DownloadFaults faults_;
  uint64_t sent_ = 0;
  bool stalled_ = false;
};

}  // namespace vendorsim
