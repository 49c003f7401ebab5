// Flow error identifiers and the two exception reports.
#include "flow/flow_errors.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "analytics/single_user_log.h"
#include "flow/exception_report.h"

namespace flow {
namespace {

TEST(FlowErrors, TheTableHoldsEachIdentifierOnce) {
  int count = 0;
  const FlowErrorRow* rows = FlowErrorTable(&count);
  ASSERT_EQ(count, 25);
  std::set<std::string> ids;
  for (int i = 0; i < count; ++i) {
    EXPECT_TRUE(ids.insert(rows[i].id).second) << rows[i].id;
    EXPECT_STREQ(FlowErrorId(rows[i].error), rows[i].id);
  }
  for (const char* unused : {"DL001", "DL006", "DL007", "DL018", "DL020", "DL021"}) {
    EXPECT_EQ(ids.count(unused), 0u) << unused;
  }
  EXPECT_EQ(*ids.begin(), "DL002");
  EXPECT_EQ(*ids.rbegin(), "DL031");
}

TEST(FlowErrors, RoundResultsAndVerificationOutcomes) {
  struct Case {
    int result;
    const char* id;
  };
  const Case cases[] = {{6, "DL012"},  {7, "DL027"},  {8, "DL028"},  {9, "DL010"},  {10, "DL011"},
                        {11, "DL029"}, {12, "DL030"}, {13, "DL022"}, {14, "DL017"}, {15, "DL031"},
                        {0, "DL017"},  {-3, "DL017"}, {99, "DL017"}};
  for (const Case& c : cases) EXPECT_STREQ(FlowErrorIdForRoundResult(c.result), c.id) << c.result;
  EXPECT_EQ(FlowErrorIdForRoundResult(1), nullptr);
  EXPECT_STREQ(FlowErrorIdForVerification(false, true), "DL013");
  EXPECT_STREQ(FlowErrorIdForVerification(true, false), "DL014");
  EXPECT_STREQ(FlowErrorIdForVerification(false, false), "DL015");
  EXPECT_EQ(FlowErrorIdForVerification(true, true), nullptr);
}

TEST(FlowErrors, SendingGoesThroughTheEventLog) {
  auto& log = analytics::CSingleUserLog::GetInstance();
  log.ClearRecordedEvents();
  SendFlowError(EnumFlowError::kRoundTooManyRedirects);
  bool found = false;
  for (const auto& e : log.RecordedEvents()) {
    found |=
        e.kind == "ga4" && e.category == "Other" && e.action == "FlowError" && e.label == "DL022";
  }
  EXPECT_TRUE(found);
}

TEST(ExceptionReports, BodiesAreExact) {
  EXPECT_EQ(ExceptionReport1Body(673, "https://cfg/queryDownloaderV2?a=1", "https://dl/s.exe"),
            "pid=673&type=2&exception_code=Url_Too_Many_Redirects&other="
            "https://cfg/queryDownloaderV2?a=1,https://dl/s.exe");
  EXPECT_EQ(ExceptionReport2Body(673, 2, false, false, "c", "u"),
            "pid=673&type=2&exception_code=MD5_Hash_Check_Fail_Cfg2&other=c,u");
  EXPECT_EQ(ExceptionReport2Body(673, 1, false, true, "c", "u"),
            "pid=673&type=2&exception_code=MD5_Check_Fail_Cfg1&other=c,u");
  EXPECT_EQ(ExceptionReport2Body(673, 2, true, false, "c", "u"),
            "pid=673&type=2&exception_code=Hash_Check_Fail_Cfg2&other=c,u");
  EXPECT_EQ(ExceptionReport2Body(673, 2, true, true, "c", "u"), "");
  // Overlong addresses are cut to the buffers, never overflowing them.
  EXPECT_EQ(ExceptionReport1Body(1, std::string(5000, 'a'), "b").size(), 2047u);
  EXPECT_EQ(ExceptionReport2Body(1, 2, false, true, std::string(5000, 'a'), "b").size(), 1023u);
}

TEST(ExceptionReports, SendPostsTheFormAndReturnsTheTransferResult) {
  std::string url, body;
  const FormPoster poster = [&](const std::string& u, const std::string& b, std::string* answer) {
    url = u;
    body = b;
    *answer = "{\"code\":200}";
    return CURLE_COULDNT_CONNECT;
  };
  EXPECT_EQ(SendExceptionReport(1, "pid=1", poster, "https://alert.test/api/exception/send"),
            CURLE_COULDNT_CONNECT);
  EXPECT_EQ(url, "https://alert.test/api/exception/send");
  EXPECT_EQ(body, "pid=1");
  EXPECT_EQ(AlertServiceUrl(false).substr(0, 8), "https://");
  EXPECT_NE(AlertServiceUrl(true), AlertServiceUrl(false));
  EXPECT_EQ(AlertServiceUrl(true).find("/api/exception/send"), AlertServiceUrl(true).size() - 19);
  // Both checks passed: nothing is sent.
  EXPECT_EQ(SendExceptionReport2(673, 2, true, true, "c", "u"), CURLE_OK);
}

}  // namespace
}  // namespace flow
