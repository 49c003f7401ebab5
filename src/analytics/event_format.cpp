#include "analytics/event_format.h"

#include <easylogging++.h>

#include <exception>
#include <memory>

#include "platform/files.h"
#include "platform/text.h"
#include "report_sdk/report_format.h"

namespace analytics {
namespace {

struct ChannelRow {
  int siteId;
  const char* name;
  bool bing;           // "-Bing" variant
  bool yahoo;          // "-Yahoo" variant
  const char* online;  // the online form, or null
};

// The maker's channel names by site. Sites missing here report their decimal id.
const ChannelRow kChannels[] = {
    {1, "Kerfo-Organic", false, false, nullptr},
    {2, "Kerfo-PPC-Search", true, true, nullptr},
    {8, "Kerfo-PPC-Display", true, false, nullptr},
    {23, "Kerfo-Affiliate", false, false, nullptr},
    {54, "Kerfo-CN-Direct", false, false, nullptr},
    {74, "Kerfo-PPC-Brand", true, true, nullptr},
    {84, "Kerfo-PPC-Generic", true, true, "Kerfo-PPC-GenericOnline"},
    {93, "Kerfo-CN-Partner", false, false, nullptr},
    {101, "Kerfo-Newsletter", false, false, nullptr},
    {117, "Kerfo-Review", false, false, nullptr},
    {150, "Kerfo-Social", false, false, nullptr},
    {206, "Kerfo-PPC-Retarget", true, false, nullptr},
    {233, "Kerfo-Video", false, false, nullptr},
    {277, "Kerfo-Kit-A", false, false, nullptr},
    {278, "Kerfo-Kit-B", false, false, nullptr},
    {290, "Kerfo-CN-Store", false, false, nullptr},
    {293, "Kerfo-PPC-Shopping", true, true, "Kerfo-PPC-ShoppingOnline"},
    {305, "Kerfo-PPC-Compare", false, true, nullptr},
    {338, "Kerfo-PPC-Mobile", true, false, "Kerfo-PPC-MobileOnline"},
    {354, "Kerfo-CN-Search", false, false, nullptr},
    {402, "Kerfo-Portal", false, false, "Kerfo-PortalOnline"},
    {611, "Kerfo-Web", false, false, "Kerfo-WebOnline"},
    {673, "Kerfo-Bundle", false, false, nullptr},
    {700, "Kerfo-Partner-EU", false, false, nullptr},
    {812, "Kerfo-Partner-APAC", false, false, nullptr},
};

std::string Lower(std::string text) {
  for (char& ch : text) {
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  }
  return text;
}

bool Has(const std::string& text, const char* a, const char* b) {
  return text.find(a) != std::string::npos || text.find(b) != std::string::npos;
}

// Cuts UTF-8 text to at most max bytes without splitting a character.
std::string CutUtf8(const std::string& text, size_t max) {
  if (text.size() <= max) return text;
  size_t end = max;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0u) == 0x80u) --end;
  return text.substr(0, end);
}

std::string Dimensions(const Ga4Identity& id, const std::string& softwareName) {
  return "&ep.cd1=" + id.toolsVersion + "&ep.cd2=" + SiteClass(id.siteId) +
         "&ep.cd3=" + ChannelName(id.siteId, id.downloadUrl) + "&ep.cd4=" + softwareName +
         "&ep.cd5=" + id.country + "&ep.cd6=" + id.language + "&ep.cd7=" + id.osLabel +
         "&ep.cd8=" + (id.kitBuild ? "0" : "1");
}

std::string Tail(const std::string& toolsVersion, const std::string& category,
                 const std::string& action, const std::string& label, const std::string& dims) {
  return "&tid=G-R8KQ2W7NXD&ep.qd_productname=Downloader&ep.qd_productversion=" + toolsVersion +
         "&ep.qd_category=" + category + "&ep.qd_action=" + action + "&ep.qd_label=" + label +
         "&en=" + action + dims;
}

// Reads a small JSON object file; false when it is missing, too large, unreadable or no object.
bool ReadJsonObject(const std::wstring& path, Json::Value* root) {
  if (!platform::PathExists(path)) return false;
  if (platform::FileSize(path) > (1 << 20)) return false;
  std::string text;
  if (!platform::ReadWholeFile(path, &text)) return false;
  std::string errors;
  return reportsdk::ParseJson(text, root, &errors) && root->isObject();
}

// "galog.json" keeps the form of jsoncpp's StyledWriter, which older runs wrote and read.
void WriteStyled(const std::wstring& path, const Json::Value& root) {
  std::string text;
  try {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    Json::StyledWriter writer;
    text = writer.write(root);
#pragma GCC diagnostic pop
  } catch (const std::exception& ex) {
    LOG(INFO) << " galog.json not written: " << ex.what();
    return;
  }
  if (!platform::WriteFileAtomically(path, text)) {
    LOG(INFO) << " galog.json not written, error " << platform::LastErrorCode();
  }
}

}  // namespace

std::string SiteClass(int siteId) {
  switch (siteId) {
    case 2:
    case 8:
    case 74:
    case 84:
    case 206:
    case 293:
    case 305:
    case 338:
      return "PPC";
    case 54:
    case 93:
    case 290:
    case 354:
      return "CN";
    default:
      return "SEO";
  }
}

std::string ChannelName(int siteId, const std::string& downloadUrl) {
  for (const ChannelRow& row : kChannels) {
    if (row.siteId != siteId) continue;
    const std::string url = Lower(downloadUrl);
    if (row.bing && Has(url, "_bing_", "_bing.")) return std::string(row.name) + "-Bing";
    if (row.yahoo && Has(url, "_yahoo_", "_yahoo.")) return std::string(row.name) + "-Yahoo";
    if (row.online && Has(url, "_online", "_online.")) return row.online;
    return row.name;
  }
  return std::to_string(siteId);
}

std::string CustomDimensions(const Ga4Identity& identity) {
  std::string text = Dimensions(identity, identity.softwareName);
  if (text.size() <= kMaxGa4Text) return text;
  const size_t others = text.size() - identity.softwareName.size();
  const std::string name =
      others < kMaxGa4Text ? CutUtf8(identity.softwareName, kMaxGa4Text - others) : "";
  text = Dimensions(identity, name);
  return text.size() <= kMaxGa4Text ? text : CutUtf8(text, kMaxGa4Text);
}

std::string Ga4Tail(const std::string& toolsVersion, const std::string& category,
                    const std::string& action, const std::string& label,
                    const std::string& customDimensions) {
  const std::string tail = Tail(toolsVersion, category, action, label, customDimensions);
  if (tail.size() <= kMaxGa4Text) return tail;
  const size_t others = tail.size() - label.size();
  if (others > kMaxGa4Text) return std::string();
  return Tail(toolsVersion, category, action, CutUtf8(label, kMaxGa4Text - others),
              customDimensions);
}

Json::Value FunnelActions(const std::string& eventType, const std::string& coreFuncName,
                          int funcStep, const std::string& category, const std::string& action,
                          const std::string& label) {
  Json::Value actions(Json::objectValue);
  actions["event_category"] = category;
  actions["event_action"] = action;
  actions["event_label"] = label;
  if (!coreFuncName.empty()) {
    actions["core_func_name"] = coreFuncName;
    actions["func_step"] = funcStep;
  }
  actions["event_type"] = eventType.empty() ? "event" : eventType;
  return actions;
}

Json::Value FunnelActionsEx(const std::string& category, const std::string& action,
                            const std::map<std::string, std::string>& fields) {
  Json::Value actions(Json::objectValue);
  actions["event_type"] = "event";
  actions["event_category"] = category;
  actions["event_action"] = action;
  for (const auto& field : fields) {
    if (!field.first.empty()) actions[field.first] = field.second;
  }
  return actions;
}

std::string FunnelJson(const FunnelIdentity& id, const Json::Value& actions) {
  Json::Value root(Json::objectValue);
  root["is_new"] = id.isNew;
  root["brand"] = "PC";
  root["model"] = "PC";
  root["product"] = id.product;
  root["product_version"] = id.productVersion;
  root["email"] = "";
  root["phone"] = "";
  root["cross_end_id"] = id.installSourceId;
  root["rnclid"] = id.installSourceId;
  root["source_type"] = "downloader";
  root["tools_version"] = id.toolsVersion;
  root["tools_lang"] = id.toolsLang;
  root["kit_type"] = id.kitType;
  root["actions"] = actions;
  root["pid"] = id.pid;
  return reportsdk::StyledJson(root) + "\n";
}

std::string OsLabel(const std::string& osName, bool is64Bit) {
  return osName + (is64Bit ? " 64bit" : " 32bit");
}

void SplitLocaleName(const std::string& localeName, std::string* language, std::string* country) {
  const size_t underscore = localeName.find('_');
  if (underscore == std::string::npos) {
    *language = "Unknown";
    *country = "Unknown";
    return;
  }
  *language = localeName.substr(0, underscore);
  *country = localeName.substr(underscore + 1);
}

std::string InstallSourceIdOfPath(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
  return reportsdk::InstallSourceIdFromName(platform::WideToUtf8(name));
}

bool IsFirstRunToday(const std::wstring& path, const platform::LocalTime& today) {
  Json::Value root(Json::objectValue);
  if (platform::PathExists(path)) {
    if (ReadJsonObject(path, &root)) {
      const Json::Value& y = root["year"];
      const Json::Value& m = root["month"];
      const Json::Value& d = root["day"];
      if (y.isInt() && m.isInt() && d.isInt() && y.asInt() == today.year &&
          m.asInt() == today.month && d.asInt() == today.day) {
        return false;
      }
    } else {
      LOG(INFO) << " galog.json unreadable; counting this run as the first of the day";
      root = Json::Value(Json::objectValue);
    }
  }
  root["year"] = today.year;
  root["month"] = today.month;
  root["day"] = today.day;
  WriteStyled(path, root);
  return true;
}

void StampToolsVersion(const std::wstring& path, const std::string& toolsVersion) {
  Json::Value root(Json::objectValue);
  if (platform::PathExists(path) && ReadJsonObject(path, &root)) {
    const Json::Value& version = root["version"];
    if (version.isString() && version.asString() == toolsVersion) return;
  } else {
    root = Json::Value(Json::objectValue);
  }
  root["version"] = toolsVersion;
  WriteStyled(path, root);
}

}  // namespace analytics
