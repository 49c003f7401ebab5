// The pure decisions of start-up: the values taken straight from the built-in configure.xml,
// the installer base name, the command-line mode and the 32-bit refusal. No I/O here, so each
// rule can be tested alone. Thread-safe: pure functions.
#pragma once

#include <string>

namespace app {

// Values read from configure.xml before anything else runs. Each lives only for start-up.
struct StartupValues {
  std::wstring downloaderIdText;  // as written, for the window class name
  int downloaderId = 0;           // decimal value, 0 when absent or not a number
  int siteId = 0;
  int languageId = 0;             // parsed, not used by start-up
  std::wstring softwareName;
  std::wstring softwareVersion;
  std::wstring downloadUrl;       // first Download_url / Extra_download_url that is not a CDN address
  int mainPid = 0;
  std::wstring support32System;   // empty when absent
};

// Walks the child elements of the first child of the root, in document order. For each, the
// first attribute's value is the key and the second attribute's value is the value, whatever the
// attributes are called. A missing, empty or malformed document yields no values.
StartupValues ScanStartupValues(const std::string& configureXml);

// The part of the download URL between its last "/" and the first "." after it; empty when the
// URL has no "/" or no "." after the last "/".
std::wstring InstallerBaseName(const std::wstring& url);

enum class CommandMode { kNormal, kCrashDump, kClose };

struct CommandLineMode {
  CommandMode mode = CommandMode::kNormal;
  std::string reportType;  // ANSI code page
  std::wstring logName;
};

// "-dmp " (with the blank) wins over "-close"; anything else is an ordinary start.
CommandLineMode ParseCommandLineMode(const std::wstring& commandLine);

// True when the product refuses this machine: Support32System is exactly "0" on 32-bit Windows.
bool ShouldRefuse32Bit(const std::wstring& support32System, bool isWow64);

// The downloader ids whose builds are kit builds for the event log.
bool IsKitBuild(int downloaderId);

// "QD_UI_Frame_" + the id text as written; "VLM_Downloader_%d" with the numeric value.
std::wstring WindowClassNameFor(const std::wstring& downloaderIdText);
std::wstring MutexNameFor(int downloaderId);

}  // namespace app
