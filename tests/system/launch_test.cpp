#include "system/launch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/launch.h"

namespace {

struct Recorded {
  std::vector<std::string> labels;
  FuntionImpl::LaunchEventSink Sink() {
    return [this](const char* category, const char* action, const std::string& label) {
      EXPECT_STREQ(category, "Other");
      EXPECT_STREQ(action, "StartWindowError");
      labels.push_back(label);
    };
  }
};

TEST(StartTargetMainExe, WorkingFolderOfTheAdministratorPath) {
  EXPECT_EQ(FuntionImpl::LaunchWorkingFolder(L"\"C:\\Program Files\\Kerfo\\Kerfo.exe\""),
            L"C:\\Program Files\\Kerfo\\");
  EXPECT_EQ(FuntionImpl::LaunchWorkingFolder(L"\"Kerfo.exe\""), L"");  // the current folder
  EXPECT_EQ(FuntionImpl::LaunchWorkingFolder(L""), L"");
}

TEST(StartTargetMainExe, MissingProductFailsWithTheFileNotFoundLabel) {
  Recorded events;
  EXPECT_EQ(FuntionImpl::StartTargetMainExe(L"\"no-such-folder\\no-such.exe\"", 0, events.Sink()),
            -1);
  ASSERT_EQ(events.labels.size(), 1u);
  EXPECT_EQ(events.labels[0], "2");
  // An empty or unquoted-too-short path is a missing file too, never a read past the text.
  EXPECT_EQ(FuntionImpl::StartTargetMainExe(L"\"", 0, events.Sink()), -1);
  EXPECT_EQ(FuntionImpl::StartTargetMainExe(L"\"missing.exe\"", 1, events.Sink()), -1);
  ASSERT_EQ(events.labels.size(), 3u);
  EXPECT_EQ(events.labels[2], "2");  // ERROR_FILE_NOT_FOUND from the system
}

TEST(SplitCommandLine, FollowsTheSystemsQuotingRules) {
  using V = std::vector<std::wstring>;
  EXPECT_EQ(platform::SplitCommandLine(L"\"C:\\a b\\x.exe\" /VERYSILENT  /DIR=\"C:\\p q\""),
            (V{L"C:\\a b\\x.exe", L"/VERYSILENT", L"/DIR=C:\\p q"}));
  EXPECT_EQ(platform::SplitCommandLine(L"a\\\\\"b c\" d\\e"), (V{L"a\\b c", L"d\\e"}));
  EXPECT_EQ(platform::SplitCommandLine(L"x \\\"y\\\""), (V{L"x", L"\"y\""}));
  EXPECT_EQ(platform::SplitCommandLine(L"\"a\"\"b\" \"\""), (V{L"a\"b", L""}));
  EXPECT_EQ(platform::SplitCommandLine(L"   "), V{});
}

}  // namespace
