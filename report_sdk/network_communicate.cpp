#include "report_sdk/network_communicate.h"

#include <chrono>
#include <exception>

#include "report_sdk/report_format.h"

namespace reportsdk {
namespace {

struct KeyParts {
  std::string prefix;  // characters 0 to 2
  std::string time;    // characters 3 to 15
  std::string rest;    // characters 16 onward
};

KeyParts SplitKey(const std::string& key) {
  KeyParts parts;
  parts.prefix = key.substr(0, 3);
  if (key.size() > 3) parts.time = key.substr(3, 13);
  if (key.size() > 16) parts.rest = key.substr(16);
  return parts;
}

// The 13-character time of a key; 0 when it holds anything but digits.
int64_t TimeOf(const std::string& time) {
  if (time.empty()) return 0;
  int64_t value = 0;
  for (char ch : time) {
    if (ch < '0' || ch > '9') return 0;
    value = value * 10 + (ch - '0');
  }
  return value;
}

}  // namespace

CNetworkCommunicate::CNetworkCommunicate(Hooks hooks)
    : hooks_(std::move(hooks)), store_(hooks_.log) {}

CNetworkCommunicate::~CNetworkCommunicate() {
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    stop_ = true;
  }
  queueSignal_.notify_all();
  if (sender_.joinable()) sender_.join();
}

void CNetworkCommunicate::Log(const std::string& message) const {
  if (hooks_.log) hooks_.log(message);
}

int CNetworkCommunicate::LookForRepeatCount(const std::string& key, int windowSeconds) {
  std::lock_guard<std::mutex> guard(historyLock_);
  return CountRepeatsLocked(key, windowSeconds);
}

int CNetworkCommunicate::CountRepeatsLocked(const std::string& key, int windowSeconds) {
  int matches = 0;
  try {
    const KeyParts mine = SplitKey(key);
    const int64_t myTime = TimeOf(mine.time);
    size_t visited = 0;
    for (auto it = history_.rbegin(); it != history_.rend(); ++it) {
      ++visited;
      const KeyParts other = SplitKey(*it);
      const int64_t otherTime = TimeOf(other.time);
      const int64_t distance =
          (myTime > otherTime ? myTime - otherTime : otherTime - myTime) / 1000;
      if (distance > windowSeconds) break;
      if (other.prefix == mine.prefix && other.rest == mine.rest) ++matches;
    }
    while (history_.size() > visited) history_.pop_front();
  } catch (const std::exception& ex) {
    Log(std::string("LookForRepeatCount function ex: ") + ex.what());
  } catch (...) {
    Log("LookForRepeatCount function ex: Unknown error");
  }
  return matches;
}

void CNetworkCommunicate::Enqueue(const SendItemRecord& item) {
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    queue_.push_back(item);
    queueCount_ = queue_.size();
  }
  queueSignal_.notify_all();
}

int CNetworkCommunicate::Post(const std::string& key, const std::string& payload, bool replayed,
                              bool persist, bool bWait) {
  // Replayed items were admitted by the repeat check when they were first posted; checking them
  // again would strand every burst of more than ten alike events in the store for good.
  if (!replayed) {
    int repeats = 0;
    {
      // Counted and recorded in one step, so racing posters cannot pass more than the limit.
      std::lock_guard<std::mutex> guard(historyLock_);
      repeats = CountRepeatsLocked(key, kRepeatWindowSeconds);
      try {
        history_.push_back(key);
      } catch (const std::exception& ex) {
        Log(std::string("Post history ex: ") + ex.what());
      }
    }
    if (repeats > kMaxRepeats) {
      Log("Detect repeat " + std::to_string(repeats) + ", more than " +
          std::to_string(kMaxRepeats) + " within " + std::to_string(kRepeatWindowSeconds) +
          " seconds");
      return -1;
    }
  }
  SendItemRecord item;
  item.replayed = replayed;
  item.key = key;
  item.type = PayloadType(payload);
  item.payload = payload;
  if (item.type == kItemUnknown) {
    Log("Post refused, payload of unknown type, key " + key);
    return -1;
  }
  if (persist) store_.Add(key, payload, &item.storeId);
  item.taskId = persist ? item.storeId : store_.NewId();
  if (bWait) return SendItem(item, persist) ? 0 : -2;
  Enqueue(item);
  return 0;
}

void CNetworkCommunicate::Pause(uint32_t ms) {
  if (hooks_.pause) {
    hooks_.pause(ms);
    return;
  }
  std::unique_lock<std::mutex> lock(queueLock_);
  queueSignal_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_; });
}

void CNetworkCommunicate::ReplacePost(
    std::function<long(const std::string&, const std::string&)> post) {
  std::lock_guard<std::mutex> guard(postLock_);
  hooks_.post = std::move(post);
}

long CNetworkCommunicate::CallPost(const std::string& url, const std::string& body) {
  std::function<long(const std::string&, const std::string&)> post;
  {
    std::lock_guard<std::mutex> guard(postLock_);
    post = hooks_.post;
  }
  return post ? post(url, body) : 0;
}

bool CNetworkCommunicate::SendItem(const SendItemRecord& item, bool confirm) {
  // Every attempt, in this process or a later one, carries the same id: a collector that took
  // the item before its answer was lost counts the next send as the same item.
  const std::string wire = WithTaskId(item.type, item.payload, item.taskId);
  if (wire == item.payload && !item.taskId.empty()) {
    Log("Report sent without task id, payload not a JSON object, key " + item.key);
  }
  bool delivered = false;
  for (int attempt = 0; attempt < kAttempts && !delivered; ++attempt) {
    long status = 0;
    if (item.type == kItemGa4) {
      status = CallPost(wire, std::string());
      delivered = status == 204;
    } else if (item.type == kItemDocument) {
      const std::string url = hooks_.collectorUrl ? hooks_.collectorUrl() : std::string();
      status = CallPost(url, wire);
      delivered = status == 200;
    }
    if (!delivered) Pause(hooks_.retryPauseMs);
  }
  if (!delivered) {
    Enqueue(item);
  } else {
    ++delivered_;
    // Only the item's own entry goes: others with the same key are other items.
    if (confirm && !item.storeId.empty()) store_.Remove(item.storeId);
  }
  return delivered;
}

void CNetworkCommunicate::SenderLoop() {
  for (;;) {
    SendItemRecord item;
    bool compact = false;
    {
      std::unique_lock<std::mutex> lock(queueLock_);
      if (stop_) return;
      if (queue_.empty()) {
        compact = store_.CompactionDue();
        if (!compact) {
          queueSignal_.wait_for(lock, std::chrono::milliseconds(hooks_.idlePollMs));
          continue;
        }
      } else {
        item = queue_.front();
        queue_.pop_front();
        queueCount_ = queue_.size();
      }
      ++inFlight_;
    }
    if (!compact) {
      SendItem(item, true);
      // Fold the journal when a burst is done (the store is then small and the fold cheap) or
      // when enough records piled up while items keep failing.
      compact = QueueCount() == 0 || store_.CompactionDue();
    }
    if (compact) CompactStore();
    {
      std::lock_guard<std::mutex> guard(queueLock_);
      --inFlight_;
    }
    queueSignal_.notify_all();
  }
}

void CNetworkCommunicate::CompactStore() {
  const CReportStore::ReplayList list = store_.Compact();
  QueueStored(list.items);
}

void CNetworkCommunicate::QueueStored(const std::vector<CReportStore::Entry>& entries) {
  for (const CReportStore::Entry& entry : entries) {
    SendItemRecord item;
    item.replayed = true;
    item.key = entry.key;
    item.payload = entry.payload;
    item.type = PayloadType(entry.payload);
    item.storeId = entry.id;
    item.taskId = WireTaskId(entry.id, entry.key, entry.payload);
    // A payload of no known type is never sent; its entry stays for inspection.
    if (item.type == kItemUnknown) continue;
    Enqueue(item);
  }
}

void CNetworkCommunicate::StartSender() {
  std::call_once(senderOnce_, [this] {
    try {
      sender_ = std::thread([this] { SenderLoop(); });
    } catch (const std::exception& ex) {
      Log(std::string("Sender not started: ") + ex.what());
    }
  });
}

bool CNetworkCommunicate::Idle() const {
  std::lock_guard<std::mutex> guard(queueLock_);
  return queue_.empty() && inFlight_ == 0;
}

void CNetworkCommunicate::ReplayStore() {
  const CReportStore::ReplayList list = store_.Compact();
  if (!list.read) Log("Store not replayed now; the sender tries again later");
  QueueStored(list.items);
  Log("Read history: " + std::to_string(list.pending) + "/" + std::to_string(list.sendCount));
}

}  // namespace reportsdk
