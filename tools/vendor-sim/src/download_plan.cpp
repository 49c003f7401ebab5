#include "download_plan.h"

#include <algorithm>
#include <cctype>

#include "ranges.h"

namespace vendorsim {
namespace {

std::string Lower(std::string text) {
  for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return text;
}

}  // namespace

HeaderList CdnHeaderLines(const CdnHeaders& cdn) {
  HeaderList lines;
  switch (cdn.kind) {
    case CdnHeaders::Kind::kCloudflare:
      lines.emplace_back("CF-Cache-Status", cdn.cacheStatus);
      lines.emplace_back("CF-RAY", cdn.rayId + "-" + cdn.location);
      break;
    case CdnHeaders::Kind::kXCache:
      lines.emplace_back("X-Cache", cdn.xCache);
      break;
    case CdnHeaders::Kind::kNone:
      break;
  }
  return lines;
}

DownloadAnswer PlanFileAnswer(const std::string& method, const std::string& rangeHeader,
                              uint64_t fileSize, const CdnHeaders& cdn,
                              const DownloadFaults& faults) {
  DownloadAnswer answer;
  const bool head = method == "HEAD";
  RangeResult range = ParseSingleRange(rangeHeader, fileSize);
  if (faults.whole200) range.kind = RangeResult::Kind::kNone;

  answer.headers.emplace_back("Accept-Ranges", "bytes");
  uint64_t length = fileSize;
  if (range.kind == RangeResult::Kind::kSatisfiable) {
    answer.status = 206;
    const int64_t total = std::max<int64_t>(
        0, static_cast<int64_t>(fileSize) + faults.wrongTotalDelta);
    answer.headers.emplace_back(
        "Content-Range", ContentRangeValue(range.first, range.last, static_cast<uint64_t>(total)));
    answer.bodyFirst = range.first;
    length = range.last - range.first + 1;
    // A body that does not match its Content-Range: longer (the file's next bytes, as far as
    // the file goes) or shorter; Content-Length follows the body.
    if (faults.bodyDelta != 0) {
      const int64_t wanted = static_cast<int64_t>(length) + faults.bodyDelta;
      const int64_t room = static_cast<int64_t>(fileSize - range.first);
      length = static_cast<uint64_t>(std::max<int64_t>(0, std::min<int64_t>(wanted, room)));
    }
  } else if (range.kind == RangeResult::Kind::kUnsatisfiable) {
    answer.status = 416;
    answer.headers.emplace_back("Content-Range", UnsatisfiedRangeValue(fileSize));
    length = 0;
  }
  if (!faults.noLength) answer.headers.emplace_back("Content-Length", std::to_string(length));
  answer.headers.emplace_back("Content-Type", answer.status == 416 ? "text/plain"
                                                                   : "application/octet-stream");
  for (const auto& line : CdnHeaderLines(cdn)) answer.headers.push_back(line);
  answer.bodyLength = head ? 0 : length;
  answer.closeAfter = faults.noLength;
  if (faults.lowercaseHeaders) {
    for (auto& header : answer.headers) header.first = Lower(header.first);
  }
  return answer;
}

std::string RewriteHeaderBlock(const std::string& block, bool lowercaseNames,
                               bool dropContentLength) {
  std::string out;
  size_t pos = block.find("\r\n");
  if (pos == std::string::npos) return block;
  out = block.substr(0, pos + 2);  // the status line stays as it is
  pos += 2;
  bool sawConnection = false;
  while (pos < block.size()) {
    size_t end = block.find("\r\n", pos);
    if (end == std::string::npos) end = block.size();
    std::string line = block.substr(pos, end - pos);
    pos = end + 2;
    if (line.empty()) break;  // end of the header block
    const size_t colon = line.find(':');
    std::string name = colon == std::string::npos ? line : line.substr(0, colon);
    const std::string rest = colon == std::string::npos ? "" : line.substr(colon);
    const std::string key = Lower(name);
    if (dropContentLength) {
      if (key == "content-length" || key == "keep-alive") continue;
      if (key == "connection") {
        sawConnection = true;
        line = "Connection: close";
        name = "Connection";
        if (lowercaseNames) line = "connection: close";
        out += line + "\r\n";
        continue;
      }
    }
    if (lowercaseNames) name = key;
    out += name + rest + "\r\n";
  }
  if (dropContentLength && !sawConnection) {
    out += lowercaseNames ? "connection: close\r\n" : "Connection: close\r\n";
  }
  out += "\r\n";
  if (pos < block.size()) out += block.substr(pos);  // anything after the block stays
  return out;
}

BodyPump::BodyPump(uint64_t bodyFirst, uint64_t bodyLength, const DownloadFaults& faults)
    : first_(bodyFirst), length_(bodyLength), faults_(faults) {}

BodyPump::Step BodyPump::Next() const {
  Step step;
  if (faults_.stallAfter >= 0 && !stalled_ && sent_ == static_cast<uint64_t>(faults_.stallAfter) &&
      sent_ < length_) {
    step.kind = Step::Kind::kStall;
    step.stallMs = faults_.stallMs;
    return step;
  }
  if (faults_.dropAfter >= 0 && sent_ >= static_cast<uint64_t>(faults_.dropAfter) &&
      sent_ < length_) {
    step.kind = Step::Kind::kDrop;
    return step;
  }
  if (faults_.resetAfter >= 0 && sent_ >= static_cast<uint64_t>(faults_.resetAfter) &&
      sent_ < length_) {
    step.kind = Step::Kind::kReset;
    return step;
  }
  if (sent_ >= length_) return step;  // kDone
  uint64_t chunk = std::min<uint64_t>(kChunk, length_ - sent_);
  if (faults_.rateBytesPerSecond > 0) {
    // About twenty writes a second keeps the pacing smooth without tiny writes.
    const uint64_t paced = std::max<uint64_t>(1, static_cast<uint64_t>(faults_.rateBytesPerSecond) / 20);
    chunk = std::min(chunk, paced);
  }
  // Cut the chunk so that a stall or a drop falls exactly on its byte.
  for (int64_t mark : {faults_.stallAfter, faults_.dropAfter, faults_.resetAfter}) {
    if (mark >= 0 && static_cast<uint64_t>(mark) > sent_) {
      chunk = std::min<uint64_t>(chunk, static_cast<uint64_t>(mark) - sent_);
    }
  }
  step.kind = Step::Kind::kWrite;
  step.fileOffset = first_ + sent_;
  step.bytes = static_cast<size_t>(chunk);
  return step;
}

int64_t BodyPump::PaceDelayMs(int64_t elapsedMs) const {
  if (faults_.rateBytesPerSecond <= 0) return 0;
  const double due = static_cast<double>(sent_) * 1000.0 /
                     static_cast<double>(faults_.rateBytesPerSecond);
  const int64_t wait = static_cast<int64_t>(due) - elapsedMs;
  return wait > 0 ? wait : 0;
}

void BodyPump::Corrupt(uint64_t fileOffset, char* data, size_t size) const {
  if (faults_.corruptOffset < 0) return;
  const uint64_t target = static_cast<uint64_t>(faults_.corruptOffset);
  if (target >= fileOffset && target < fileOffset + size) {
    data[target - fileOffset] = static_cast<char>(~static_cast<unsigned char>(data[target - fileOffset]));
  }
}

}  // namespace vendorsim
