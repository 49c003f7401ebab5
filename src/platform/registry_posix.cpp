#include <easylogging++.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/text.h"

// Store file layout (UTF-8 text):
//   [KEY\PATH]
//   name=sz:text
//   name=multi:first|second
// '%', '=', '[', ']', '|', CR, LF and NUL inside keys, names and data are written as %XX, so any
// text survives a round trip and a hand-edited file stays readable.
namespace platform {
namespace {

enum class ValueType { kString, kMulti };

struct StoreValue {
  std::string name;  // UTF-8, as first written
  ValueType type = ValueType::kString;
  std::vector<std::string> data;  // one element for kString
};

struct StoreKey {
  std::string path;  // normalised UTF-8 key path
  std::vector<StoreValue> values;
};

using Store = std::vector<StoreKey>;

std::string StorePath(RegistryRoot root) {
  if (root == RegistryRoot::kLocalMachine) {
    const char* env = std::getenv("KERFO_MACHINE_STORE");
    if (env && *env) return env;
    return "/var/lib/kerfo/machine-store.ini";
  }
  const char* env = std::getenv("KERFO_USER_STORE");
  if (env && *env) return env;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && *config) return std::string(config) + "/kerfo/user-store.ini";
  const char* home = std::getenv("HOME");
  if (home && *home) return std::string(home) + "/.config/kerfo/user-store.ini";
  return std::string();
}

// Registry names compare without regard to ASCII case.
bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string NormaliseKey(const std::wstring& keyPath) {
  std::string raw = WideToUtf8(keyPath);
  std::string out;
  for (char c : raw) {
    if (c == '/' || c == '\\') {
      if (!out.empty() && out.back() != '\\') out.push_back('\\');
    } else {
      out.push_back(c);
    }
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

std::string Escape(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '%' || c == '=' || c == '[' || c == ']' || c == '|' || c == '\r' || c == '\n' ||
        c == '\0') {
      out.push_back('%');
      out.push_back(kHex[u >> 4]);
      out.push_back(kHex[u & 15]);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
        HexDigit(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::vector<std::string> SplitBar(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    size_t bar = text.find('|', start);
    parts.push_back(Unescape(text.substr(start, bar - start)));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return parts;
}

void ParseStore(const std::string& bytes, const std::string& path, Store* store) {
  store->clear();
  StoreKey* current = nullptr;
  size_t pos = 0;
  int lineNo = 0;
  while (pos < bytes.size()) {
    size_t end = bytes.find('\n', pos);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      if (line.back() != ']') {
        LOG(INFO) << " Registry store: bad key line " << lineNo << " in " << path;
        current = nullptr;
        continue;
      }
      std::string key = Unescape(line.substr(1, line.size() - 2));
      store->push_back(StoreKey{key, {}});
      current = &store->back();
      continue;
    }
    size_t eq = line.find('=');
    if (!current || eq == std::string::npos) {
      LOG(INFO) << " Registry store: bad value line " << lineNo << " in " << path;
      continue;
    }
    StoreValue value;
    value.name = Unescape(line.substr(0, eq));
    std::string rest = line.substr(eq + 1);
    if (rest.compare(0, 3, "sz:") == 0) {
      value.type = ValueType::kString;
      value.data.push_back(Unescape(rest.substr(3)));
    } else if (rest.compare(0, 6, "multi:") == 0) {
      value.type = ValueType::kMulti;
      if (rest.size() > 6) value.data = SplitBar(rest.substr(6));
    } else {
      LOG(INFO) << " Registry store: unknown value type at line " << lineNo << " in " << path;
      continue;
    }
    current->values.push_back(value);
  }
}

std::string FormatStore(const Store& store) {
  std::string out = "; Registry-like value store. Written by the installer; safe to edit.\n";
  for (const StoreKey& key : store) {
    out += "[" + Escape(key.path) + "]\n";
    for (const StoreValue& v : key.values) {
      out += Escape(v.name) + "=";
      if (v.type == ValueType::kString) {
        out += "sz:" + Escape(v.data.empty() ? std::string() : v.data[0]);
      } else {
        out += "multi:";
        for (size_t i = 0; i < v.data.size(); ++i) {
          if (i) out += "|";
          out += Escape(v.data[i]);
        }
      }
      out += "\n";
    }
  }
  return out;
}

// Holds an flock on "<store>.lock" for the length of one call.
class StoreLock {
 public:
  StoreLock(const std::string& storePath, bool exclusive) {
    std::string lockPath = storePath + ".lock";
    fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0 && !exclusive) return;  // a reader in a read-only place goes on unlocked
    if (fd_ >= 0) {
      while (::flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0 && errno == EINTR) {
      }
    }
  }
  ~StoreLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

bool ReadStoreFile(const std::string& path, Store* store) {
  store->clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;  // no file yet: an empty store
  std::string bytes;
  char buf[8192];
  while (true) {
    ssize_t n = ::read(fd, buf, sizeof(buf));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      if (n < 0) return false;
      break;
    }
    bytes.append(buf, static_cast<size_t>(n));
  }
  ParseStore(bytes, path, store);
  return true;
}

bool MakeParents(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return true;
  std::string dir = path.substr(0, slash);
  for (size_t i = 1; i <= dir.size(); ++i) {
    if (i == dir.size() || dir[i] == '/') {
      std::string part = dir.substr(0, i);
      if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  return true;
}

bool WriteStoreFile(const std::string& path, const Store& store) {
  std::string bytes = FormatStore(store);
  std::string tmp = path + ".XXXXXX";
  std::vector<char> name(tmp.begin(), tmp.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0) return false;
  ::fchmod(fd, 0644);
  const char* data = bytes.data();
  size_t left = bytes.size();
  bool ok = true;
  while (left > 0) {
    ssize_t n = ::write(fd, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    data += n;
    left -= static_cast<size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  ::close(fd);
  if (ok && ::rename(name.data(), path.c_str()) != 0) ok = false;
  if (!ok) ::unlink(name.data());
  return ok;
}

StoreKey* FindKey(Store* store, const std::string& key) {
  for (StoreKey& k : *store) {
    if (SameName(k.path, key)) return &k;
  }
  return nullptr;
}

const StoreValue* FindValue(const Store& store, const std::string& key, const std::string& name) {
  for (const StoreKey& k : store) {
    if (!SameName(k.path, key)) continue;
    for (const StoreValue& v : k.values) {
      if (SameName(v.name, name)) return &v;
    }
  }
  return nullptr;
}

bool LoadForRead(RegistryRoot root, Store* store) {
  std::string path = StorePath(root);
  if (path.empty()) return false;
  StoreLock lock(path, false);
  return ReadStoreFile(path, store);
}

bool Modify(RegistryRoot root, const std::wstring& keyPath, const std::wstring& valueName,
            const StoreValue& newValue) {
  std::string path = StorePath(root);
  std::string key = NormaliseKey(keyPath);
  if (path.empty() || key.empty()) {
    LOG(INFO) << " Registry store: no store file or empty key";
    return false;
  }
  if (!MakeParents(path)) {
    LOG(INFO) << " Registry store: cannot create the folder of " << path << " errno " << errno;
    return false;
  }
  StoreLock lock(path, true);
  if (!lock.held()) {
    LOG(INFO) << " Registry store: cannot lock " << path << " errno " << errno;
    return false;
  }
  Store store;
  if (!ReadStoreFile(path, &store)) {
    LOG(INFO) << " Registry store: cannot read " << path << " errno " << errno;
    return false;
  }
  StoreKey* k = FindKey(&store, key);
  if (!k) {
    store.push_back(StoreKey{key, {}});
    k = &store.back();
  }
  std::string name = WideToUtf8(valueName);
  bool replaced = false;
  for (StoreValue& v : k->values) {
    if (SameName(v.name, name)) {
      v.type = newValue.type;
      v.data = newValue.data;
      replaced = true;
      break;
    }
  }
  if (!replaced) {
    StoreValue v = newValue;
    v.name = name;
    k->values.push_back(v);
  }
  if (!WriteStoreFile(path, store)) {
    LOG(INFO) << " Registry store: cannot write " << path << " errno " << errno;
    return false;
  }
  return true;
}

}  // namespace

bool ReadRegistryString(RegistryRoot root, const std::wstring& keyPath,
                        const std::wstring& valueName, size_t maxChars, std::wstring* value) {
  value->clear();
  Store store;
  if (!LoadForRead(root, &store)) return false;
  const StoreValue* v = FindValue(store, NormaliseKey(keyPath), WideToUtf8(valueName));
  if (!v || v->type != ValueType::kString || v->data.empty()) return false;
  std::wstring text = Utf8ToWide(v->data[0]);
  size_t nul = text.find(L'\0');
  if (nul != std::wstring::npos) text.resize(nul);
  if (text.size() > maxChars) return false;
  *value = text;
  return true;
}

bool ReadRegistryMultiString(RegistryRoot root, const std::wstring& keyPath,
                             const std::wstring& valueName, std::vector<std::wstring>* values) {
  values->clear();
  Store store;
  if (!LoadForRead(root, &store)) return false;
  const StoreValue* v = FindValue(store, NormaliseKey(keyPath), WideToUtf8(valueName));
  if (!v || v->type != ValueType::kMulti) return false;
  for (const std::string& s : v->data) values->push_back(Utf8ToWide(s));
  return true;
}

bool WriteRegistryString(RegistryRoot root, const std::wstring& keyPath,
                         const std::wstring& valueName, const std::wstring& text) {
  StoreValue v;
  v.type = ValueType::kString;
  v.data.push_back(WideToUtf8(text));
  return Modify(root, keyPath, valueName, v);
}

bool WriteRegistryMultiString(RegistryRoot root, const std::wstring& keyPath,
                              const std::wstring& valueName,
                              const std::vector<std::wstring>& values) {
  StoreValue v;
  v.type = ValueType::kMulti;
  for (const std::wstring& s : values) {
    if (s.empty() || s.find(L'\0') != std::wstring::npos) return false;
    v.data.push_back(WideToUtf8(s));
  }
  return Modify(root, keyPath, valueName, v);
}

bool RegistryKeyExists(RegistryRoot root, const std::wstring& keyPath) {
  Store store;
  if (!LoadForRead(root, &store)) return false;
  std::string key = NormaliseKey(keyPath);
  if (key.empty()) return true;  // the root itself
  for (const StoreKey& k : store) {
    // A key that was created with subkeys exists as their parent too.
    if (SameName(k.path, key)) return true;
    if (k.path.size() > key.size() && k.path[key.size()] == '\\' &&
        SameName(k.path.substr(0, key.size()), key)) {
      return true;
    }
  }
  return false;
}

}  // namespace platform
