#include "report_sdk/sdk_log.h"

#include <exception>
#include <filesystem>

#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text.h"
#include "report_sdk/report_format.h"

namespace reportsdk {

CSdkLog::CSdkLog(std::function<platform::LocalTime()> now) : now_(std::move(now)) {}

CSdkLog::~CSdkLog() {
  Close();
}

bool CSdkLog::Open(const std::wstring& path) {
  std::lock_guard<std::mutex> guard(mutex_);
  file_.reset();
  try {
    // The UTF-8 form of the path opens the same file on both systems (wide on Windows).
    const std::filesystem::path native =
        std::filesystem::u8path(platform::WideToUtf8(platform::NativePath(path)));
    auto file = std::make_unique<std::ofstream>(native, std::ios::binary | std::ios::app);
    if (!file->is_open()) return false;
    file_ = std::move(file);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void CSdkLog::Close() {
  std::lock_guard<std::mutex> guard(mutex_);
  file_.reset();
}

bool CSdkLog::IsOpen() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return file_ != nullptr;
}

void CSdkLog::Write(const std::string& message) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (!file_) return;
  try {
    const std::string line = SdkLogLine(now_ ? now_() : platform::GetLocalTimeNow(),
                                        platform::CurrentProcessId(), message);
    file_->write(line.data(), static_cast<std::streamsize>(line.size()));
    file_->flush();
    if (!*file_) file_->clear();  // a full disk loses this line, not the ones after it
  } catch (const std::exception&) {
  }
}

}  // namespace reportsdk
