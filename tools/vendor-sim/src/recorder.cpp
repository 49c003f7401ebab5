#include "recorder.h"

#include <algorithm>

namespace vendorsim {

uint64_t Recorder::Add(RecordedRequest request) {
  std::lock_guard<std::mutex> lock(mutex_);
  request.seq = nextSeq_++;
  if (request.body.size() > kMaxBody) request.body.resize(kMaxBody);
  request.bodySize = std::max<uint64_t>(request.bodySize, request.body.size());
  request.bodyTruncated = request.bodySize > request.body.size();
  storedBytes_ += request.body.size();
  records_.push_back(std::move(request));
  const uint64_t seq = records_.back().seq;
  while (records_.size() > 1 && (records_.size() > kMaxRecords || storedBytes_ > kMaxStoredBytes)) {
    storedBytes_ -= records_.front().body.size();
    records_.pop_front();
    ++dropped_;
  }
  return seq;
}

RecordedRequest* Recorder::FindLocked(uint64_t seq) {
  if (records_.empty() || seq < records_.front().seq || seq > records_.back().seq) return nullptr;
  RecordedRequest& record = records_[static_cast<size_t>(seq - records_.front().seq)];
  return record.seq == seq ? &record : nullptr;
}

void Recorder::Finish(uint64_t seq, int status, bool aborted) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (RecordedRequest* record = FindLocked(seq)) {
    record->status = status;
    record->aborted = aborted;
  }
}

void Recorder::SetRules(uint64_t seq, const std::vector<std::string>& rules) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (RecordedRequest* record = FindLocked(seq)) record->rules = rules;
}

void Recorder::Note(uint64_t seq, const std::string& key, const Json::Value& value) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (RecordedRequest* record = FindLocked(seq)) record->notes[key] = value;
}

void Recorder::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  records_.clear();  // sequence numbers keep counting, so "since" stays meaningful
  storedBytes_ = 0;
}

Json::Value Recorder::ToJson(const std::string& endpoint, uint64_t since) const {
  std::lock_guard<std::mutex> lock(mutex_);
  Json::Value list(Json::arrayValue);
  for (const RecordedRequest& record : records_) {
    if (record.seq <= since) continue;
    if (!endpoint.empty() && record.endpoint != endpoint) continue;
    list.append(RecordToJson(record));
  }
  return list;
}

size_t Recorder::Count(const std::string& endpoint) const {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t count = 0;
  for (const RecordedRequest& record : records_) {
    if (endpoint.empty() || record.endpoint == endpoint) ++count;
  }
  return count;
}

uint64_t Recorder::dropped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dropped_;
}

Json::Value Recorder::RecordToJson(const RecordedRequest& r) {
  Json::Value item(Json::objectValue);
  item["seq"] = static_cast<Json::UInt64>(r.seq);
  item["endpoint"] = r.endpoint;
  item["time_ms"] = static_cast<Json::Int64>(r.timeMs);
  item["connection"] = static_cast<Json::UInt64>(r.connection);
  item["on_connection"] = r.onConnection;
  item["tls"] = r.tls;
  item["method"] = IsValidUtf8(r.method) ? r.method : Base64(r.method);
  item["target"] = IsValidUtf8(r.target) ? r.target : Base64(r.target);
  item["path"] = IsValidUtf8(r.path) ? r.path : Base64(r.path);
  Json::Value headers(Json::arrayValue);
  for (const auto& header : r.headers) {
    Json::Value pair(Json::arrayValue);
    pair.append(IsValidUtf8(header.first) ? header.first : Base64(header.first));
    pair.append(IsValidUtf8(header.second) ? header.second : Base64(header.second));
    headers.append(pair);
  }
  item["headers"] = headers;
  if (IsValidUtf8(r.body)) {
    item["body"] = r.body;
  } else {
    item["body_base64"] = Base64(r.body);
  }
  item["body_size"] = static_cast<Json::UInt64>(r.bodySize);
  item["body_truncated"] = r.bodyTruncated;
  item["status"] = r.status;
  item["aborted"] = r.aborted;
  Json::Value rules(Json::arrayValue);
  for (const std::string& id : r.rules) rules.append(id);
  item["rules"] = rules;
  item["notes"] = r.notes;
  return item;
}

bool IsValidUtf8(const std::string& bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    const unsigned char lead = static_cast<unsigned char>(bytes[i]);
    size_t extra = 0;
    uint32_t code = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xe0) == 0xc0) {
      extra = 1;
      code = lead & 0x1f;
    } else if ((lead & 0xf0) == 0xe0) {
      extra = 2;
      code = lead & 0x0f;
    } else if ((lead & 0xf8) == 0xf0) {
      extra = 3;
      code = lead & 0x07;
    } else {
      return false;
    }
    if (i + extra >= bytes.size()) return false;
    for (size_t k = 1; k <= extra; ++k) {
      const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xc0) != 0x80) return false;
      code = (code << 6) | (next & 0x3f);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((extra == 1 && code < 0x80) || (extra == 2 && code < 0x800) ||
        (extra == 3 && code < 0x10000) || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) {
      return false;
    }
    i += extra + 1;
  }
  return true;
}

std::string Base64(const std::string& bytes) {
  static const char kTable[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  while (i + 2 < bytes.size()) {
    const uint32_t v = (static_cast<unsigned char>(bytes[i]) << 16) |
                       (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += kTable[(v >> 18) & 63];
    out += kTable[(v >> 12) & 63];
    out += kTable[(v >> 6) & 63];
    out += kTable[v & 63];
    i += 3;
  }
  if (i + 1 == bytes.size()) {
    const uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
    out += kTable[(v >> 18) & 63];
    out += kTable[(v >> 12) & 63];
    out += "==";
  } else if (i + 2 == bytes.size()) {
    const uint32_t v = (static_cast<unsigned char>(bytes[i]) << 16) |
                       (static_cast<unsigned char>(bytes[i + 1]) << 8);
    out += kTable[(v >> 18) & 63];
    out += kTable[(v >> 12) & 63];
    out += kTable[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

}  // namespace vendorsim
