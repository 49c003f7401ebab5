// Scenario reading and rule windows: a misspelt fault must fail loudly, and a rule acts on
// exactly the requests it names.
#include <gtest/gtest.h>

#include "scenario.h"

namespace vendorsim {
namespace {

Json::Value Json(const std::string& text) {
  Json::Value value;
  std::string error;
  EXPECT_TRUE(ParseJsonText(text, &value, &error)) << error;
  return value;
}

TEST(SimScenario, RefusesWhatItDoesNotUnderstand) {
  struct Case {
    const char* text;
    const char* mentions;
  };
  const Case cases[] = {
      {R"({"rules":[{"path":"/a","drop_afer":10}]})", "drop_afer"},
      {R"({"config":{"mode":"sometimes"}})", "mode"},
      {R"({"config":{"status":99}})", "status"},
      {R"({"download":{"redirects":{"/a":{"target":"/b","status":200}}}})", "3xx"},
      {R"({"data":{"shape":"list"}})", "shape"},
      {R"({"rules":[{"drop":true,"status":500}]})", "drop"},
      {R"({"rules":[{"stall_after":10}]})", "stall_ms"},
      {R"({"rules":[{"headers":{"X-A":"1\r\nX-B: 2"}}]})", "one-line"},
      {R"({"rules":[{"first":0}]})", "first"},
      {R"({"colector":{}})", "colector"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Scenario scenario;
    std::string error;
    EXPECT_FALSE(ParseScenario(Json(c.text), "/base", &scenario, &error));
    EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
  }
}

TEST(SimScenario, ReadsSectionsAndKeepsDefaultsForTheRest) {
  Scenario scenario;
  std::string error;
  ASSERT_TRUE(ParseScenario(
      Json(R"({"download":{"dir":"files","cdn":{"kind":"xcache","x_cache":"MISS"}},
               "config":{"downloader":[["Md5","{md5:a.exe}"],["Slice_num",3],["Empty",null]]},
               "config_cn":{"mode":"close"}})"),
      "/base", &scenario, &error))
      << error;
  EXPECT_EQ(scenario.download.dir, "/base/files");
  EXPECT_EQ(scenario.download.cdn.kind, CdnHeaders::Kind::kXCache);
  ASSERT_EQ(scenario.config.children.size(), 3u);
  EXPECT_EQ(scenario.config.children[1], std::make_pair(std::string("Slice_num"), std::string("3")));
  EXPECT_EQ(scenario.config.children[2].second, "");
  EXPECT_TRUE(scenario.hasConfigCn);
  EXPECT_EQ(scenario.configCn.mode, "close");
  EXPECT_EQ(scenario.configCn.children.size(), 3u);  // inherited from config
  EXPECT_EQ(scenario.ga4.status, 204);               // untouched default
}

TEST(SimScenario, RuleWindowsCountOnlyMatchingRequests) {
  Rule rule;
  std::string error;
  ASSERT_TRUE(ParseRule(Json(R"({"endpoint":"Download","path":"/a.exe","first":2,"count":2,
                                  "status":503})"),
                        &rule, &error))
      << error;
  RuleBook book;
  book.Replace({rule});
  std::vector<bool> acted;
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(book.Apply("Download", "GET", "/other.exe").rules.empty());
    EXPECT_TRUE(book.Apply("Collector", "GET", "/a.exe").rules.empty());
    acted.push_back(!book.Apply("Download", "GET", "/a.exe").rules.empty());
  }
  EXPECT_EQ(acted, (std::vector<bool>{false, true, true, false, false}));
}

TEST(SimScenario, LaterRulesWinAndFaultsAddUp) {
  Rule slow;
  Rule cut;
  Rule unavailable;
  std::string error;
  ASSERT_TRUE(ParseRule(Json(R"({"rate_bps":1000,"status":500})"), &slow, &error));
  ASSERT_TRUE(ParseRule(Json(R"({"drop_after":10})"), &cut, &error));
  ASSERT_TRUE(ParseRule(Json(R"({"status":503})"), &unavailable, &error));
  const Effect effect = CombineRules({slow, cut, unavailable});
  EXPECT_EQ(effect.status, 503);
  EXPECT_EQ(effect.faults.rateBytesPerSecond, 1000);
  EXPECT_EQ(effect.faults.dropAfter, 10);
  EXPECT_FALSE(effect.faults.whole200);
}

}  // namespace
}  // namespace vendorsim

namespace vendorsim {
namespace {

// The example scenarios shipped beside the simulator must stay loadable.
TEST(SimScenario, ShippedExamplesLoad) {
  for (const char* name : {"unsigned.json", "rough-network.json"}) {
    SCOPED_TRACE(name);
    Scenario scenario;
    std::string error;
    EXPECT_TRUE(LoadScenarioFile(std::string(KERFO_SOURCE_DIR) + "/tools/vendor-sim/scenarios/" + name,
                                 &scenario, &error))
        << error;
  }
}

}  // namespace
}  // namespace vendorsim
