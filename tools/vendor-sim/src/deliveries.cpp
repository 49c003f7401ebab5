#include "deliveries.h"

namespace vendorsim {
namespace {

int HexValue(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return -1;
}

std::string PercentDecode(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int hi = HexValue(text[i + 1]);
      const int lo = HexValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

}  // namespace

bool DeliveryLedger::Accept(const std::string& endpoint, const std::string& taskId) {
  if (taskId.empty()) return true;
  std::lock_guard<std::mutex> lock(mutex_);
  Seen& seen = seen_[endpoint];
  if (!seen.ids.insert(taskId).second) {
    ++seen.duplicates;
    return false;
  }
  ++seen.unique;
  seen.order.push_back(taskId);
  if (seen.order.size() > kMaxIds) {
    seen.ids.erase(seen.order.front());
    seen.order.pop_front();
  }
  return true;
}

Json::Value DeliveryLedger::ToJson() const {
  std::lock_guard<std::mutex> lock(mutex_);
  Json::Value out(Json::objectValue);
  for (const auto& entry : seen_) {
    Json::Value counts(Json::objectValue);
    counts["unique"] = static_cast<Json::UInt64>(entry.second.unique);
    counts["duplicates"] = static_cast<Json::UInt64>(entry.second.duplicates);
    out[entry.first] = counts;
  }
  return out;
}

void DeliveryLedger::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  seen_.clear();
}

std::string DocumentTaskId(const Json::Value& document) {
  if (!document.isObject()) return std::string();
  const Json::Value& id = document["task_id"];
  return id.isString() ? id.asString() : std::string();
}

std::string QueryTaskId(const std::string& rawQuery) {
  const std::string name = "ep.task_id=";
  size_t at = 0;
  while (at < rawQuery.size()) {
    size_t end = rawQuery.find('&', at);
    if (end == std::string::npos) end = rawQuery.size();
    if (rawQuery.compare(at, name.size(), name) == 0 && at + name.size() <= end) {
      return PercentDecode(rawQuery.substr(at + name.size(), end - at - name.size()));
    }
    at = end + 1;
  }
  return std::string();
}

}  // namespace vendorsim
