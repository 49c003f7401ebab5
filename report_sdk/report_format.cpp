#include "report_sdk/report_format.h"

#include <cstdio>
#include <ctime>
#include <exception>
#include <memory>
#include <sstream>

#include "platform/md5.h"

namespace reportsdk {
namespace {

bool IsAllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char ch : text) {
    if (ch < '0' || ch > '9') return false;
  }
  return true;
}

// The text of a member as the checks see it: strings as they are, numbers and booleans in their
// decimal form, null as empty; arrays and objects as their JSON text (never empty).
std::string TextOf(const Json::Value& value) {
  if (value.isString()) return value.asString();
  if (value.isNull()) return std::string();
  if (value.isBool() || value.isNumeric()) return value.asString();
  return StyledJson(value);
}

int64_t IntegerOf(const Json::Value& value) {
  if (value.isInt64()) return value.asInt64();
  if (value.isUInt64()) return INT64_MAX;
  if (value.isDouble()) {
    const double d = value.asDouble();
    if (d != d) return 0;
    if (d >= 9.2e18) return INT64_MAX;
    if (d <= -9.2e18) return INT64_MIN;
    return static_cast<int64_t>(d);
  }
  return 0;
}

const Json::Value& MemberOf(const Json::Value& object, const char* name) {
  static const Json::Value kNull;
  if (!object.isObject() || !object.isMember(name)) return kNull;
  return object[name];
}

Json::Value MemberOr(const Json::Value& object, const char* name, const Json::Value& fallback) {
  if (!object.isObject() || !object.isMember(name)) return fallback;
  return object[name];
}

// Cuts UTF-8 text to at most max bytes without splitting a character.
std::string CutUtf8(const std::string& text, size_t max) {
  if (text.size() <= max) return text;
  size_t end = max;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0u) == 0x80u) --end;
  return text.substr(0, end);
}

}  // namespace

std::string StyledJson(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  return Json::writeString(builder, value);
}

bool ParseJson(const std::string& text, Json::Value* value, std::string* errors) {
  *value = Json::Value();
  errors->clear();
  try {
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    const char* begin = text.data();
    const bool ok = reader->parse(begin, begin + text.size(), value, errors);
    if (!ok) *value = Json::Value();
    return ok && errors->empty();
  } catch (const std::exception& ex) {
    *value = Json::Value();
    *errors = ex.what();
    return false;
  }
}

int64_t TimestampMs(const platform::LocalTime& local) {
  std::tm tm{};
  tm.tm_year = local.year - 1900;
  tm.tm_mon = local.month - 1;
  tm.tm_mday = local.day;
  tm.tm_hour = local.hour;
  tm.tm_min = local.minute;
  tm.tm_sec = local.second;
  tm.tm_isdst = 0;
  const std::time_t seconds = std::mktime(&tm);
  if (seconds == static_cast<std::time_t>(-1)) return -1;
  return static_cast<int64_t>(seconds) * 1000 + local.millisecond;
}

std::string PercentEncode(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size() * 3);
  for (char c : text) {
    const unsigned char ch = static_cast<unsigned char>(c);
    const bool keep = (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z') ||
                      (ch >= 'A' && ch <= 'Z') || ch == '-' || ch == '_' || ch == '.' ||
                      ch == '!' || ch == '~' || ch == '&' || ch == '=' || ch == '*' || ch == '\'' ||
                      ch == '(' || ch == ')';
    if (keep) {
      out += c;
    } else {
      out += '%';
      out += kHex[ch >> 4];
      out += kHex[ch & 0x0F];
    }
  }
  return out;
}

std::string QueryValue(const std::string& text, const std::string& marker) {
  const size_t at = text.find(marker);
  if (at == std::string::npos) return std::string();
  const size_t start = at + marker.size();
  const size_t end = text.find('&', start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string InstallSourceIdFromName(const std::string& fileName) {
  const size_t underscore = fileName.rfind('_');
  const size_t dot = fileName.rfind('.');
  if (underscore == std::string::npos || dot == std::string::npos || underscore > dot) {
    return std::string();
  }
  return fileName.substr(underscore + 1, dot - underscore - 1);
}

Json::Value BuildReportDocument(const ReportContext& context, const Json::Value& caller,
                                int64_t ts) {
  Json::Value common(Json::objectValue);
  common["uid"] = context.uid;
  common["user_id"] = context.userId;
  common["session_id"] = context.sessionId;
  common["pid"] = context.type == 2 ? context.mainPid : context.subPid;
  common["brand"] = context.brand;
  common["model"] = context.model;
  common["channel"] = MemberOr(caller, "channel", Json::Value(""));
  common["is_new"] = MemberOr(caller, "is_new", Json::Value(0));
  common["mac"] = context.mac;
  common["os"] = context.os;
  common["os_version"] = context.osVersion;
  common["product"] = context.product;
  common["product_version"] = context.productVersion;
  common["email"] = context.email;
  common["phone"] = context.phone;
  common["is_vip"] = MemberOr(caller, "is_vip", Json::Value());
  common["is_login"] = MemberOr(caller, "is_login", Json::Value());
  common["cross_end_id"] = context.installSourceId;
  common["rnclid"] = context.installSourceId;
  common["source_type"] = context.type == 1 ? "product" : (context.type == 2 ? "downloader" : "");
  common["tools_version"] = context.toolsVersion;
  common["tools_lang"] = context.toolsLang;
  common["kit_type"] = context.kitType;
  common["downloader_id"] = context.downloaderId;
  if (context.extraCommon.isObject()) {
    for (const std::string& name : context.extraCommon.getMemberNames()) {
      common[name] = context.extraCommon[name];
    }
  }

  Json::Value document(Json::objectValue);
  document["common"] = common;
  if (caller.isObject() && caller.isMember("entry")) {
    Json::Value start(Json::objectValue);
    start["entry"] = caller["entry"];
    document["start"] = start;
  }
  document["actions"] = MemberOr(caller, "actions", Json::Value());
  if (caller.isObject() && caller.isMember("monitor_type")) {
    Json::Value ext(Json::objectValue);
    ext["parent_pid"] = MemberOr(caller, "monitor_main_pid", Json::Value(0));
    ext["pid"] = MemberOr(caller, "monitor_sub_pid", Json::Value(0));
    ext["ext_others"] = MemberOr(caller, "monitor_ext1", Json::Value(""));
    Json::Value param(Json::objectValue);
    param["start_time"] = MemberOr(caller, "monitor_start_time", Json::Value(0));
    param["error_time"] = MemberOr(caller, "monitor_error_time", Json::Value(0));
    param["line_id"] = MemberOr(caller, "monitor_line_id", Json::Value(0));
    param["error_code"] = MemberOr(caller, "monitor_error_code", Json::Value(""));
    param["total_memory"] = MemberOr(caller, "monitor_total_memory", Json::Value(""));
    param["remain_memory"] = MemberOr(caller, "monitor_remain_memory", Json::Value(""));
    param["ext"] = ext;
    param["user_ext"] = MemberOr(caller, "monitor_user_ext", Json::Value(""));
    Json::Value monitor(Json::objectValue);
    monitor["monitor_type"] = MemberOr(caller, "monitor_type", Json::Value(""));
    monitor["guid"] = MemberOr(caller, "monitor_guid", Json::Value(""));
    monitor["param"] = param;
    document["monitor"] = monitor;
  }
  document["ts"] = static_cast<Json::Int64>(ts);
  return document;
}

int ValidateReportDocument(const Json::Value& document) {
  const Json::Value& common = MemberOf(document, "common");
  const Json::Value& actions = MemberOf(document, "actions");
  if (TextOf(MemberOf(common, "session_id")).empty()) return -99;
  if (TextOf(MemberOf(common, "uid")).empty()) return -98;
  if (IntegerOf(MemberOf(common, "pid")) <= 1000) return -97;
  if (TextOf(MemberOf(common, "product_version")).empty()) return -96;
  const std::string rnclid = TextOf(MemberOf(common, "rnclid"));
  if (!rnclid.empty() && rnclid.size() < 18) return -95;
  if (rnclid.size() >= 18 && !IsAllDigits(rnclid)) return -94;
  if (TextOf(MemberOf(actions, "event_category")).empty()) return -93;
  if (TextOf(MemberOf(actions, "event_action")).empty()) return -92;
  const std::string ts = TextOf(MemberOf(document, "ts"));
  if (ts.size() < 13) return -91;
  if (!IsAllDigits(ts)) return -90;
  return 0;
}

std::string ReportDocumentKey(const Json::Value& document) {
  const Json::Value& actions = MemberOf(document, "actions");
  return "2::" + TextOf(MemberOf(document, "ts")) +
         "::" + TextOf(MemberOf(actions, "event_category")) +
         "::" + TextOf(MemberOf(actions, "event_action"));
}

std::string Ga4Url(const std::string& base, const std::string& clientId, const std::string& tail) {
  return base + "/g/collect?v=2&cid=" + clientId + PercentEncode(tail);
}

std::string Ga4Key(int64_t t, const std::string& encodedTail) {
  return "1::" + std::to_string(t) + "::" + QueryValue(encodedTail, "&ep.qd_category=") +
         "::" + QueryValue(encodedTail, "&ep.qd_action=");
}

std::string Ga4ClientId(const std::string& volumeSerialText, const std::string& mac) {
  std::string id = volumeSerialText;
  for (char ch : mac) {
    if (ch != ':') id += ch;
  }
  return id;
}

std::string WireTaskId(const std::string& storeId, const std::string& key,
                       const std::string& payload) {
  // Position ids: "s" and digits, with "#" and digits when a store held the same id twice.
  bool positional = storeId.size() >= 2 && storeId[0] == 's';
  bool digits = false;
  bool hash = false;
  for (size_t i = 1; positional && i < storeId.size(); ++i) {
    const char ch = storeId[i];
    if (ch >= '0' && ch <= '9') {
      digits = true;
    } else if (ch == '#' && digits && !hash) {
      hash = true;
      digits = false;
    } else {
      positional = false;
    }
  }
  if (!positional || !digits) return storeId;
  const std::string both = std::to_string(key.size()) + ":" + key + payload;
  const std::string digest = platform::Md5HexOfBytes(both.data(), both.size());
  return digest.empty() ? storeId : "h" + digest;
}

std::string WithTaskId(int type, const std::string& payload, const std::string& taskId) {
  if (taskId.empty()) return payload;
  if (type == kItemGa4) {
    // Only unreserved bytes stay: an id can never end the parameter or start another.
    static const char kHex[] = "0123456789ABCDEF";
    std::string value;
    for (unsigned char ch : taskId) {
      const bool unreserved = (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z') ||
                              (ch >= 'A' && ch <= 'Z') || ch == '-' || ch == '_' || ch == '.' ||
                              ch == '~';
      if (unreserved) {
        value += static_cast<char>(ch);
      } else {
        value += '%';
        value += kHex[ch >> 4];
        value += kHex[ch & 15];
      }
    }
    return payload + "&ep.task_id=" + value;
  }
  if (type != kItemDocument) return payload;
  Json::Value document;
  std::string errors;
  if (!ParseJson(payload, &document, &errors) || !document.isObject() ||
      document.isMember("task_id")) {
    return payload;
  }
  // The member goes in as the object's first, and every byte of the document stays as it was.
  const size_t open = payload.find('{');
  std::string member = "\"task_id\":" + Json::valueToQuotedString(taskId.c_str());
  if (!document.empty()) member += ",";
  return payload.substr(0, open + 1) + member + payload.substr(open + 1);
}

int PayloadType(const std::string& payload) {
  const size_t first = payload.find_first_not_of(" \t\r\n");
  const bool looksLikeObject = first != std::string::npos && payload[first] == '{';
  if (looksLikeObject && payload.find("source_type") != std::string::npos &&
      payload.find("cross_end_id") != std::string::npos) {
    return kItemDocument;
  }
  if (payload.find("&tid=") != std::string::npos && payload.find("&en=") != std::string::npos) {
    return kItemGa4;
  }
  return kItemUnknown;
}

bool IsProtectedCommonMember(const std::string& name) {
  std::string lower = name;
  for (char& ch : lower) {
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  }
  static const char* const kProtected[] = {"session_id", "uid",        "os",    "os_version",
                                           "mac",        "brand",      "model", "cross_end_id",
                                           "rnclid",     "source_type"};
  for (const char* item : kProtected) {
    if (lower == item) return true;
  }
  return false;
}

std::string SdkLogLine(const platform::LocalTime& now, uint32_t pid, const std::string& message) {
  char head[64];
  std::snprintf(head, sizeof(head), "%4d%02d%02d-%02d%02d%02d-%03d [%u] ", now.year, now.month,
                now.day, now.hour, now.minute, now.second, now.millisecond, pid);
  return head + CutUtf8(message, 4095) + "\n";
}

std::string ProxyFromText(const std::string& text) {
  size_t pos = 0;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;  // a UTF-8 mark left by an editor
  const char* blanks = " \t\r\n\v\f";
  const size_t start = text.find_first_not_of(blanks, pos);
  if (start == std::string::npos) return std::string();
  const size_t end = text.find_first_of(blanks, start);
  std::string word = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
  if (word.size() > 2048) return std::string();
  for (char ch : word) {
    const unsigned char u = static_cast<unsigned char>(ch);
    if (u < 0x20 || u == 0x7F) return std::string();
  }
  return word;
}

}  // namespace reportsdk
