#include "system/launch_checks.h"

#include <easylogging++.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>

#include "platform/files.h"
#include "platform/text.h"
#include "system/registry_strings.h"

namespace FuntionImpl {
namespace {

template <class S>
bool EndsWithExeText(const S& text, const S& suffix) {
  if (text.size() < 4) return true;
  return text.compare(text.size() - 4, 4, suffix) == 0;
}

// Decimal value of one version part: leading digits only, saturating, so "09032" is 9032
// and a hostile part cannot overflow.
uint64_t PartValue(const std::string& part) {
  uint64_t v = 0;
  for (char c : part) {
    if (c < '0' || c > '9') break;
    v = v > (UINT64_MAX - 9) / 10 ? UINT64_MAX : v * 10 + static_cast<uint64_t>(c - '0');
  }
  return v;
}

void SplitVersion(const std::string& version, uint64_t parts[4]) {
  std::istringstream in(version);
  std::string part;
  for (int i = 0; i < 4; ++i) parts[i] = 0;
  for (int i = 0; i < 4 && std::getline(in, part, '.'); ++i) parts[i] = PartValue(part);
}

}  // namespace

bool EndsWithExe(const std::wstring& text) { return EndsWithExeText(text, std::wstring(L".exe")); }
bool EndsWithExe(const std::string& text) { return EndsWithExeText(text, std::string(".exe")); }

std::string ReadRequiredNetFrameVersion(const std::string& fileText) {
  std::string text = fileText;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  std::istringstream in(text);
  std::string line;
  bool inSettings = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() <= 2) continue;
    if (line.find("[Text]") != std::string::npos) break;
    if (line.find("[Settings]") != std::string::npos) {
      inSettings = true;
      continue;
    }
    if (!inSettings) continue;
    const size_t eq = line.find('=', 1);
    if (eq == std::string::npos) continue;
    if (line.compare(0, eq, "NetFrameworkVersion") == 0) return line.substr(eq + 1);
  }
  return std::string();
}

bool IsNetFrameOlder(const std::string& installed, const std::string& required) {
  uint64_t have[4], need[4];
  SplitVersion(installed, have);
  SplitVersion(required, need);
  for (int i = 0; i < 4; ++i) {
    if (have[i] != need[i]) return have[i] < need[i];
  }
  return false;
}

bool WillShowNetFrameCheck(const std::wstring& folder) {
  std::wstring path = folder;
  if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
  path += L"NetFrameCheck.db";
  // The file is a few lines; anything large is not one of ours.
  constexpr int64_t kMaxFileSize = 64 * 1024;
  const int64_t size = platform::FileSize(path);
  if (size < 0) return false;
  std::string text;
  if (size > kMaxFileSize) {
    LOG(INFO) << " NetFrameCheck.db too large to be read: " << size;
    return false;
  }
  if (!platform::ReadWholeFile(path, &text)) return false;
  const std::string required = ReadRequiredNetFrameVersion(text);
  if (required.empty()) return false;
  const std::string installed = platform::WideToUtf8(ReadMachineRegistryString(
      L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Client", L"Version"));
  LOG(INFO) << " LocalNetFrame: " << installed << ", NeedNetFrame: " << required;
  return IsNetFrameOlder(installed, required);
}

}  // namespace FuntionImpl
