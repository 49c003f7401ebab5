#include "report_sdk/report_store.h"

#include <exception>

#include "platform/files.h"
#include "report_sdk/report_format.h"
#include "system/storage.h"

namespace reportsdk {
namespace {

std::string StringMember(const Json::Value& entry, const char* name) {
  const Json::Value& value = entry[name];
  return value.isString() ? value.asString() : std::string();
}

int StatusOf(const Json::Value& entry) {
  const Json::Value& value = entry["task_status"];
  return value.isInt() ? value.asInt() : CReportStore::kWaiting;
}

// How many leading entries the store claims; a missing, damaged or impossible count means every
// entry, so nothing that is in the file is ignored.
Json::ArrayIndex CountOf(const Json::Value& root, const Json::Value& items) {
  const Json::Value& count = root["send_count"];
  if (count.isInt() && count.asInt() >= 0 &&
      static_cast<Json::ArrayIndex>(count.asInt()) <= items.size()) {
    return static_cast<Json::ArrayIndex>(count.asInt());
  }
  return items.size();
}

std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

CReportStore::CReportStore(LogFn log) : log_(std::move(log)) {}

void CReportStore::SetPath(const std::wstring& path) {
  std::lock_guard<std::mutex> guard(mutex_);
  path_ = path;
}

std::wstring CReportStore::Path() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return path_;
}

Json::Value CReportStore::ReadLocked() {
  Json::Value empty(Json::objectValue);
  if (path_.empty() || !platform::PathExists(path_)) return empty;
  const int64_t size = platform::FileSize(path_);
  std::string text;
  if (size > kMaxStoreBytes) {
    if (log_)
      log_("Store too large to read (" + std::to_string(size) + " bytes), reading as empty");
  } else if (!platform::ReadWholeFile(path_, &text)) {
    if (log_) log_("Store unreadable, error " + std::to_string(platform::LastErrorCode()));
    return empty;
  } else {
    Json::Value root;
    std::string errors;
    if (ParseJson(text, &root, &errors) && root.isObject()) {
      const Json::Value& items = root["send_item"];
      if (items.isNull() || items.isArray()) return root;
    }
    if (log_) log_("Store damaged, reading as empty");
  }
  // Keep the damaged file for inspection before the next write replaces it.
  platform::CopyOneFile(path_, path_ + L".bad", false);
  return empty;
}

bool CReportStore::WriteLocked(const Json::Value& root) {
  if (path_.empty()) return false;
  const std::wstring folder = FolderOf(path_);
  if (!folder.empty() && !platform::IsDirectory(folder)) FuntionImpl::CreateDirectoryTree(folder);
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  std::string text;
  try {
    text = Json::writeString(builder, root);
  } catch (const std::exception& ex) {
    if (log_) log_(std::string("Store not written: ") + ex.what());
    return false;
  }
  if (!platform::WriteFileAtomically(path_, text)) {
    if (log_) log_("Store write failed, error " + std::to_string(platform::LastErrorCode()));
    return false;
  }
  return true;
}

bool CReportStore::Update(const std::string& key, const std::string& payload, int status) {
  std::lock_guard<std::mutex> guard(mutex_);
  try {
    Json::Value root = ReadLocked();
    Json::Value items =
        root["send_item"].isArray() ? root["send_item"] : Json::Value(Json::arrayValue);
    const Json::ArrayIndex count = CountOf(root, items);
    for (Json::ArrayIndex i = 0; i < count; ++i) {
      Json::Value& entry = items[i];
      if (!entry.isObject() || StringMember(entry, "task_guid") != key) continue;
      if (status == kSent) {
        Json::Value removed;
        items.removeIndex(i, &removed);
      } else {
        entry["task_status"] = status;
        entry["task_content"] = payload;
      }
      root["send_item"] = items;
      root["send_count"] = static_cast<int>(items.size());
      return WriteLocked(root);
    }
    if (status == kSent) return true;  // nothing stored under this key: nothing to change
    Json::Value entry(Json::objectValue);
    entry["task_guid"] = key;
    entry["task_status"] = status;
    entry["task_content"] = payload;
    items.append(entry);
    root["send_item"] = items;
    root["send_count"] = static_cast<int>(items.size());
    return WriteLocked(root);
  } catch (const std::exception& ex) {
    if (log_) log_(std::string("Store update failed: ") + ex.what());
    return false;
  }
}

CReportStore::ReplayList CReportStore::ReadForReplay() {
  ReplayList list;
  std::lock_guard<std::mutex> guard(mutex_);
  try {
    const Json::Value root = ReadLocked();
    const Json::Value& items = root["send_item"];
    if (!items.isArray()) return list;
    const Json::ArrayIndex count = CountOf(root, items);
    list.sendCount =
        root["send_count"].isInt() ? root["send_count"].asInt() : static_cast<int>(count);
    for (Json::ArrayIndex i = 0; i < count; ++i) {
      const Json::Value& entry = items[i];
      if (!entry.isObject() || StatusOf(entry) == kSent) continue;
      ++list.pending;
      Entry item{StringMember(entry, "task_guid"), StringMember(entry, "task_content")};
      if (item.key.size() >= 20 && item.payload.size() >= 20) list.items.push_back(item);
    }
  } catch (const std::exception& ex) {
    if (log_) log_(std::string("Store replay failed: ") + ex.what());
  }
  return list;
}

int CReportStore::CountEntries() {
  std::lock_guard<std::mutex> guard(mutex_);
  const Json::Value root = ReadLocked();
  return root["send_item"].isArray() ? static_cast<int>(root["send_item"].size()) : 0;
}

}  // namespace reportsdk
