#include "analytics/log_upload.h"

#include <easylogging++.h>
#include <zip.h>

#include <cstdio>

#include "analytics/single_user_log.h"
#include "analytics/tools_version.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace analytics {
namespace {

// A log beyond this is not packed: the whole file is read into memory to build the archive.
constexpr int64_t kMaxArchivedFile = 256ll << 20;

std::string TimeText(const platform::LocalTime& t) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.4d%.2d%.2d%.2d%.2d%.2d%.3d", t.year, t.month, t.day, t.hour,
                t.minute, t.second, t.millisecond);
  return text;
}

std::wstring FileNameOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool ReadForArchive(const std::wstring& path, std::string* bytes) {
  const int64_t size = platform::FileSize(path);
  if (size < 0 || size > kMaxArchivedFile) {
    LOG(INFO) << " Not archived (size " << size << "): " << platform::WideToUtf8(path);
    return false;
  }
  if (!platform::ReadWholeFile(path, bytes)) {
    LOG(INFO) << " Not archived, unreadable (error " << platform::LastErrorCode()
              << "): " << platform::WideToUtf8(path);
    return false;
  }
  return true;
}

}  // namespace

LogUploadNames MakeLogUploadNames(const std::wstring& folder, const std::wstring& logName,
                                  const platform::LocalTime& now) {
  LogUploadNames names;
  const std::string time = TimeText(now);
  names.log = folder + logName;
  names.copy = folder + logName + L"_copy.log";
  names.archive = folder + platform::Utf8ToWide(time) + L".zip";
  const size_t underscore = logName.find(L'_');
  if (underscore != std::wstring::npos) {
    names.uploadName = platform::WideToUtf8(logName.substr(0, underscore)) + "_" + time + ".zip";
  }
  return names;
}

std::string UploadCatalogue(const std::string& reportType) {
  return reportType.empty() ? "default" : reportType;
}

bool IsPlainFileName(const std::wstring& name) {
  if (name.empty() || name == L"." || name == L"..") return false;
  return name.find_first_of(L"\\/:") == std::wstring::npos;
}

bool BuildZip(const std::vector<std::pair<std::string, const std::string*>>& entries,
              std::string* bytes) {
  bytes->clear();
  if (entries.empty()) return false;
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
  if (buffer == nullptr) return false;
  zip_source_keep(buffer);
  zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
  bool ok = archive != nullptr;
  for (size_t i = 0; ok && i < entries.size(); ++i) {
    const std::string& data = *entries[i].second;
    zip_source_t* source = zip_source_buffer(archive, data.data(), data.size(), 0);
    const zip_int64_t index = source ? zip_file_add(archive, entries[i].first.c_str(), source,
                                                    ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE)
                                     : -1;
    if (index < 0) {
      if (source) zip_source_free(source);
      ok = false;
      break;
    }
    ok =
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 0) == 0;
  }
  if (archive != nullptr) {
    if (ok) {
      ok = zip_close(archive) == 0;
      if (!ok) zip_discard(archive);
    } else {
      zip_discard(archive);
    }
  }
  if (ok && zip_source_open(buffer) == 0) {
    zip_source_seek(buffer, 0, SEEK_END);
    const zip_int64_t size = zip_source_tell(buffer);
    zip_source_seek(buffer, 0, SEEK_SET);
    if (size > 0) {
      bytes->resize(static_cast<size_t>(size));
      ok = zip_source_read(buffer, &(*bytes)[0], bytes->size()) == size;
    } else {
      ok = false;
    }
    zip_source_close(buffer);
  } else {
    ok = false;
  }
  zip_source_free(buffer);
  zip_error_fini(&error);
  if (!ok) bytes->clear();
  return ok;
}

int UploadLogArchive(const std::wstring& logFolder, const std::wstring& logName,
                     const std::string& reportType, const std::wstring& extraFile,
                     const std::string& version, const platform::LocalTime& now,
                     const LogUploadFn& upload) {
  if (logFolder.empty()) {
    LOG(INFO) << " Log upload: no log folder for this run";
    return -1;
  }
  if (!IsPlainFileName(logName)) {
    LOG(INFO) << " Log upload: refused log name " << platform::WideToUtf8(logName);
    return -1;
  }
  const LogUploadNames names = MakeLogUploadNames(logFolder + L"\\", logName, now);
  const bool copied = platform::CopyOneFile(names.log, names.copy, false);
  if (!copied) {
    LOG(INFO) << " Log upload: cannot copy the log (error " << platform::LastErrorCode()
              << "): " << platform::WideToUtf8(names.log);
    // A half-written copy, or an older run's copy of the same name, must not go out as this log.
    platform::RemoveFile(names.copy);
  }

  std::string copyBytes;
  std::string extraBytes;
  std::vector<std::pair<std::string, const std::string*>> entries;
  if (copied && ReadForArchive(names.copy, &copyBytes)) {
    entries.emplace_back(platform::WideToUtf8(logName), &copyBytes);
  }
  if (!extraFile.empty() && platform::PathExists(extraFile) &&
      ReadForArchive(extraFile, &extraBytes)) {
    entries.emplace_back(platform::WideToUtf8(FileNameOf(extraFile)), &extraBytes);
  }
  std::string archive;
  if (entries.empty()) {
    // An archive with nothing in it is never written, so there is nothing to upload.
    LOG(INFO) << " Log upload: nothing to archive for " << platform::WideToUtf8(logName);
    platform::RemoveFile(names.copy);
    return kLogUploadNothingToArchive;
  }
  if (!BuildZip(entries, &archive)) {
    LOG(INFO) << " Log upload: no archive could be made (" << entries.size() << " entries)";
    platform::RemoveFile(names.copy);
    return -1;
  }
  copyBytes.clear();
  extraBytes.clear();
  if (!platform::WriteFileAtomically(names.archive, archive)) {
    LOG(INFO) << " Log upload: archive not written (error " << platform::LastErrorCode()
              << "): " << platform::WideToUtf8(names.archive);
    platform::RemoveFile(names.copy);
    return -1;
  }
  if (!platform::PathExists(names.archive)) return 0;

  const int result = upload ? upload(platform::NativePathBytes(names.archive), names.uploadName,
                                     kLogUploadProductId, version, UploadCatalogue(reportType))
                            : -3;
  LOG(INFO) << " Log upload of " << platform::WideToUtf8(logName) << " as "
            << (names.uploadName.empty() ? "(default name)" : names.uploadName) << ": " << result;
  if (result == 0) {
    platform::RemoveFile(names.archive);
    platform::RemoveFile(names.copy);
  }
  return 0;
}

int UploadLogArchive(const std::wstring& logName, const std::string& reportType,
                     const std::wstring& extraFile, const LogUploadFn& upload) {
  return UploadLogArchive(CSingleUserLog::GetInstance().GetLogFolder(), logName, reportType,
                          extraFile, OwnToolsVersion(), platform::GetLocalTimeNow(), upload);
}

}  // namespace analytics
