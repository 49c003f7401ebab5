// The texts of the report SDK as pure functions: report documents and their checks, item keys,
// GA4 request addresses, the SDK log line, the proxy word. Nothing here touches the machine, so
// every wire form can be checked exactly.
// Thread-safe: pure functions over their arguments.
#pragma once

#include <json/json.h>

#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace reportsdk {

// The identity and machine facts a document's "common" block is made from.
struct ReportContext {
  int type = 0;  // 1 product, 2 downloader
  int mainPid = 0;
  int subPid = 0;
  int downloaderId = 0;
  int kitType = 0;
  std::string product;
  std::string productVersion;
  std::string email;
  std::string phone;
  std::string userId;
  std::string toolsLang;
  std::string toolsVersion;
  std::string sessionId;
  std::string installSourceId;  // rnclid and cross_end_id
  std::string uid;
  std::string os;
  std::string osVersion;
  std::string mac;
  std::string brand;
  std::string model;
  Json::Value extraCommon = Json::Value(Json::objectValue);
};

// jsoncpp's styled text with the default StreamWriterBuilder settings (tab indentation, members
// in ascending key order, no final newline).
std::string StyledJson(const Json::Value& value);

// Parses with the default CharReaderBuilder settings. False (and *errors filled) on any failure;
// never throws.
bool ParseJson(const std::string& text, Json::Value* value, std::string* errors);

// Milliseconds since 1970 of a local time, read by mktime as local time with daylight saving
// off, plus the milliseconds. -1 when the time cannot be represented.
int64_t TimestampMs(const platform::LocalTime& local);

// Keeps 0-9 a-z A-Z - _ . ! ~ & = * ' ( ) and writes every other byte as "%" and two lower-case
// hexadecimal digits.
std::string PercentEncode(const std::string& text);

// The text after marker up to the next "&" (or the end); empty when marker is absent.
std::string QueryValue(const std::string& text, const std::string& marker);

// The text between the last "_" and the last "." of a file name; empty when either is missing or
// the "_" comes after the ".".
std::string InstallSourceIdFromName(const std::string& fileName);

// Builds the report document from the caller's JSON (any value; members are only read from an
// object) at time ts.
Json::Value BuildReportDocument(const ReportContext& context, const Json::Value& caller,
                                int64_t ts);

// The checks of a document in their fixed order: 0 when it passes, else -99 .. -90.
int ValidateReportDocument(const Json::Value& document);

// "2::<ts>::<event_category>::<event_action>"
std::string ReportDocumentKey(const Json::Value& document);

// The GA4 request address: base ("https://host"), "/g/collect?v=2&cid=", the client id and the
// percent-encoded tail.
std::string Ga4Url(const std::string& base, const std::string& clientId, const std::string& tail);
// "1::<t>::<category>::<action>" with category and action read from the encoded tail.
std::string Ga4Key(int64_t t, const std::string& encodedTail);
// The volume serial text followed by the MAC text without its ":".
std::string Ga4ClientId(const std::string& volumeSerialText, const std::string& mac);

// Item types of the store and sender.
enum : int { kItemUnknown = 0, kItemGa4 = 1, kItemDocument = 2 };
// A report document is a JSON object text carrying "source_type" and "cross_end_id"; a GA4 hit
// carries "&tid=" and "&en=". Anything else is unknown and is neither stored nor sent.
int PayloadType(const std::string& payload);

// The id a collector counts a report by, so that one sent again (its sender died after the
// collector answered, before the answer was noted) is counted once. It is the item's entry id in
// the store; entries of stores written before ids existed were numbered by position ("s<n>"),
// which other stores repeat, so theirs is "h" and the MD5 of the key and payload instead.
std::string WireTaskId(const std::string& storeId, const std::string& key,
                       const std::string& payload);
// What goes on the wire for an item: a GA4 hit's address with "&ep.task_id=<id>" appended; a
// report document with "task_id":"<id>" inserted as its first member (every other byte as it
// was). A document that does not parse as an object or already has a "task_id", an unknown type
// or an empty id leaves the payload as it is.
std::string WithTaskId(int type, const std::string& payload, const std::string& taskId);

// Members of extra common that identify the machine or the install and may not be replaced.
bool IsProtectedCommonMember(const std::string& name);

// One SDK log line: "%4d%02d%02d-%02d%02d%02d-%03d [%d] %s\n", the message cut to 4095 bytes.
std::string SdkLogLine(const platform::LocalTime& now, uint32_t pid, const std::string& message);

// The first whitespace-separated word of a proxy file's text; empty when there is none or it is
// not a plausible proxy address (control bytes, more than 2048 bytes).
std::string ProxyFromText(const std::string& text);

}  // namespace reportsdk
