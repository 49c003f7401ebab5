// Everything that reached the simulated services, in arrival order, for tests to assert on.
// Thread-safe: every method locks. Records are copied in and out; nothing is shared.
#pragma once

#include <json/json.h>

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace vendorsim {

struct RecordedRequest {
  uint64_t seq = 0;  // 1, 2, 3... across all services
  std::string endpoint;
  int64_t timeMs = 0;       // since 1970
  uint64_t connection = 0;  // same number: same TCP connection (keep-alive)
  int onConnection = 0;     // 1 for the first request of its connection
  bool tls = false;
  std::string method;
  std::string target;  // as received: path and raw query
  std::string path;    // decoded path
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  uint64_t bodySize = 0;
  bool bodyTruncated = false;
  // Filled in when the answer is known.
  int status = 0;
  bool aborted = false;
  std::vector<std::string> rules;
  Json::Value notes = Json::Value(Json::objectValue);
};

class Recorder {
 public:
  static constexpr size_t kMaxBody = 1u << 20;   // bodies are kept up to 1 MiB
  static constexpr size_t kMaxRecords = 100000;  // the oldest go first beyond this...
  static constexpr uint64_t kMaxStoredBytes = 256ull << 20;  // ...or beyond this much body

  // Stores the request (body cut to kMaxBody; bodySize keeps the full size when the caller
  // already cut it) and returns its sequence number.
  uint64_t Add(RecordedRequest request);
  void Finish(uint64_t seq, int status, bool aborted);
  void SetRules(uint64_t seq, const std::vector<std::string>& rules);
  void Note(uint64_t seq, const std::string& key, const Json::Value& value);
  void Clear();

  // endpoint "" for all; only records with seq > since.
  Json::Value ToJson(const std::string& endpoint, uint64_t since) const;
  size_t Count(const std::string& endpoint) const;
  uint64_t dropped() const;

  static Json::Value RecordToJson(const RecordedRequest& request);

 private:
  RecordedRequest* FindLocked(uint64_t seq);

  mutable std::mutex mutex_;
  std::deque<RecordedRequest> records_;
  uint64_t nextSeq_ = 1;
  uint64_t dropped_ = 0;
  uint64_t storedBytes_ = 0;
};

// True when the bytes are valid UTF-8 (so they can go into JSON as text).
bool IsValidUtf8(const std::string& bytes);
std::string Base64(const std::string& bytes);

}  // namespace vendorsim
