// CReportStore: the persistent store of report items not yet confirmed sent, shared by every
// process that reports under the same main pid.
//
// Files, all beside the store "tempga.wk":
//   tempga.wk          the snapshot: {"send_count": n, "send_item": [{"task_guid": key,
//                      "task_status": 0|2, "task_content": payload, "task_id": id,
//                      "task_owner": owner, "task_time": ms}, ...], "journal_gen": g}.
//                      Stores written before "task_id" existed load as they are: an entry
//                      without an id gets one from its position, and nothing else changes.
//   tempga.wk.j<g>     journals: records appended since the snapshot, each "KRJ1", the body's
//                      length and CRC-32 (little-endian 32-bit) and a JSON body (an added item
//                      or a removed id). A torn or damaged record is skipped; reading goes on
//                      at the next intact one.
//   tempga.wk.lock     the append lock; its content is the generation g of the journal that
//                      takes new records.
//   tempga.wk.compact  the lock of the one process that folds journals into the snapshot.
//   tempga.wk.owner<i> one slot per live process using the store, holding its owner id; the
//                      system frees the slot's lock when the process dies.
//
// Adding or removing an item appends one record to the current journal under the append lock:
// its cost does not depend on the store's size, and a process killed after the append loses
// nothing. Compact (run by the sender thread) switches new records to the next journal, folds
// the snapshot and the older journals into a new snapshot (written to a temporary file that
// replaces it), applies the bounds and deletes the folded journals. Every entry has its own id,
// so items with the same key are separate entries.
//
// Ownership of entries: an entry belongs to the process that added or claimed it. Compaction
// hands entries whose owner is gone (no live slot holds its id) to the compacting process,
// which then sends them; entries of a live process are never claimed, so two processes never
// send the same item.
//
// A snapshot that exists but cannot be read (shared by another writer, locked) is retried and
// then left untouched: no compaction, records stay in the journals. A damaged snapshot is read
// up to the damage, and a copy is kept as "tempga.wk.bad".
//
// Threading: every method is safe from any thread. Appends hold a short in-process lock; a
// compaction holds its own lock and takes the append lock only to switch journals.
#pragma once

#include <json/json.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/append_file.h"
#include "platform/file_lock.h"

namespace reportsdk {

class CReportStore {
 public:
  using LogFn = std::function<void(const std::string&)>;

  struct Entry {
    std::string id;
    std::string key;
    std::string payload;
  };
  struct ReplayList {
    bool read = false;         // false: the store could not be read now (nothing claimed)
    int pending = 0;           // entries whose status is not 2
    int sendCount = 0;         // the stored "send_count", moved by what the journals record
    std::vector<Entry> items;  // entries claimed for this process: send them
  };
  // The store's bounds, applied oldest first at every compaction.
  struct Limits {
    size_t maxItems = 10000;
    int64_t maxAgeMs = 30LL * 24 * 3600 * 1000;  // 30 days
    int64_t maxBytes = 32LL << 20;               // keys and payloads together
    // A snapshot beyond this is not read: it is kept aside and the store starts afresh.
    int64_t maxSnapshotBytes = 64LL << 20;
    // Journal records of this process after which a compaction is due.
    size_t compactAfterRecords = 256;
  };

  static constexpr int kWaiting = 0;
  static constexpr int kSent = 2;
  static constexpr int kOwnerSlots = 32;

  explicit CReportStore(LogFn log);
  ~CReportStore();
  CReportStore(const CReportStore&) = delete;
  CReportStore& operator=(const CReportStore&) = delete;

  void SetPath(const std::wstring& path);
  std::wstring Path() const;
  void SetLimits(const Limits& limits);
  // Milliseconds since 1970 for the age bound (tests move it).
  void SetClock(std::function<int64_t()> nowMs);
  // How the snapshot is read (tests make it fail as a locked file does).
  void SetSnapshotReader(std::function<bool(const std::wstring&, std::string*)> read);

  // Adds a waiting item as a new entry; *id names it for Remove. False when the record could
  // not reach the disk: it is kept in memory and written with the next record.
  bool Add(const std::string& key, const std::string& payload, std::string* id);
  // A fresh entry id of this process, for an item sent without being stored.
  std::string NewId();
  // Removes the entry (a delivered item). Removing an id that is not stored changes nothing.
  bool Remove(const std::string& id);
  // Status change by key: kWaiting adds a new entry; kSent removes the oldest waiting entry
  // with this key (preferring one with this payload). Reads the whole store for kSent.
  bool Update(const std::string& key, const std::string& payload, int status);

  // Folds the journals into the snapshot, claims the entries of gone owners and applies the
  // bounds. The claimed entries are returned for sending. list->read is false when the store
  // could not be read or locked; nothing was changed then.
  ReplayList Compact();
  // True when this process appended enough records, the store may be over its count bound, or
  // an earlier compaction failed (retried every few seconds).
  bool CompactionDue() const;

  // Entries of the store as the next start would find them (snapshot and journals).
  int CountEntries();
  std::vector<Entry> WaitingEntries();

  // This process's owner id in the store (empty before the first use).
  std::string OwnerId() const;

 private:
  struct StoredEntry;
  struct Model;

  bool EnsureOpenLocked();
  bool RegisterOwnerLocked();
  bool ReadGenLocked(int64_t* gen);
  bool AppendLocked(const std::string& record);
  bool LoadSnapshot(Model* model, bool keepAside);
  // False when a journal exists but cannot be read (it must then not be folded away).
  bool FoldJournals(Model* model, int64_t upTo);
  std::vector<std::string> LiveOwners();
  void ApplyBounds(Model* model);
  bool WriteSnapshot(const Model& model);
  void Log(const std::string& message) const;
  int64_t NowMs() const;

  LogFn log_;
  mutable std::mutex mutex_;  // path, limits, hooks, the open files, unsaved records
  std::wstring path_;
  Limits limits_;
  std::function<int64_t()> nowMs_;
  std::function<bool(const std::wstring&, std::string*)> readSnapshot_;
  platform::FileLock appendLock_;
  platform::AppendFile journal_;
  int64_t journalGen_ = -1;
  std::unique_ptr<platform::FileLock> ownerSlot_;
  std::string ownerId_;
  uint64_t nextSeq_ = 1;
  std::string unsaved_;  // records that did not reach the disk yet

  std::mutex compactMutex_;  // one compaction at a time in this process
  platform::FileLock compactLock_;
  std::atomic<size_t> appended_{0};    // records since this process's last compaction
  std::atomic<size_t> lastCount_{0};   // entries after the last compaction
  std::atomic<bool> compactFailed_{false};
  std::atomic<uint32_t> lastAttemptTick_{0};
};

}  // namespace reportsdk
