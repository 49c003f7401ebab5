// Machine and process facts of the report context: the network adapter address, the board
// maker and model, the system's version text, a machine identifier, fresh GUIDs, this process's
// command line, and starting the own executable again in the background.
//
// Windows answers with the calls of the same purpose (GetAdaptersInfo / GetAdaptersAddresses,
// the registry, CoCreateGuid, GetCommandLineW, ShellExecuteW). POSIX answers honestly from the
// system's own sources: /sys/class/net (interfaces in index order, loopback and all-zero
// addresses skipped), /sys/class/dmi/id (board_vendor, board_name), /etc/os-release with the
// kernel release, /etc/machine-id, the kernel's random source, /proc/self/cmdline, posix_spawn.
// A fact that cannot be read is empty; nothing here fails loudly.
// Thread-safe: every call asks the system afresh and keeps no state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The adapter address as upper-case two-digit hexadecimal bytes joined by ":"; empty when the
// machine has none.
std::string GetPrimaryMacText();

struct BoardFacts {
  std::string brand;  // BaseBoardManufacturer / board_vendor
  std::string model;  // BaseBoardProduct / board_name
};
BoardFacts GetBoardFacts();

// Windows: DisplayVersion "(" CurrentBuildNumber ")" of the Windows NT CurrentVersion key
// ("22H2(19045)"). POSIX: VERSION_ID of os-release "(" kernel release ")" ("12(6.1.0-18-amd64)").
// A missing part contributes nothing.
std::string GetOsVersionText();

// A display name of the system for when the Windows naming table has none: POSIX the
// PRETTY_NAME of os-release; Windows none (the naming table covers it), so empty.
std::string GetOsReleaseName();

// An identifier of the machine for when its system volume has no GUID: POSIX /etc/machine-id
// in GUID form; Windows none (the system volume always has one), so empty.
std::string GetMachineIdText();

// A new random GUID as "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X"; empty on failure.
std::string NewGuidText();

// The command line of this process as one text (program and arguments).
std::wstring GetProcessCommandLine();

// Starts program with the one argument, hidden and without waiting for it. False when it could
// not be started.
bool StartProgramDetached(const std::wstring& program, const std::wstring& argument);

// Pure helpers behind the live calls, open to tests on every system.
std::string FormatMacBytes(const unsigned char* bytes, size_t count);
std::string FormatGuidBytes(const uint8_t bytes[16]);

struct NetInterfaceFacts {
  std::string name;
  int index = 0;        // ifindex
  int type = 0;         // ARPHRD_* (1 Ethernet, 772 loopback)
  std::string address;  // "aa:bb:cc:dd:ee:ff" as sysfs writes it
};
// The first interface by index that is not loopback and has a non-zero six-byte address, in
// upper case; empty when none.
std::string PickMacFromInterfaces(std::vector<NetInterfaceFacts> interfaces);

// The machine-id text (32 hexadecimal digits) in 8-4-4-4-12 form; empty when malformed.
std::string MachineIdToGuid(const std::string& machineId);

// A value of an os-release file's text ("VERSION_ID", "PRETTY_NAME"), unquoted; empty if absent.
std::string OsReleaseValue(const std::string& text, const std::string& key);

}  // namespace platform
