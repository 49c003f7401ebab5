#include "report_sdk/report_store.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <set>
#include <unordered_map>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/netinfo.h"
#include "platform/process.h"
#include "report_sdk/report_format.h"
#include "system/storage.h"

namespace reportsdk {

struct CReportStore::StoredEntry {
  std::string id;
  std::string key;
  std::string payload;
  std::string owner;
  int status = kWaiting;
  int64_t time = 0;   // ms since 1970 when added; 0 unknown
  Json::Value raw;    // the snapshot's own object (members other readers may rely on)
  bool removed = false;
};

struct CReportStore::Model {
  std::vector<StoredEntry> entries;
  std::unordered_map<std::string, size_t> index;
  int64_t snapshotGen = 0;
  int storedCount = 0;         // the snapshot's "send_count"
  size_t snapshotEntries = 0;  // usable entries read from the snapshot

  void Add(StoredEntry entry) {
    if (entry.id.empty() || index.count(entry.id)) return;
    index.emplace(entry.id, entries.size());
    entries.push_back(std::move(entry));
  }
  void Remove(const std::string& id) {
    const auto it = index.find(id);
    if (it != index.end()) entries[it->second].removed = true;
  }
  size_t Active() const {
    size_t n = 0;
    for (const StoredEntry& e : entries) n += e.removed ? 0 : 1;
    return n;
  }
};

namespace {

constexpr char kRecordMagic[4] = {'K', 'R', 'J', '1'};
constexpr size_t kRecordHeader = 12;
constexpr uint32_t kMaxRecordBytes = 64u << 20;
constexpr size_t kMaxUnsavedBytes = 16u << 20;
constexpr int kReadAttempts = 5;
constexpr uint32_t kAppendLockWaitMs = 2000;
constexpr uint32_t kCompactLockWaitMs = 10000;
constexpr uint32_t kCompactRetryMs = 5000;
constexpr int kGenWidth = 20;

std::string CompactJson(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, value);
}

uint32_t Crc(const char* data, size_t size) {
  return static_cast<uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(size)));
}

void PutLe32(std::string* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint32_t Le32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
  }
  return value;
}

std::string EncodeRecord(const Json::Value& body) {
  const std::string text = CompactJson(body);
  std::string record(kRecordMagic, sizeof(kRecordMagic));
  PutLe32(&record, static_cast<uint32_t>(text.size()));
  PutLe32(&record, Crc(text.data(), text.size()));
  record += text;
  return record;
}

// Applies every intact record in order. A record that is torn, fails its checksum or does not
// parse is skipped up to the next record mark. Returns the number of damaged stretches.
int DecodeJournal(const std::string& bytes, const std::function<void(const Json::Value&)>& apply) {
  int damaged = 0;
  size_t at = 0;
  const std::string magic(kRecordMagic, sizeof(kRecordMagic));
  while (at < bytes.size()) {
    bool intact = false;
    if (at + kRecordHeader <= bytes.size() && bytes.compare(at, 4, magic) == 0) {
      const uint32_t length = Le32(bytes, at + 4);
      const uint32_t crc = Le32(bytes, at + 8);
      if (length <= kMaxRecordBytes && at + kRecordHeader + length <= bytes.size() &&
          Crc(bytes.data() + at + kRecordHeader, length) == crc) {
        Json::Value body;
        std::string errors;
        if (ParseJson(bytes.substr(at + kRecordHeader, length), &body, &errors) &&
            body.isObject()) {
          apply(body);
          at += kRecordHeader + length;
          intact = true;
        }
      }
    }
    if (intact) continue;
    ++damaged;
    at = bytes.find(magic, at + 1);
    if (at == std::string::npos) break;
  }
  return damaged;
}

std::string StringOf(const Json::Value& entry, const char* name) {
  const Json::Value& value = entry[name];
  return value.isString() ? value.asString() : std::string();
}

// The end of the object that starts at text[start] ('{'), honouring strings; npos when the
// text ends first.
size_t ObjectEnd(const std::string& text, size_t start) {
  int depth = 0;
  bool inString = false;
  for (size_t i = start; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '{') {
      if (++depth > 256) return std::string::npos;
    } else if (c == '}') {
      if (--depth == 0) return i;
    }
  }
  return std::string::npos;
}

// The entries of a damaged store text up to its first damage: the leading objects of its
// "send_item" array that are whole and parse on their own.
Json::Value SalvageEntries(const std::string& text) {
  Json::Value items(Json::arrayValue);
  size_t at = text.find("\"send_item\"");
  if (at == std::string::npos) return items;
  at = text.find_first_not_of(" \t\r\n", at + 11);
  if (at == std::string::npos || text[at] != ':') return items;
  at = text.find_first_not_of(" \t\r\n", at + 1);
  if (at == std::string::npos || text[at] != '[') return items;
  ++at;
  for (;;) {
    at = text.find_first_not_of(" \t\r\n,", at);
    if (at == std::string::npos || text[at] != '{') break;
    const size_t end = ObjectEnd(text, at);
    if (end == std::string::npos) break;
    Json::Value entry;
    std::string errors;
    if (!ParseJson(text.substr(at, end - at + 1), &entry, &errors)) break;
    items.append(entry);
    at = end + 1;
  }
  return items;
}

std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// The oldest journal worth looking for. Normally the snapshot names the journal that follows
// it; a snapshot read only in part (or gone) names none, and journals far behind the current one
// were folded long ago.
int64_t FirstJournal(int64_t snapshotGen, int64_t upTo) {
  constexpr int64_t kFarthest = 4096;
  return std::max(snapshotGen, upTo - kFarthest);
}

std::wstring JournalPath(const std::wstring& store, int64_t gen) {
  return store + L".j" + std::to_wstring(gen);
}

std::wstring SlotPath(const std::wstring& store, int slot) {
  return store + L".owner" + std::to_wstring(slot);
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

}  // namespace

CReportStore::CReportStore(LogFn log) : log_(std::move(log)) {
  ownerId_ = platform::NewGuidText();
  if (ownerId_.empty()) {
    // No system GUID: the process id and the clock tell owners apart well enough.
    ownerId_ = std::to_string(platform::CurrentProcessId()) + "-" +
               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
  }
}

CReportStore::~CReportStore() = default;

void CReportStore::Log(const std::string& message) const {
  if (log_) log_(message);
}

int64_t CReportStore::NowMs() const {
  if (nowMs_) return nowMs_();
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

void CReportStore::SetPath(const std::wstring& path) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (path == path_) return;
  journal_.Close();
  appendLock_.Close();
  ownerSlot_.reset();
  journalGen_ = -1;
  if (!unsaved_.empty()) Log("Store moved; records that never reached the old store dropped");
  unsaved_.clear();
  path_ = path;
}

std::wstring CReportStore::Path() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return path_;
}

void CReportStore::SetLimits(const Limits& limits) {
  std::lock_guard<std::mutex> guard(mutex_);
  limits_ = limits;
}

void CReportStore::SetClock(std::function<int64_t()> nowMs) {
  std::lock_guard<std::mutex> guard(mutex_);
  nowMs_ = std::move(nowMs);
}

void CReportStore::SetSnapshotReader(std::function<bool(const std::wstring&, std::string*)> read) {
  std::lock_guard<std::mutex> guard(mutex_);
  readSnapshot_ = std::move(read);
}

std::string CReportStore::OwnerId() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return ownerId_;
}

bool CReportStore::EnsureOpenLocked() {
  if (path_.empty()) return false;
  if (appendLock_.IsOpen()) return true;
  const std::wstring folder = FolderOf(path_);
  if (!folder.empty() && !platform::IsDirectory(folder)) FuntionImpl::CreateDirectoryTree(folder);
  const uint32_t error = appendLock_.Open(path_ + L".lock");
  if (error != platform::kErrSuccess) {
    Log("Store write failed, error " + std::to_string(error));
    return false;
  }
  if (!ownerSlot_) RegisterOwnerLocked();
  return true;
}

// Takes the first free owner slot and writes this process's id into it. It happens before this
// process appends its first record, so a compaction that sees the record also sees the owner.
bool CReportStore::RegisterOwnerLocked() {
  for (int slot = 0; slot < kOwnerSlots; ++slot) {
    auto lock = std::make_unique<platform::FileLock>();
    if (lock->Open(SlotPath(path_, slot)) != platform::kErrSuccess || !lock->TryLock()) continue;
    if (!lock->WriteContent(ownerId_)) continue;
    ownerSlot_ = std::move(lock);
    return true;
  }
  // Unregistered, this process's items look orphaned to others, who may send them as well.
  Log("Store has no free owner slot; other processes may send this process's items too");
  ownerSlot_ = std::make_unique<platform::FileLock>();
  return false;
}

bool CReportStore::ReadGenLocked(int64_t* gen) {
  std::string text;
  if (!appendLock_.ReadContent(&text, 64)) return false;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') {
      Log("Store lock file damaged, journal generation read as 0");
      value = 0;
      break;
    }
    value = value * 10 + (c - '0');
  }
  *gen = value;
  return true;
}

bool CReportStore::AppendLocked(const std::string& record) {
  std::string pending = unsaved_ + record;
  if (pending.size() > kMaxUnsavedBytes) {
    // The items are still queued in memory; only their stored copies are given up.
    Log("Store unwritable for long; " + std::to_string(unsaved_.size()) +
        " bytes of records given up");
    pending = record;
  }
  bool ok = EnsureOpenLocked() && appendLock_.Lock(kAppendLockWaitMs);
  if (!ok) {
    if (appendLock_.IsOpen()) Log("Store busy; the record waits in memory");
  } else {
    int64_t gen = 0;
    ok = ReadGenLocked(&gen);
    if (ok && (journalGen_ != gen || !journal_.IsOpen())) {
      const uint32_t error = journal_.Open(JournalPath(path_, gen));
      ok = error == platform::kErrSuccess;
      journalGen_ = ok ? gen : -1;
      if (!ok) Log("Store write failed, error " + std::to_string(error));
    }
    if (ok) {
      const uint32_t error = journal_.Append(pending);
      ok = error == platform::kErrSuccess;
      // Part of the bytes may be in the journal: the whole records go again with the next
      // append, and readers skip the torn copy (an id already stored is not added twice).
      if (!ok) Log("Store write failed, error " + std::to_string(error));
    }
    appendLock_.Unlock();
  }
  if (ok) {
    unsaved_.clear();
    ++appended_;
  } else {
    unsaved_ = std::move(pending);
  }
  return ok;
}

std::string CReportStore::NewId() {
  std::lock_guard<std::mutex> guard(mutex_);
  return ownerId_ + "-" + std::to_string(nextSeq_++);
}

bool CReportStore::Add(const std::string& key, const std::string& payload, std::string* id) {
  std::lock_guard<std::mutex> guard(mutex_);
  *id = ownerId_ + "-" + std::to_string(nextSeq_++);
  Json::Value body(Json::objectValue);
  body["op"] = "add";
  body["id"] = *id;
  body["owner"] = ownerId_;
  body["key"] = key;
  body["content"] = payload;
  body["time"] = static_cast<Json::Int64>(NowMs());
  try {
    return AppendLocked(EncodeRecord(body));
  } catch (const std::exception& ex) {
    Log(std::string("Store not written: ") + ex.what());
    return false;
  }
}

bool CReportStore::Remove(const std::string& id) {
  std::lock_guard<std::mutex> guard(mutex_);
  Json::Value body(Json::objectValue);
  body["op"] = "del";
  body["id"] = id;
  try {
    return AppendLocked(EncodeRecord(body));
  } catch (const std::exception& ex) {
    Log(std::string("Store not written: ") + ex.what());
    return false;
  }
}

bool CReportStore::Update(const std::string& key, const std::string& payload, int status) {
  if (status != kSent) {
    std::string id;
    return Add(key, payload, &id);
  }
  const std::vector<Entry> waiting = WaitingEntries();
  const Entry* match = nullptr;
  for (const Entry& entry : waiting) {
    if (entry.key != key) continue;
    if (entry.payload == payload) {
      match = &entry;
      break;
    }
    if (match == nullptr) match = &entry;
  }
  return match == nullptr || Remove(match->id);
}

bool CReportStore::LoadSnapshot(Model* model, bool keepAside) {
  std::wstring path;
  Limits limits;
  std::function<bool(const std::wstring&, std::string*)> read;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    path = path_;
    limits = limits_;
    read = readSnapshot_;
  }
  if (path.empty() || !platform::PathExists(path)) return true;
  const std::wstring aside = path + L".bad";
  const int64_t size = platform::FileSize(path);
  if (size > limits.maxSnapshotBytes) {
    Log("Store too large to read (" + std::to_string(size) + " bytes), kept aside as " +
        "tempga.wk.bad; starting afresh");
    if (!keepAside) return true;
    if (!platform::CopyOneFile(path, aside, false)) {
      Log("Store could not be kept aside, error " + std::to_string(platform::LastErrorCode()) +
          "; left as it is");
      return false;
    }
    return true;
  }
  std::string text;
  bool got = false;
  uint32_t error = 0;
  for (int attempt = 0; attempt < kReadAttempts && !got; ++attempt) {
    if (attempt > 0) platform::SleepMs(20u << attempt);
    got = read ? read(path, &text) : platform::ReadWholeFile(path, &text);
    if (!got) error = platform::LastErrorCode();
    // Gone in the meantime (replaced by another writer between the look and the read).
    if (!got && !platform::PathExists(path)) return true;
  }
  if (!got) {
    Log("Store unreadable, error " + std::to_string(error) + "; left as it is");
    return false;
  }

  Json::Value root;
  std::string errors;
  Json::Value items;
  bool damaged = false;
  if (ParseJson(text, &root, &errors) && root.isObject() &&
      (root["send_item"].isNull() || root["send_item"].isArray())) {
    items = root["send_item"].isArray() ? root["send_item"] : Json::Value(Json::arrayValue);
    model->storedCount = root["send_count"].isInt() ? root["send_count"].asInt() : 0;
    model->snapshotGen = root["journal_gen"].isInt64() ? root["journal_gen"].asInt64() : 0;
  } else {
    damaged = !text.empty();
    items = SalvageEntries(text);
  }
  int unusable = 0;
  for (Json::ArrayIndex i = 0; i < items.size(); ++i) {
    const Json::Value& item = items[i];
    if (!item.isObject() || !item["task_guid"].isString() ||
        !(item["task_content"].isString() || item["task_content"].isNull()) ||
        !(item["task_status"].isInt() || item["task_status"].isNull())) {
      ++unusable;
      continue;
    }
    StoredEntry entry;
    entry.key = item["task_guid"].asString();
    entry.payload = StringOf(item, "task_content");
    entry.status = item["task_status"].isInt() ? item["task_status"].asInt() : kWaiting;
    entry.owner = StringOf(item, "task_owner");
    // Entries from before "task_time" existed age from the first compaction that sees them.
    entry.time = item["task_time"].isInt64() ? item["task_time"].asInt64() : 0;
    // Entries of stores written before ids existed are told apart by their position.
    entry.id = StringOf(item, "task_id");
    if (entry.id.empty()) entry.id = "s" + std::to_string(i);
    if (model->index.count(entry.id)) entry.id += "#" + std::to_string(i);
    entry.raw = item;
    model->Add(std::move(entry));
  }
  model->snapshotEntries = model->entries.size();
  if (damaged || unusable > 0) {
    Log("Store damaged, " + std::to_string(model->entries.size()) + " entries read" +
        (unusable > 0 ? ", " + std::to_string(unusable) + " unusable skipped" : std::string()) +
        "; a copy is kept as tempga.wk.bad");
    if (keepAside && !platform::CopyOneFile(path, aside, false)) {
      Log("Store could not be kept aside, error " + std::to_string(platform::LastErrorCode()) +
          "; left as it is");
      return false;
    }
  }
  return true;
}

bool CReportStore::FoldJournals(Model* model, int64_t upTo) {
  std::wstring path;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    path = path_;
  }
  for (int64_t gen = FirstJournal(model->snapshotGen, upTo); gen <= upTo; ++gen) {
    const std::wstring journal = JournalPath(path, gen);
    std::string bytes;
    if (!platform::PathExists(journal)) continue;  // never written, or folded already
    bool got = false;
    for (int attempt = 0; attempt < kReadAttempts && !got; ++attempt) {
      if (attempt > 0) platform::SleepMs(20u << attempt);
      got = platform::ReadWholeFile(journal, &bytes);
    }
    if (!got) {
      Log("Store journal " + std::to_string(gen) + " unreadable, error " +
          std::to_string(platform::LastErrorCode()) + "; left as it is");
      return false;
    }
    const int damaged = DecodeJournal(bytes, [model](const Json::Value& body) {
      const std::string op = StringOf(body, "op");
      if (op == "add") {
        StoredEntry entry;
        entry.id = StringOf(body, "id");
        entry.key = StringOf(body, "key");
        entry.payload = StringOf(body, "content");
        entry.owner = StringOf(body, "owner");
        entry.time = body["time"].isInt64() ? body["time"].asInt64() : 0;
        model->Add(std::move(entry));
      } else if (op == "del") {
        model->Remove(StringOf(body, "id"));
      }
    });
    if (damaged > 0) {
      Log("Store journal " + std::to_string(gen) + ": " + std::to_string(damaged) +
          " damaged stretches skipped");
    }
  }
  return true;
}

std::vector<std::string> CReportStore::LiveOwners() {
  std::wstring path;
  std::vector<std::string> owners;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    path = path_;
    owners.push_back(ownerId_);
  }
  for (int slot = 0; slot < kOwnerSlots; ++slot) {
    const std::wstring slotPath = SlotPath(path, slot);
    if (!platform::PathExists(slotPath)) continue;
    platform::FileLock lock;
    if (lock.Open(slotPath) != platform::kErrSuccess) continue;
    if (lock.TryLock()) continue;  // nobody holds it: whoever wrote it is gone
    std::string id;
    if (lock.ReadContent(&id, 128)) owners.push_back(Trimmed(id));
  }
  return owners;
}

void CReportStore::ApplyBounds(Model* model) {
  Limits limits;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    limits = limits_;
  }
  const int64_t now = NowMs();
  const int64_t cutoff = now - limits.maxAgeMs;
  int byAge = 0;
  int byCount = 0;
  int bySize = 0;
  size_t active = 0;
  int64_t bytes = 0;
  for (StoredEntry& entry : model->entries) {
    if (entry.removed) continue;
    if (entry.time <= 0) entry.time = now;
    if (entry.time < cutoff) {
      entry.removed = true;
      ++byAge;
      continue;
    }
    ++active;
    bytes += static_cast<int64_t>(entry.key.size() + entry.payload.size());
  }
  // The entries are in the order they were stored: the first are the oldest.
  for (StoredEntry& entry : model->entries) {
    if (active <= limits.maxItems && bytes <= limits.maxBytes) break;
    if (entry.removed) continue;
    entry.removed = true;
    if (active > limits.maxItems) {
      ++byCount;
    } else {
      ++bySize;
    }
    --active;
    bytes -= static_cast<int64_t>(entry.key.size() + entry.payload.size());
  }
  const int dropped = byAge + byCount + bySize;
  if (dropped > 0) {
    Log("Store over its bounds, dropped " + std::to_string(dropped) + " oldest items (" +
        std::to_string(byAge) + " older than " + std::to_string(limits.maxAgeMs / 86400000) +
        " days, " + std::to_string(byCount) + " beyond " + std::to_string(limits.maxItems) +
        " items, " + std::to_string(bySize) + " beyond " + std::to_string(limits.maxBytes) +
        " bytes)");
  }
}

bool CReportStore::WriteSnapshot(const Model& model) {
  std::wstring path;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    path = path_;
  }
  Json::Value items(Json::arrayValue);
  for (const StoredEntry& entry : model.entries) {
    if (entry.removed) continue;
    Json::Value item = entry.raw.isObject() ? entry.raw : Json::Value(Json::objectValue);
    item["task_guid"] = entry.key;
    item["task_status"] = entry.status;
    item["task_content"] = entry.payload;
    item["task_id"] = entry.id;
    item["task_owner"] = entry.owner;
    item["task_time"] = static_cast<Json::Int64>(entry.time);
    items.append(item);
  }
  Json::Value root(Json::objectValue);
  root["send_count"] = static_cast<int>(items.size());
  root["send_item"] = items;
  root["journal_gen"] = static_cast<Json::Int64>(model.snapshotGen);
  std::string text;
  try {
    text = CompactJson(root);
  } catch (const std::exception& ex) {
    Log(std::string("Store not written: ") + ex.what());
    return false;
  }
  if (!platform::WriteFileAtomically(path, text)) {
    Log("Store write failed, error " + std::to_string(platform::LastErrorCode()));
    return false;
  }
  return true;
}

CReportStore::ReplayList CReportStore::Compact() {
  ReplayList list;
  std::lock_guard<std::mutex> compactGuard(compactMutex_);
  lastAttemptTick_ = platform::TickCount();
  compactFailed_ = true;  // until this one succeeds
  std::wstring path;
  std::string me;
  int64_t frozen = 0;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    path = path_;
    me = ownerId_;
    if (!EnsureOpenLocked()) return list;
  }
  if (compactLock_.Open(path + L".compact") != platform::kErrSuccess ||
      !compactLock_.Lock(kCompactLockWaitMs)) {
    Log("Store busy: another process keeps it locked; compaction later");
    compactLock_.Close();
    return list;
  }
  {
    // New records go to the next journal from here on; the current one is folded below.
    std::lock_guard<std::mutex> guard(mutex_);
    bool ok = appendLock_.Lock(kAppendLockWaitMs) && ReadGenLocked(&frozen);
    if (ok) {
      char gen[32];
      std::snprintf(gen, sizeof(gen), "%0*lld", kGenWidth, static_cast<long long>(frozen + 1));
      ok = appendLock_.WriteContent(gen);
    }
    appendLock_.Unlock();
    if (!ok) {
      Log("Store lock file unusable; compaction later");
      compactLock_.Close();
      return list;
    }
  }
  try {
    Model model;
    if (!LoadSnapshot(&model, true)) {
      compactLock_.Close();
      return list;
    }
    const int64_t firstGen = model.snapshotGen;
    if (!FoldJournals(&model, frozen)) {
      compactLock_.Close();
      return list;
    }
    const size_t folded = model.Active();
    ApplyBounds(&model);

    const std::vector<std::string> live = LiveOwners();
    std::vector<Entry> claimed;
    for (StoredEntry& entry : model.entries) {
      if (entry.removed || entry.status == kSent) continue;
      ++list.pending;
      if (std::find(live.begin(), live.end(), entry.owner) != live.end()) continue;
      // Too short to be an item (a key has 16 characters of prefix and time alone).
      if (entry.key.size() < 20 || entry.payload.size() < 20) continue;
      entry.owner = me;
      claimed.push_back(Entry{entry.id, entry.key, entry.payload});
    }
    list.sendCount = model.storedCount + static_cast<int>(folded) -
                     static_cast<int>(model.snapshotEntries);
    model.snapshotGen = frozen + 1;
    if (!WriteSnapshot(model)) {
      compactLock_.Close();
      return list;  // nothing claimed: the ownership could not be recorded
    }
    list.items = std::move(claimed);
    list.read = true;
    // Folded journals go oldest first, so a later journal's removals outlive earlier additions.
    for (int64_t gen = FirstJournal(firstGen, frozen); gen <= frozen; ++gen) {
      if (platform::PathExists(JournalPath(path, gen))) platform::RemoveFile(JournalPath(path, gen));
    }
    lastCount_ = model.Active();
    appended_ = 0;
    compactFailed_ = false;
  } catch (const std::exception& ex) {
    Log(std::string("Store compaction failed: ") + ex.what());
  }
  compactLock_.Close();
  return list;
}

bool CReportStore::CompactionDue() const {
  size_t after = 0;
  size_t maxItems = 0;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (path_.empty()) return false;
    after = limits_.compactAfterRecords;
    maxItems = limits_.maxItems;
  }
  if (compactFailed_) return platform::TickCount() - lastAttemptTick_ >= kCompactRetryMs;
  return appended_ >= after || lastCount_ + appended_ > maxItems;
}

int CReportStore::CountEntries() {
  std::lock_guard<std::mutex> compactGuard(compactMutex_);
  Model model;
  if (!LoadSnapshot(&model, false)) return 0;
  int64_t gen = 0;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!EnsureOpenLocked() || !appendLock_.Lock(kAppendLockWaitMs)) return -1;
    const bool ok = ReadGenLocked(&gen);
    appendLock_.Unlock();
    if (!ok) return -1;
  }
  if (!FoldJournals(&model, gen)) return -1;
  return static_cast<int>(model.Active());
}

std::vector<CReportStore::Entry> CReportStore::WaitingEntries() {
  std::vector<Entry> waiting;
  std::lock_guard<std::mutex> compactGuard(compactMutex_);
  Model model;
  if (!LoadSnapshot(&model, false)) return waiting;
  int64_t gen = 0;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!EnsureOpenLocked() || !appendLock_.Lock(kAppendLockWaitMs)) return waiting;
    const bool ok = ReadGenLocked(&gen);
    appendLock_.Unlock();
    if (!ok) return waiting;
  }
  if (!FoldJournals(&model, gen)) return waiting;
  for (const StoredEntry& entry : model.entries) {
    if (!entry.removed && entry.status != kSent) {
      waiting.push_back(Entry{entry.id, entry.key, entry.payload});
    }
  }
  return waiting;
}

}  // namespace reportsdk
