// One slice of a download: a byte range of the remote file, where its next byte goes, and what
// its responses said about the CDN.
//
// Threading: the plan fields (paths, StartPos, EndPos, content length, CDN reference) are set
// before the slice is handed out and only read afterwards. The worker that holds the slice moves
// its position (under the shared file mutex) and its request count; the driver reads both at any
// time, so they are atomics. The CDN header text is the worker's alone while it runs and is read
// by others only after the workers have ended.
// Ownership: tasks belong to the task plan (CDownloadTaskManager).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "download/thread.h"

namespace download {

class CDownloadTask : public CTask {
 public:
  std::string RemotePath;
  std::string LocalPath;
  std::string cdnReference;  // X-Cache value seen by the size probe
  std::string cdnHeader;     // built from the CDN headers of this slice's responses
  int64_t StartPos = 0;
  // Last byte of the slice, inclusive; the last slice of a plan ends one past the file's last
  // byte (its EndPos equals the content length), and only bytes below the length exist.
  int64_t EndPos = 0;
  int64_t contentLength = 0;
  std::atomic<int32_t> RequestTimes{0};

  // The last byte this slice can receive.
  int64_t lastByte() const {
    return contentLength > 0 && EndPos >= contentLength ? contentLength - 1 : EndPos;
  }
  // Where the next received byte goes. A complete slice is one past lastByte().
  int64_t nextPos() const { return nextPos_.load(); }
  void setNextPos(int64_t pos) { nextPos_.store(pos); }
  bool isComplete() const { return nextPos() > lastByte(); }
  void markComplete() { setNextPos(lastByte() + 1); }
  // Bytes of this slice on disk.
  int64_t receivedBytes() const {
    const int64_t next = nextPos();
    const int64_t end = next > lastByte() + 1 ? lastByte() + 1 : next;
    return end > StartPos ? end - StartPos : 0;
  }
  // The position as the task file writes it: the next byte, at most EndPos, so a complete
  // slice reads DownloadedPos == EndPos as it always has.
  int64_t DownloadedPos() const {
    const int64_t next = nextPos();
    return next > EndPos ? EndPos : next;
  }

 private:
  std::atomic<int64_t> nextPos_{0};
};

}  // namespace download
