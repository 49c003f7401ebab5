// CNetworkCommunicate: moves report items from the SDK to the network. Every item passes the
// repeat check, is written to the store so that it survives the process, and is either sent at
// once (bWait) or queued for the one sender thread, which retries failed items for as long as
// the process lives. The store is replayed when the SDK starts again.
//
// Threading: Post, LookForRepeatCount, QueueCount and Idle are safe from any thread. The post
// history has its own lock, held while a post is counted and appended; the send queue and the
// in-flight count share the queue lock; the store serialises its own file work. StartSender
// starts the sender thread once; the sender also folds the store's journal (compaction), so a
// post only ever appends one record.
// Ownership: the object owns its sender thread. Destroying it stops and joins the thread (the
// process-wide object is never destroyed, so its sender ends with the process).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "report_sdk/report_store.h"

namespace reportsdk {

struct SendItemRecord {
  bool replayed = false;
  std::string key;
  int type = 0;  // kItemGa4 or kItemDocument
  std::string payload;
  std::string storeId;  // the item's own entry in the store; empty when not stored
  // The id the collectors count the item by (sent with it): the store's entry id, or a fresh
  // one for an item that is not stored. The same for every send of the item, in every process.
  std::string taskId;
};

class CNetworkCommunicate {
 public:
  struct Hooks {
    // One HTTP POST: the status code, 0 when no response came.
    std::function<long(const std::string& url, const std::string& body)> post;
    // Where report documents go ("https://host/collect" or the test collector).
    std::function<std::string()> collectorUrl;
    std::function<void(const std::string&)> log;
    // The pause after an attempt that did not deliver; null waits (interruptibly) itself.
    std::function<void(uint32_t ms)> pause;
    uint32_t retryPauseMs = 2000;
    uint32_t idlePollMs = 500;
  };

  static constexpr int kRepeatWindowSeconds = 60;
  static constexpr int kMaxRepeats = 10;
  static constexpr int kAttempts = 3;

  explicit CNetworkCommunicate(Hooks hooks);
  ~CNetworkCommunicate();
  CNetworkCommunicate(const CNetworkCommunicate&) = delete;
  CNetworkCommunicate& operator=(const CNetworkCommunicate&) = delete;

  // 0 queued or sent; -1 refused (a repeat, or a payload of no known type); -2 an immediate
  // send failed (the item is queued and stays stored).
  int Post(const std::string& key, const std::string& payload, bool replayed, bool persist,
           bool bWait);

  // Matching keys within the window among the recent posts; trims the history.
  int LookForRepeatCount(const std::string& key, int windowSeconds);

  void StartSender();
  // Compacts the store, queues every stored item no live process owns and logs
  // "Read history: %d/%d".
  void ReplayStore();
  // Up to three attempts; requeues the item when none delivered, removes its entry from the
  // store when one did and confirm is set. True when delivered.
  bool SendItem(const SendItemRecord& item, bool confirm);

  // Replaces the transport (test binaries keep every request on this machine with it).
  void ReplacePost(std::function<long(const std::string&, const std::string&)> post);

  size_t QueueCount() const { return queueCount_.load(); }
  // True when nothing is queued and nothing is being sent.
  bool Idle() const;
  uint64_t DeliveredCount() const { return delivered_.load(); }

  CReportStore& store() { return store_; }

 private:
  void SenderLoop();
  int CountRepeatsLocked(const std::string& key, int windowSeconds);
  void CompactStore();
  void QueueStored(const std::vector<CReportStore::Entry>& entries);
  void Pause(uint32_t ms);
  void Log(const std::string& message) const;
  void Enqueue(const SendItemRecord& item);

  long CallPost(const std::string& url, const std::string& body);

  Hooks hooks_;
  std::mutex postLock_;  // guards hooks_.post against ReplacePost
  CReportStore store_;

  std::mutex historyLock_;
  std::deque<std::string> history_;  // oldest first

  mutable std::mutex queueLock_;
  std::condition_variable queueSignal_;
  std::deque<SendItemRecord> queue_;
  std::atomic<size_t> queueCount_{0};
  int inFlight_ = 0;
  bool stop_ = false;
  std::atomic<uint64_t> delivered_{0};

  std::once_flag senderOnce_;
  std::thread sender_;
};

}  // namespace reportsdk
