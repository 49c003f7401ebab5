// The unit-test binary runs the real start-up once, which initialises the process-wide report
// SDK; later tests then post real events through it. This keeps every such request inside the
// process: the transport answers as a collector that accepts everything, and nothing is looked
// up or sent over the network.
#include <gtest/gtest.h>

#include <string>

#include "report_sdk/management.h"

namespace {

class OfflineReportSdk : public testing::Environment {
 public:
  void SetUp() override {
    reportsdk::CManagement::Instance().network().ReplacePost(
        [](const std::string& url, const std::string&) -> long {
          return url.find("/g/collect") != std::string::npos ? 204 : 200;
        });
  }
};

testing::Environment* const kOffline = testing::AddGlobalTestEnvironment(new OfflineReportSdk);

TEST(OfflineReportSdk, TheProcessWideTransportStaysInTheProcess) {
  long status = 0;
  reportsdk::CManagement::Instance().network().ReplacePost(
      [&status](const std::string& url, const std::string&) -> long {
        status = url.find("/g/collect") != std::string::npos ? 204 : 200;
        return status;
      });
  reportsdk::SendItemRecord item;
  item.type = reportsdk::kItemGa4;
  item.key = "1::0000000000000::a::b";
  item.payload = "https://ga4.invalid/g/collect?v=2&cid=&tid=x&en=y";
  EXPECT_TRUE(reportsdk::CManagement::Instance().network().SendItem(item, false));
  EXPECT_EQ(status, 204);
  kOffline->SetUp();
}

}  // namespace
