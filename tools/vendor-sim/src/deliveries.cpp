#include "deliveries.h"

namespace vendorsim {

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

std::string DocumentTaskId(const Json::Value& document) {
  if (!document.isObject()) return std::string();
  const Json::Value& id = document["task_id"];
  return id.isString() ? id.asString() : std::string();
}

}  // namespace vendorsim
