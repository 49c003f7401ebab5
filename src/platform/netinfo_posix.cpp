#include <dirent.h>
#include <spawn.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/netinfo.h"
#include "platform/paths.h"
#include "platform/text.h"

extern char** environ;

namespace platform {
namespace {

// Reads at most limit bytes of a small system file.
std::string ReadSmallFile(const std::string& path, size_t limit = 64 * 1024) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::string();
  std::string text(limit, '\0');
  in.read(&text[0], static_cast<std::streamsize>(limit));
  text.resize(static_cast<size_t>(in.gcount()));
  return text;
}

std::string FirstLineTrimmed(const std::string& path) {
  std::string text = ReadSmallFile(path, 4096);
  const size_t end = text.find('\n');
  if (end != std::string::npos) text.resize(end);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\t')) {
    text.pop_back();
  }
  return text;
}

int ToInt(const std::string& text) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  return (end == text.c_str() || value < 0 || value > 1000000000L) ? 0 : static_cast<int>(value);
}

std::string OsReleaseText() {
  std::string text = ReadSmallFile("/etc/os-release");
  if (text.empty()) text = ReadSmallFile("/usr/lib/os-release");
  return text;
}

}  // namespace

std::string GetPrimaryMacText() {
  std::vector<NetInterfaceFacts> interfaces;
  DIR* dir = ::opendir("/sys/class/net");
  if (dir == nullptr) return std::string();
  while (dirent* item = ::readdir(dir)) {
    const std::string name = item->d_name;
    if (name == "." || name == "..") continue;
    const std::string base = "/sys/class/net/" + name + "/";
    NetInterfaceFacts facts;
    facts.name = name;
    facts.index = ToInt(FirstLineTrimmed(base + "ifindex"));
    facts.type = ToInt(FirstLineTrimmed(base + "type"));
    facts.address = FirstLineTrimmed(base + "address");
    interfaces.push_back(facts);
  }
  ::closedir(dir);
  return PickMacFromInterfaces(interfaces);
}

BoardFacts GetBoardFacts() {
  BoardFacts facts;
  facts.brand = FirstLineTrimmed("/sys/class/dmi/id/board_vendor");
  facts.model = FirstLineTrimmed("/sys/class/dmi/id/board_name");
  return facts;
}

std::string GetOsVersionText() {
  const std::string version = OsReleaseValue(OsReleaseText(), "VERSION_ID");
  struct utsname names {};
  const std::string release = ::uname(&names) == 0 ? names.release : "";
  return version + "(" + release + ")";
}

std::string GetOsReleaseName() {
  return OsReleaseValue(OsReleaseText(), "PRETTY_NAME");
}

std::string GetMachineIdText() {
  std::string id = MachineIdToGuid(FirstLineTrimmed("/etc/machine-id"));
  if (id.empty()) id = MachineIdToGuid(FirstLineTrimmed("/var/lib/dbus/machine-id"));
  return id;
}

std::string NewGuidText() {
  std::ifstream in("/dev/urandom", std::ios::binary);
  uint8_t bytes[16];
  if (!in.read(reinterpret_cast<char*>(bytes), sizeof(bytes))) return std::string();
  bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0Fu) | 0x40u);  // version 4
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3Fu) | 0x80u);  // variant 1
  return FormatGuidBytes(bytes);
}

std::wstring GetProcessCommandLine() {
  const std::string raw = ReadSmallFile("/proc/self/cmdline", 1 << 20);
  std::string line;
  for (char ch : raw) line += ch == '\0' ? ' ' : ch;
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return AnsiToWide(line);
}

bool StartProgramDetached(const std::wstring& program, const std::wstring& argument) {
  const std::string path = NativePathBytes(program);
  std::string arg = WideToAnsi(argument);
  std::vector<char*> argv = {const_cast<char*>(path.c_str()), &arg[0], nullptr};
  pid_t child = 0;
  return ::posix_spawn(&child, path.c_str(), nullptr, nullptr, argv.data(), environ) == 0;
}

}  // namespace platform
