// The wire texts of the user event log as pure functions: the GA4 custom dimensions and query
// tail, the site class and channel name, the funnel event document, the OS label and locale
// parts, and the daily marker file "galog.json". The event log joins them with the machine and
// the report interface; the tests drive them directly.
// Thread-safe: pure functions, except the two marker-file operations, which read and write the
// file they are given (one caller at a time per file).
#pragma once

#include <json/json.h>

#include <cstddef>
#include <map>
#include <string>

#include "platform/clock.h"

namespace analytics {

// What every GA4 hit carries besides its event.
struct Ga4Identity {
  std::string toolsVersion;
  int siteId = 0;
  std::string downloadUrl;
  std::string softwareName;
  std::string country;
  std::string language;
  std::string osLabel;
  bool kitBuild = false;
};

// Room for the custom-dimension text and for the query tail, as the fixed buffers had.
constexpr size_t kMaxGa4Text = 4095;

// "PPC", "CN" or "SEO".
std::string SiteClass(int siteId);
// The channel name of a site, with its "-Bing" / "-Yahoo" / online variant chosen by the
// lower-cased download URL; the decimal site id for a site the table does not know.
std::string ChannelName(int siteId, const std::string& downloadUrl);

// "&ep.cd1=...&ep.cd8=%d". A text past kMaxGa4Text is shortened in the product name, never
// overflowing.
std::string CustomDimensions(const Ga4Identity& identity);
// The query tail handed to the report interface. A tail past kMaxGa4Text is shortened in its
// label; when even an empty label does not make it fit, the result is empty (not sent).
std::string Ga4Tail(const std::string& toolsVersion, const std::string& category,
                    const std::string& action, const std::string& label,
                    const std::string& customDimensions);

// The installer-wide members of a funnel event.
struct FunnelIdentity {
  int isNew = 0;
  std::string product;
  std::string productVersion;
  std::string installSourceId;
  std::string toolsVersion;
  std::string toolsLang;
  int kitType = 0;
  int pid = 0;
};

Json::Value FunnelActions(const std::string& eventType, const std::string& coreFuncName,
                          int funcStep, const std::string& category, const std::string& action,
                          const std::string& label);
Json::Value FunnelActionsEx(const std::string& category, const std::string& action,
                            const std::map<std::string, std::string>& fields);
// The styled JSON text of a funnel event, with its final newline.
std::string FunnelJson(const FunnelIdentity& identity, const Json::Value& actions);

// OS name followed by " 64bit" or " 32bit".
std::string OsLabel(const std::string& osName, bool is64Bit);
// "English_United States" -> "English", "United States"; "Unknown" for both without "_".
void SplitLocaleName(const std::string& localeName, std::string* language, std::string* country);
// In the file name after the last separator: the text between the last "_" and the last ".";
// empty when either is missing or the "_" comes after the ".".
std::string InstallSourceIdOfPath(const std::wstring& path);

// The daily marker file. True (and the file written with today's date, other members kept)
// unless it already holds today's date. An unreadable or damaged file counts as another day.
bool IsFirstRunToday(const std::wstring& path, const platform::LocalTime& today);
// Makes the file's "version" member the tools version, keeping everything else.
void StampToolsVersion(const std::wstring& path, const std::string& toolsVersion);

}  // namespace analytics
