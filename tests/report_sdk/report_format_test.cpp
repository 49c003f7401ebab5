// Report documents, their checks and keys, GA4 keys, item types, the SDK log line, the proxy word.
#include "report_sdk/report_format.h"

#include <gtest/gtest.h>

#include <string>

#include "support/local_time.h"

namespace reportsdk {
namespace {

ReportContext PassingContext() {
  ReportContext c;
  c.type = 2;
  c.mainPid = 8841;
  c.subPid = 12;
  c.downloaderId = 673;
  c.kitType = 0;
  c.product = "Brindlecot Kerfo";
  c.productVersion = "1.0.0.0";
  c.toolsLang = "en";
  c.toolsVersion = "1.0.0.1";
  c.sessionId = "5F3A1C2B-0D4E-4F60-8A7B-9C0D1E2F3A4B";
  c.uid = "0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9";
  c.os = "Windows 10";
  c.osVersion = "22H2(19045)";
  c.mac = "02:FC:00:00:00:01";
  c.brand = "Board Maker";
  c.model = "B-1";
  return c;
}

Json::Value Caller(const std::string& text) {
  Json::Value value;
  std::string errors;
  ParseJson(text, &value, &errors);
  return value;
}

const char kFunnel[] =
    "{\"actions\":{\"event_category\":\"Download\",\"event_action\":\"Start\"},"
    "\"brand\":\"PC\",\"pid\":1,\"is_new\":1,\"channel\":\"web\"}";
const int64_t kTs = 1767225600123;

TEST(ReportDocument, CommonBlockComesFromTheContextAndTheCallersFewMembers) {
  ReportContext c = PassingContext();
  c.extraCommon["tools_lang"] = "de";
  const Json::Value doc = BuildReportDocument(c, Caller(kFunnel), kTs);
  const Json::Value& common = doc["common"];
  EXPECT_EQ(common.size(), 24u);
  EXPECT_EQ(common["pid"].asInt(), 8841);  // main pid for a downloader, not the caller's 1
  EXPECT_EQ(common["brand"].asString(), "Board Maker");
  EXPECT_EQ(common["is_new"].asInt(), 1);
  EXPECT_EQ(common["channel"].asString(), "web");
  EXPECT_TRUE(common["is_vip"].isNull());
  EXPECT_EQ(common["source_type"].asString(), "downloader");
  EXPECT_EQ(common["tools_lang"].asString(), "de");
  EXPECT_EQ(common["downloader_id"].asInt(), 673);
  EXPECT_EQ(doc["actions"]["event_action"].asString(), "Start");
  EXPECT_EQ(doc["ts"].asInt64(), kTs);
  EXPECT_FALSE(doc.isMember("start"));
  EXPECT_FALSE(doc.isMember("monitor"));
  EXPECT_EQ(ValidateReportDocument(doc), 0);
  EXPECT_EQ(ReportDocumentKey(doc), "2::1767225600123::Download::Start");

  c.type = 1;
  const Json::Value product = BuildReportDocument(c, Caller("{\"entry\":\"menu\"}"), kTs);
  EXPECT_EQ(product["common"]["pid"].asInt(), 12);
  EXPECT_EQ(product["common"]["source_type"].asString(), "product");
  EXPECT_EQ(product["start"]["entry"].asString(), "menu");
  EXPECT_TRUE(product["actions"].isNull());
}

TEST(ReportDocument, MonitorBlockTakesItsValuesWithDefaults) {
  const Json::Value doc = BuildReportDocument(
      PassingContext(),
      Caller("{\"monitor_type\":\"crash\",\"monitor_line_id\":7,\"monitor_sub_pid\":99}"), kTs);
  const Json::Value& m = doc["monitor"];
  EXPECT_EQ(m["monitor_type"].asString(), "crash");
  EXPECT_EQ(m["guid"].asString(), "");
  EXPECT_EQ(m["param"]["line_id"].asInt(), 7);
  EXPECT_EQ(m["param"]["start_time"].asInt(), 0);
  EXPECT_EQ(m["param"]["ext"]["pid"].asInt(), 99);
  EXPECT_EQ(m["param"]["ext"]["parent_pid"].asInt(), 0);
  EXPECT_EQ(m["param"]["ext"]["ext_others"].asString(), "");
  EXPECT_EQ(m["param"]["user_ext"].asString(), "");
}

TEST(ReportDocument, ChecksRunInTheirOrder) {
  struct Case {
    const char* what;
    void (*change)(ReportContext*, Json::Value*, int64_t*);
    int code;
  };
  const Case cases[] = {
      {"all pass", [](ReportContext*, Json::Value*, int64_t*) {}, 0},
      {"no session",
       [](ReportContext* c, Json::Value*, int64_t*) {
         c->sessionId.clear();
         c->uid.clear();
       },
       -99},
      {"no uid",
       [](ReportContext* c, Json::Value*, int64_t*) {
         c->uid.clear();
         c->mainPid = 5;
       },
       -98},
      {"pid 1000",
       [](ReportContext* c, Json::Value*, int64_t*) {
         c->mainPid = 1000;
         c->productVersion.clear();
       },
       -97},
      {"pid 1001", [](ReportContext* c, Json::Value*, int64_t*) { c->mainPid = 1001; }, 0},
      {"no version",
       [](ReportContext* c, Json::Value*, int64_t*) {
         c->productVersion.clear();
         c->installSourceId = "x";
       },
       -96},
      {"short rnclid",
       [](ReportContext* c, Json::Value*, int64_t*) { c->installSourceId = "12345678901234567"; },
       -95},
      {"18 digits",
       [](ReportContext* c, Json::Value*, int64_t*) { c->installSourceId = "123456789012345678"; },
       0},
      {"18 not digits",
       [](ReportContext* c, Json::Value* j, int64_t*) {
         c->installSourceId = "12345678901234567x";
         *j = Json::Value();
       },
       -94},
      {"not JSON", [](ReportContext*, Json::Value* j, int64_t*) { *j = Caller("not json"); }, -93},
      {"no action",
       [](ReportContext*, Json::Value* j, int64_t*) {
         (*j)["actions"].removeMember("event_action");
       },
       -92},
      {"short ts", [](ReportContext*, Json::Value*, int64_t* t) { *t = 999999999999; }, -91},
      {"negative ts", [](ReportContext*, Json::Value*, int64_t* t) { *t = -1767225600123; }, -90},
  };
  for (const Case& c : cases) {
    ReportContext context = PassingContext();
    Json::Value caller = Caller(kFunnel);
    int64_t ts = kTs;
    c.change(&context, &caller, &ts);
    EXPECT_EQ(ValidateReportDocument(BuildReportDocument(context, caller, ts)), c.code) << c.what;
  }
  // Extra common may not break the checks with a value of another type.
  ReportContext odd = PassingContext();
  odd.extraCommon["pid"] = "not a number";
  odd.extraCommon["product_version"] = Json::Value(Json::arrayValue);
  EXPECT_EQ(ValidateReportDocument(BuildReportDocument(odd, Caller(kFunnel), kTs)), -97);
  EXPECT_EQ(ValidateReportDocument(Json::Value("text")), -99);
  EXPECT_EQ(ValidateReportDocument(Json::Value()), -99);
}

TEST(Ga4Forms, KeyClientIdAndQueryValues) {
  const std::string tail = PercentEncode(
      "&tid=G-R8KQ2W7NXD&ep.qd_category=Download&ep.qd_action=3.Start up&ep.qd_label=x&en=y");
  EXPECT_EQ(Ga4Key(1767225600123, tail), "1::1767225600123::Download::3.Start%20up");
  EXPECT_EQ(Ga4Key(1767225600123, "&en=x"), "1::1767225600123::::");
  EXPECT_EQ(Ga4ClientId("1A2B3C", "02:FC:00:00:00:01"), "1A2B3C02FC00000001");
  EXPECT_EQ(Ga4ClientId("", ""), "");
  EXPECT_EQ(QueryValue("a=1&b=2", "b="), "2");
  EXPECT_EQ(QueryValue("a=1&b=2", "c="), "");
}

TEST(ItemTypes, ByPayloadPattern) {
  EXPECT_EQ(PayloadType("{\"common\":{\"source_type\":1,\"cross_end_id\":2}}"), kItemDocument);
  EXPECT_EQ(PayloadType("https://h/g/collect?v=2&cid=1&tid=G&ep.a=1&en=x"), kItemGa4);
  // A hit whose label mentions the document members is still a hit.
  EXPECT_EQ(PayloadType("https://h/g/collect?&tid=G&ep.qd_label=source_type cross_end_id&en=x"),
            kItemGa4);
  EXPECT_EQ(PayloadType("hello"), kItemUnknown);
  EXPECT_EQ(PayloadType(""), kItemUnknown);
}

// The id a collector counts an item by rides on the wire form, which otherwise stays as built.
TEST(TaskIds, WireFormsCarryTheIdAndKeepEverythingElse) {
  const std::string hit = "https://h/g/collect?v=2&cid=AB&tid=G&ep.qd_action=A%20b&en=x";
  EXPECT_EQ(WithTaskId(kItemGa4, hit, "5F3A-7"), hit + "&ep.task_id=5F3A-7");
  EXPECT_EQ(WithTaskId(kItemGa4, hit, "a b&c=d"), hit + "&ep.task_id=a%20b%26c%3Dd");
  EXPECT_EQ(WithTaskId(kItemGa4, hit, ""), hit);

  const Json::Value document = BuildReportDocument(PassingContext(), Caller(kFunnel), kTs);
  const std::string text = StyledJson(document);
  const std::string wire = WithTaskId(kItemDocument, text, "5F3A-7");
  Json::Value sent = Caller(wire);
  EXPECT_EQ(sent["task_id"].asString(), "5F3A-7");
  sent.removeMember("task_id");
  EXPECT_EQ(sent, document);  // every other member as it was, "ts" and "common" included
  EXPECT_EQ(StyledJson(sent), text);
  EXPECT_EQ(wire, "{\"task_id\":\"5F3A-7\"," + text.substr(1));  // every other byte as it was
  EXPECT_EQ(WithTaskId(kItemDocument, " {}", "x\"y"), " {\"task_id\":\"x\\\"y\"}");
  // One that has an id keeps it.
  EXPECT_EQ(WithTaskId(kItemDocument, wire, "other"), wire);
  // Nothing to put an id into: the payload goes as it is.
  EXPECT_EQ(WithTaskId(kItemDocument, "{\"source_type\" cross_end_id", "x"),
            "{\"source_type\" cross_end_id");
  EXPECT_EQ(WithTaskId(kItemDocument, "[1]", "x"), "[1]");
  EXPECT_EQ(WithTaskId(kItemUnknown, "hello", "x"), "hello");
}

TEST(TaskIds, PositionIdsOfOldStoresBecomeContentIds) {
  // The store's own ids are unique across stores: they go as they are.
  EXPECT_EQ(WireTaskId("5F3A1C2B-0D4E-4F60-8A7B-9C0D1E2F3A4B-12", "k", "p"),
            "5F3A1C2B-0D4E-4F60-8A7B-9C0D1E2F3A4B-12");
  for (const char* kept : {"s", "sx1", "s1#", "s1#2#3", "s#1", "S1", ""}) {
    EXPECT_EQ(WireTaskId(kept, "k", "p"), kept) << kept;
  }
  // Position ids repeat from store to store: the id comes from the item itself instead, the
  // same at every replay, and different for different items.
  const std::string id = WireTaskId("s3", "1::1767225600123::a::b", "payload");
  ASSERT_EQ(id.size(), 33u);
  EXPECT_EQ(id[0], 'h');
  EXPECT_EQ(WireTaskId("s0", "1::1767225600123::a::b", "payload"), id);
  EXPECT_EQ(WireTaskId("s3#7", "1::1767225600123::a::b", "payload"), id);
  EXPECT_NE(WireTaskId("s3", "1::1767225600124::a::b", "payload"), id);
  EXPECT_NE(WireTaskId("s3", "1::1767225600123::a::b", "payload2"), id);
  // The key and payload are not simply run together.
  EXPECT_NE(WireTaskId("s1", "ab", "c"), WireTaskId("s1", "a", "bc"));
}

TEST(ExtraCommon, ProtectedNamesIgnoreCase) {
  for (const char* name : {"session_id", "UID", "Os", "os_version", "mac", "brand", "MODEL",
                           "cross_end_id", "rnclid", "source_type"}) {
    EXPECT_TRUE(IsProtectedCommonMember(name)) << name;
  }
  for (const char* name : {"tools_lang", "product_version", "pid", "osx", ""}) {
    EXPECT_FALSE(IsProtectedCommonMember(name)) << name;
  }
}

TEST(SdkLog, LineFormatAndBound) {
  const platform::LocalTime t = testsupport::MakeLocalTime(2026, 1, 2, 3, 4, 5, 6);
  EXPECT_EQ(SdkLogLine(t, 4321, "Read history: 0/0"),
            "20260102-030405-006 [4321] Read history: 0/0\n");
  std::string huge;
  for (int i = 0; i < 3000; ++i) huge += "\xE6\x9D\xB1";  // 3 bytes each
  const std::string line = SdkLogLine(t, 1, huge);
  const size_t message = line.size() - std::string("20260102-030405-006 [1] \n").size();
  EXPECT_LE(message, 4095u);
  EXPECT_EQ(message % 3, 0u);
}

TEST(ProxyFile, FirstWordOnly) {
  EXPECT_EQ(ProxyFromText("127.0.0.1:8888 second\n"), "127.0.0.1:8888");
  EXPECT_EQ(ProxyFromText("\xEF\xBB\xBF  http://p:1\tx"), "http://p:1");
  EXPECT_EQ(ProxyFromText(""), "");
  EXPECT_EQ(ProxyFromText(" \r\n "), "");
  EXPECT_EQ(ProxyFromText(std::string("a\x01") + "b"), "");
  EXPECT_EQ(ProxyFromText(std::string(3000, 'p')), "");
}

TEST(Timestamp, LocalTimeWithoutDaylightSaving) {
  const platform::LocalTime t = testsupport::MakeLocalTime(2026, 7, 1, 12, 0, 0, 345);
  const int64_t ms = TimestampMs(t);
  EXPECT_EQ(ms % 1000, 345);
  EXPECT_EQ(std::to_string(ms).size(), 13u);
  platform::LocalTime next = t;
  next.second = 1;
  EXPECT_EQ(TimestampMs(next) - ms, 1000);
}

}  // namespace
}  // namespace reportsdk
