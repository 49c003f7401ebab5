// The log archive upload of the "-dmp " and "-close" runs: copies an earlier log of this
// installer, packs the copy (and optionally one more file) into a deflate ZIP in the log folder,
// posts it as a multipart form to the log-upload endpoint and deletes the archive and the copy
// once the server accepted it (an upload that fails leaves both for inspection).
// Thread-safe: every call works on its own files; start-up runs it once on the main thread.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"

namespace analytics {

// The multipart upload (CLibcurlTool::UploadLogFile): file path (ANSI), upload file name, product
// id, version, catalogue. 0 when the server answered 200.
using LogUploadFn = std::function<int(const std::string& filePath, const std::string& uploadName,
                                      const std::string& productId, const std::string& version,
                                      const std::string& catalogue)>;

constexpr const char* kLogUploadProductId = "RERidavaza2900";

struct LogUploadNames {
  std::wstring log;        // folder + log name
  std::wstring copy;       // folder + log name + "_copy.log"
  std::wstring archive;    // folder + "yyyyMMddHHmmssfff.zip"
  std::string uploadName;  // "<log name before its first _>_yyyyMMddHHmmssfff.zip", or ""
};

// folder ends with "\".
LogUploadNames MakeLogUploadNames(const std::wstring& folder, const std::wstring& logName,
                                  const platform::LocalTime& now);
// The report type, or "default" when it is empty.
std::string UploadCatalogue(const std::string& reportType);
// A log name must name a file inside the log folder: not empty, no folder parts.
bool IsPlainFileName(const std::wstring& name);

// ZIP bytes (deflate) of the (entry name, content) pairs; false when libzip fails or there is
// no entry (an archive without entries is not written).
bool BuildZip(const std::vector<std::pair<std::string, const std::string*>>& entries,
              std::string* bytes);

// Result of an upload run that found nothing to pack (no readable log, no extra file): no
// archive was made and nothing was sent, which is neither "created" (0) nor a failure to
// create one (-1).
constexpr int kLogUploadNothingToArchive = -2;

// The whole upload with every input given. 0 when the archive was created (whatever the
// upload's outcome), -1 when it could not be, kLogUploadNothingToArchive when there was
// nothing to put in it.
int UploadLogArchive(const std::wstring& logFolder, const std::wstring& logName,
                     const std::string& reportType, const std::wstring& extraFile,
                     const std::string& version, const platform::LocalTime& now,
                     const LogUploadFn& upload);

// The live form: the log folder of the event log, the executable's version, the local time.
int UploadLogArchive(const std::wstring& logName, const std::string& reportType,
                     const std::wstring& extraFile, const LogUploadFn& upload);

}  // namespace analytics
