#include "platform/netinfo.h"

#include <algorithm>
#include <cstdio>

namespace platform {

std::string FormatMacBytes(const unsigned char* bytes, size_t count) {
  std::string text;
  char part[4];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(part, sizeof(part), "%02X", bytes[i]);
    if (i > 0) text += ':';
    text += part;
  }
  return text;
}

std::string FormatGuidBytes(const uint8_t b[16]) {
  const unsigned long data1 = (static_cast<unsigned long>(b[0]) << 24) |
                              (static_cast<unsigned long>(b[1]) << 16) |
                              (static_cast<unsigned long>(b[2]) << 8) | b[3];
  const unsigned data2 = (static_cast<unsigned>(b[4]) << 8) | b[5];
  const unsigned data3 = (static_cast<unsigned>(b[6]) << 8) | b[7];
  char text[40];
  std::snprintf(text, sizeof(text), "%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", data1,
                data2, data3, b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  return text;
}

namespace {

bool ParseMac(const std::string& text, unsigned char bytes[6]) {
  if (text.size() != 17) return false;
  for (int i = 0; i < 6; ++i) {
    unsigned value = 0;
    for (int j = 0; j < 2; ++j) {
      const char ch = text[static_cast<size_t>(i * 3 + j)];
      value <<= 4;
      if (ch >= '0' && ch <= '9') {
        value |= static_cast<unsigned>(ch - '0');
      } else if (ch >= 'a' && ch <= 'f') {
        value |= static_cast<unsigned>(ch - 'a' + 10);
      } else if (ch >= 'A' && ch <= 'F') {
        value |= static_cast<unsigned>(ch - 'A' + 10);
      } else {
        return false;
      }
    }
    if (i < 5 && text[static_cast<size_t>(i * 3 + 2)] != ':') return false;
    bytes[i] = static_cast<unsigned char>(value);
  }
  return true;
}

bool IsHex(char ch) {
  return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
}

}  // namespace

std::string PickMacFromInterfaces(std::vector<NetInterfaceFacts> interfaces) {
  std::stable_sort(
      interfaces.begin(), interfaces.end(),
      [](const NetInterfaceFacts& a, const NetInterfaceFacts& b) { return a.index < b.index; });
  for (const NetInterfaceFacts& item : interfaces) {
    if (item.type == 772) continue;  // loopback
    unsigned char bytes[6];
    if (!ParseMac(item.address, bytes)) continue;
    if (std::all_of(bytes, bytes + 6, [](unsigned char b) { return b == 0; })) continue;
    return FormatMacBytes(bytes, 6);
  }
  return std::string();
}

std::string MachineIdToGuid(const std::string& machineId) {
  std::string id = machineId;
  while (!id.empty() && (id.back() == '\n' || id.back() == '\r' || id.back() == ' ')) id.pop_back();
  if (id.size() != 32 || !std::all_of(id.begin(), id.end(), IsHex)) return std::string();
  return id.substr(0, 8) + "-" + id.substr(8, 4) + "-" + id.substr(12, 4) + "-" + id.substr(16, 4) +
         "-" + id.substr(20);
}

std::string OsReleaseValue(const std::string& text, const std::string& key) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.compare(0, key.size() + 1, key + "=") != 0) continue;
    std::string value = line.substr(key.size() + 1);
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return value;
  }
  return std::string();
}

}  // namespace platform
