#include <windows.h>

#include <vector>

#include "platform/files.h"
#include "platform/held_file.h"
#include "platform/md5.h"

namespace platform {

HeldFile::~HeldFile() { Release(); }

uint32_t HeldFile::Hold(const std::wstring& path) {
  Release();
  // Read sharing only: while this handle is open nobody may write, delete or rename the file,
  // and the open fails when someone already holds it for writing.
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ::GetLastError();
  if (::GetFileType(file) != FILE_TYPE_DISK) {
    ::CloseHandle(file);
    return kErrAccessDenied;
  }
  handle_ = reinterpret_cast<intptr_t>(file);
  path_ = path;
  size_ = Size();
  return kErrSuccess;
}

int64_t HeldFile::Size() const {
  LARGE_INTEGER size;
  if (handle_ == -1 || !::GetFileSizeEx(reinterpret_cast<HANDLE>(handle_), &size)) return -1;
  return static_cast<int64_t>(size.QuadPart);
}

bool HeldFile::Md5Hex(std::string* hex) {
  hex->clear();
  if (handle_ == -1) return false;
  HANDLE file = reinterpret_cast<HANDLE>(handle_);
  LARGE_INTEGER start = {};
  if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;
  Md5 md5;
  std::vector<char> chunk(1u << 20);
  bool ok = md5.ok();
  while (ok) {
    DWORD n = 0;
    if (!::ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &n, nullptr)) {
      ok = false;
      break;
    }
    if (n == 0) break;
    ok = md5.Update(chunk.data(), n);
  }
  uint8_t digest[16];
  if (!ok || !md5.Finish(digest)) return false;
  *hex = DigestToHex(digest);
  return true;
}

bool HeldFile::Unchanged() const { return handle_ != -1 && Size() == size_; }

void HeldFile::Release() {
  if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = -1;
  path_.clear();
  size_ = -1;
}

}  // namespace platform
