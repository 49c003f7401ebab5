// The report store while another program holds its file open without sharing it (as a second
// writer or a scanner does): the store is retried, then left exactly as it was, and nothing
// posted meanwhile is lost.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/files.h"
#include "report_sdk/network_communicate.h"
#include "support/temp_dir.h"

namespace reportsdk {
namespace {

const char kStore[] =
    "{\"send_count\":1,\"send_item\":[{\"task_content\":\"https://ga4.test/g/collect?v=2&cid=AB"
    "&tid=G-R8KQ2W7ND&ep.qd_category=Download&ep.qd_action=Old1&en=Old1\",\"task_guid\":"
    "\"1::1767225600000::Download::Old1\",\"task_status\":0}]}";

TEST(ReportStoreLocked, AStoreHeldWithoutSharingIsLeftUntouched) {
  testsupport::TempDir dir;
  const std::wstring path = dir.Write(L"tempga.wk", kStore);
  HANDLE held = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);

  std::string log;
  CNetworkCommunicate::Hooks hooks;
  hooks.post = [](const std::string&, const std::string&) { return 0L; };
  hooks.log = [&log](const std::string& line) { log += line + "\n"; };
  CNetworkCommunicate net(hooks);
  net.store().SetPath(path);
  net.ReplayStore();
  EXPECT_NE(log.find("Store unreadable, error 32"), std::string::npos) << log;
  EXPECT_EQ(net.QueueCount(), 0u);
  const std::string doc = "{\"common\":{\"source_type\":\"downloader\",\"cross_end_id\":\"\"}}";
  EXPECT_EQ(net.Post("2::1767225600001::Download::New", doc, false, true, false), 0);
  EXPECT_FALSE(net.store().Compact().read);
  CloseHandle(held);

  std::string text;
  ASSERT_TRUE(platform::ReadWholeFile(path, &text));
  EXPECT_EQ(text, kStore);
  // Released: the old item is claimed, the new one stays this process's own, both stored.
  const CReportStore::ReplayList list = net.store().Compact();
  ASSERT_TRUE(list.read) << log;
  EXPECT_EQ(list.items.size(), 1u);
  EXPECT_EQ(net.store().CountEntries(), 2);
}

}  // namespace
}  // namespace reportsdk
