#include <easylogging++.h>
#include <windows.h>

#include "platform/registry.h"

namespace platform {
namespace {

HKEY RootKey(RegistryRoot root) {
  return root == RegistryRoot::kCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

// Owns an open key for the length of one call.
class KeyHandle {
 public:
  KeyHandle() = default;
  ~KeyHandle() {
    if (key_) RegCloseKey(key_);
  }
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// Reads the raw value; *type receives its registry type. Read access is enough for every query,
// so an unelevated run still sees what it may read.
bool QueryRaw(RegistryRoot root, const std::wstring& keyPath, const std::wstring& valueName,
              DWORD* type, std::vector<wchar_t>* data, size_t maxChars) {
  KeyHandle key;
  LONG rc = RegOpenKeyExW(RootKey(root), keyPath.c_str(), 0, KEY_QUERY_VALUE, key.out());
  if (rc != ERROR_SUCCESS) return false;
  DWORD bytes = 0;
  rc = RegQueryValueExW(key.get(), valueName.c_str(), nullptr, type, nullptr, &bytes);
  if (rc != ERROR_SUCCESS) return false;
  size_t chars = bytes / sizeof(wchar_t);
  if (chars > maxChars + 1) return false;  // too long for the caller's limit (+1 for the NUL)
  // Two spare characters: a value stored without its terminator still ends up terminated.
  data->assign(chars + 2, L'\0');
  bytes = static_cast<DWORD>(chars * sizeof(wchar_t));
  rc = RegQueryValueExW(key.get(), valueName.c_str(), nullptr, type,
                        reinterpret_cast<BYTE*>(data->data()), &bytes);
  if (rc != ERROR_SUCCESS) return false;
  data->resize(bytes / sizeof(wchar_t));
  return true;
}

}  // namespace

bool ReadRegistryString(RegistryRoot root, const std::wstring& keyPath,
                        const std::wstring& valueName, size_t maxChars, std::wstring* value) {
  value->clear();
  DWORD type = 0;
  std::vector<wchar_t> data;
  if (!QueryRaw(root, keyPath, valueName, &type, &data, maxChars)) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  std::wstring text(data.begin(), data.end());
  size_t nul = text.find(L'\0');
  if (nul != std::wstring::npos) text.resize(nul);
  if (text.size() > maxChars) return false;
  *value = text;
  return true;
}

bool ReadRegistryMultiString(RegistryRoot root, const std::wstring& keyPath,
                             const std::wstring& valueName, std::vector<std::wstring>* values) {
  values->clear();
  DWORD type = 0;
  std::vector<wchar_t> data;
  // Pending-rename lists can be long; allow a few megabytes of text.
  if (!QueryRaw(root, keyPath, valueName, &type, &data, 4u * 1024u * 1024u)) return false;
  if (type != REG_MULTI_SZ) return false;
  std::wstring current;
  for (wchar_t c : data) {
    if (c == L'\0') {
      if (current.empty()) break;  // the empty string ends the list
      values->push_back(current);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) values->push_back(current);
  return true;
}

bool WriteRegistryString(RegistryRoot root, const std::wstring& keyPath,
                         const std::wstring& valueName, const std::wstring& text) {
  KeyHandle key;
  LONG rc = RegCreateKeyExW(RootKey(root), keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            key.out(), nullptr);
  if (rc != ERROR_SUCCESS) {
    LOG(INFO) << " RegCreateKeyEx failed:" << rc;
    return false;
  }
  // The terminating NUL is stored too, so readers that trust the stored size get a proper string.
  DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  rc = RegSetValueExW(key.get(), valueName.c_str(), 0, REG_SZ,
                      reinterpret_cast<const BYTE*>(text.c_str()), bytes);
  if (rc != ERROR_SUCCESS) {
    LOG(INFO) << " RegSetValueEx failed:" << rc;
    return false;
  }
  return true;
}

bool WriteRegistryMultiString(RegistryRoot root, const std::wstring& keyPath,
                              const std::wstring& valueName,
                              const std::vector<std::wstring>& values) {
  std::wstring block;
  for (const std::wstring& v : values) {
    if (v.empty() || v.find(L'\0') != std::wstring::npos) return false;
    block += v;
    block.push_back(L'\0');
  }
  block.push_back(L'\0');
  KeyHandle key;
  LONG rc = RegCreateKeyExW(RootKey(root), keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            key.out(), nullptr);
  if (rc != ERROR_SUCCESS) return false;
  rc = RegSetValueExW(key.get(), valueName.c_str(), 0, REG_MULTI_SZ,
                      reinterpret_cast<const BYTE*>(block.data()),
                      static_cast<DWORD>(block.size() * sizeof(wchar_t)));
  return rc == ERROR_SUCCESS;
}

bool RegistryKeyExists(RegistryRoot root, const std::wstring& keyPath) {
  KeyHandle key;
  return RegOpenKeyExW(RootKey(root), keyPath.c_str(), 0, KEY_READ, key.out()) == ERROR_SUCCESS;
}

}  // namespace platform
