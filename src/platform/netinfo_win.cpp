// winsock2 before windows.h, and both before iphlpapi.h, which needs their types.
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <objbase.h>
#include <shellapi.h>
// clang-format on

#include <cstdio>
#include <vector>

#include "platform/netinfo.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace platform {
namespace {

std::string RegistryText(const wchar_t* key, const wchar_t* value) {
  std::wstring text;
  if (!ReadRegistryString(RegistryRoot::kLocalMachine, key, value, 4096, &text)) return "";
  return WideToUtf8(text);
}

}  // namespace

std::string GetPrimaryMacText() {
  ULONG size = 0;
  if (GetAdaptersInfo(nullptr, &size) == ERROR_BUFFER_OVERFLOW && size > 0) {
    std::vector<unsigned char> buffer(size);
    auto* list = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
    if (GetAdaptersInfo(list, &size) == NO_ERROR) {
      const UINT length = list->AddressLength > MAX_ADAPTER_ADDRESS_LENGTH
                              ? MAX_ADAPTER_ADDRESS_LENGTH
                              : list->AddressLength;
      std::string text = FormatMacBytes(list->Address, length);
      if (!text.empty()) return text;
      for (IP_ADAPTER_INFO* item = list; item != nullptr; item = item->Next) {
        if (item->Type == MIB_IF_TYPE_ETHERNET && item->AddressLength >= 6) {
          return FormatMacBytes(item->Address, 6);
        }
      }
    }
  }
  size = 15000;
  for (int tries = 0; tries < 3; ++tries) {
    std::vector<unsigned char> buffer(size);
    auto* list = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
    const ULONG result = GetAdaptersAddresses(AF_UNSPEC, 0, nullptr, list, &size);
    if (result == ERROR_BUFFER_OVERFLOW) continue;
    if (result != NO_ERROR) break;
    for (IP_ADAPTER_ADDRESSES* item = list; item != nullptr; item = item->Next) {
      if (item->PhysicalAddressLength == 6) return FormatMacBytes(item->PhysicalAddress, 6);
    }
    break;
  }
  return std::string();
}

BoardFacts GetBoardFacts() {
  BoardFacts facts;
  facts.brand = RegistryText(L"HARDWARE\\DESCRIPTION\\System\\BIOS", L"BaseBoardManufacturer");
  facts.model = RegistryText(L"HARDWARE\\DESCRIPTION\\System\\BIOS", L"BaseBoardProduct");
  return facts;
}

std::string GetOsVersionText() {
  const wchar_t* key = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  return RegistryText(key, L"DisplayVersion") + "(" + RegistryText(key, L"CurrentBuildNumber") +
         ")";
}

std::string GetOsReleaseName() {
  return std::string();
}

std::string GetMachineIdText() {
  return std::string();
}

std::string NewGuidText() {
  GUID guid{};
  if (CoCreateGuid(&guid) != S_OK) return std::string();
  char text[40];
  std::snprintf(text, sizeof(text), "%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                guid.Data4[6], guid.Data4[7]);
  return text;
}

std::wstring GetProcessCommandLine() {
  const wchar_t* line = GetCommandLineW();
  return line ? std::wstring(line) : std::wstring();
}

bool StartProgramDetached(const std::wstring& program, const std::wstring& argument) {
  const HINSTANCE result =
      ShellExecuteW(nullptr, L"open", program.c_str(), argument.c_str(), nullptr, 0);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace platform
