// CReportStore: the persistent store "tempga.wk" of report items not yet confirmed sent.
// Shape: {"send_count": n, "send_item": [{"task_guid": key, "task_status": 0|2,
// "task_content": payload}, ...]}.
//
// Every change reads the whole file and writes it back through a temporary file that replaces
// the store, so the file on disk is always a complete, valid store, also when the process dies
// in the middle of a write. A damaged store reads as empty; before it is first overwritten a
// copy is kept beside it as "tempga.wk.bad" for inspection.
//
// Threading: all methods are safe from any thread; one lock serialises every read-modify-write,
// so additions from posting threads and removals by the sender never lose each other.
// Ownership: plain value state (the path); the file belongs to the store while it runs.
#pragma once

#include <json/json.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace reportsdk {

class CReportStore {
 public:
  using LogFn = std::function<void(const std::string&)>;

  struct Entry {
    std::string key;
    std::string payload;
  };
  struct ReplayList {
    int pending = 0;           // entries whose status is not 2
    int sendCount = 0;         // the store's own count
    std::vector<Entry> items;  // pending entries whose key and payload are long enough
  };

  static constexpr int kWaiting = 0;
  static constexpr int kSent = 2;
  // A store beyond this size is not read (it would cost every post a read of that much).
  static constexpr int64_t kMaxStoreBytes = 64ll << 20;

  explicit CReportStore(LogFn log);

  void SetPath(const std::wstring& path);
  std::wstring Path() const;

  // Sets the status (and payload) of the entry with this key, removing it for kSent; appends a
  // new entry when none matches and the status is not kSent. False when the file could not be
  // written (the change is then lost to the disk, not to the caller's queue).
  bool Update(const std::string& key, const std::string& payload, int status);

  // What the next start would replay.
  ReplayList ReadForReplay();

  // Number of entries in the file (test and benchmark use).
  int CountEntries();

 private:
  Json::Value ReadLocked();
  bool WriteLocked(const Json::Value& root);

  mutable std::mutex mutex_;
  std::wstring path_;
  LogFn log_;
};

}  // namespace reportsdk
