#include <windows.h>
#include <winioctl.h>

#include <cstddef>

#include "platform/drives.h"

namespace platform {
namespace {

// "\\?\X:" for the letter of a root; empty when the root has no letter.
std::wstring DevicePathOf(const std::wstring& root) {
  if (root.empty()) return std::wstring();
  wchar_t letter = root[0];
  bool isLetter = (letter >= L'A' && letter <= L'Z') || (letter >= L'a' && letter <= L'z');
  if (!isLetter) return std::wstring();
  std::wstring device = L"\\\\?\\*:";
  device[4] = letter;
  return device;
}

class DeviceHandle {
 public:
  explicit DeviceHandle(HANDLE h) : h_(h) {}
  ~DeviceHandle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  DeviceHandle(const DeviceHandle&) = delete;
  DeviceHandle& operator=(const DeviceHandle&) = delete;
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

}  // namespace

std::vector<std::wstring> ListDriveRoots() {
  std::vector<std::wstring> roots;
  DWORD needed = GetLogicalDriveStringsW(0, nullptr);
  if (needed == 0) return roots;
  std::vector<wchar_t> buf(needed + 1, L'\0');
  DWORD got = GetLogicalDriveStringsW(static_cast<DWORD>(buf.size()), buf.data());
  if (got == 0 || got > buf.size()) return roots;
  const wchar_t* p = buf.data();
  while (*p) {
    std::wstring root(p);
    roots.push_back(root);
    p += root.size() + 1;
  }
  return roots;
}

uint32_t GetDriveKind(const std::wstring& root) {
  return GetDriveTypeW(root.c_str());
}

uint32_t QueryStorageBusType(const std::wstring& root) {
  std::wstring device = DevicePathOf(root);
  if (device.empty()) return kBusUnknown;
  DeviceHandle h(CreateFileW(device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr));
  if (!h.valid()) return kBusUnknown;
  STORAGE_PROPERTY_QUERY query = {};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  // The descriptor is followed by vendor strings; a generous buffer takes them all.
  alignas(STORAGE_DEVICE_DESCRIPTOR) unsigned char buf[1024] = {};
  DWORD returned = 0;
  if (!DeviceIoControl(h.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), buf,
                       sizeof(buf), &returned, nullptr) ||
      returned < offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof(STORAGE_BUS_TYPE)) {
    return kBusUnknown;
  }
  const auto* desc = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(buf);
  return static_cast<uint32_t>(desc->BusType);
}

bool QuerySeekPenalty(const std::wstring& root, bool* seekPenalty) {
  *seekPenalty = false;
  std::wstring device = DevicePathOf(root);
  if (device.empty()) return false;
  // No access rights: a property query needs none, and it works without elevation.
  DeviceHandle h(CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr));
  if (!h.valid()) return false;
  STORAGE_PROPERTY_QUERY query = {};
  query.PropertyId = StorageDeviceSeekPenaltyProperty;
  query.QueryType = PropertyStandardQuery;
  DEVICE_SEEK_PENALTY_DESCRIPTOR answer = {};
  DWORD returned = 0;
  if (!DeviceIoControl(h.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), &answer,
                       sizeof(answer), &returned, nullptr) ||
      returned < sizeof(answer)) {
    return false;
  }
  *seekPenalty = answer.IncursSeekPenalty != FALSE;
  return true;
}

bool GetFreeBytesAvailable(const std::wstring& path, uint64_t* freeBytes) {
  *freeBytes = 0;
  ULARGE_INTEGER available = {};
  if (!GetDiskFreeSpaceExW(path.c_str(), &available, nullptr, nullptr)) return false;
  *freeBytes = available.QuadPart;
  return true;
}

std::wstring DriveRootOf(const std::wstring& path) {
  return path.substr(0, 3);
}

}  // namespace platform
