// The collectors' memory of what they took: a report carries the id its sender's store gave it
// ("task_id"), and a collector counts each id once. A report sent again (its sender died after
// the collector answered, before it could note the answer) is answered as before and counted as
// a duplicate, so a sender that delivers at least once yields exactly once at the collector.
// Thread-safe: every method locks.
#pragma once

#include <json/json.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <unordered_set>

namespace vendorsim {

class DeliveryLedger {
 public:
  // Ids remembered per collector; beyond this the oldest are forgotten.
  static constexpr size_t kMaxIds = 1000000;

  // Notes a report the collector accepted. True the first time its id comes to this collector,
  // false for a duplicate. An empty id (a sender without store ids) is always new, uncounted.
  bool Accept(const std::string& endpoint, const std::string& taskId);
  // {"<endpoint>": {"unique": n, "duplicates": m}, ...} for every collector that saw an id.
  Json::Value ToJson() const;

 private:
  struct Seen {
    std::unordered_set<std::string> ids;
    std::deque<std::string> order;  // oldest first
    uint64_t unique = 0;
    uint64_t duplicates = 0;
  };
  mutable std::mutex mutex_;
  std::map<std::string, Seen> seen_;
};

// The sender's id of a report document: its "task_id" member (a GA4 hit carries it as the query
// parameter "ep.task_id"). Empty when the document carries none.
std::string DocumentTaskId(const Json::Value& document);

}  // namespace vendorsim
