// The installer fixture reads the silent command line exactly as the installer writes it.
#include <gtest/gtest.h>

#include "fixture_cmdline.h"

namespace fixture {
namespace {

TEST(FixtureCommandLine, ReadsTheInstallersLine) {
  // The folder ends in a backslash before its quote and the channel suffix is glued to the
  // closing quote of the log path, as the command line is a plain concatenation.
  const std::string raw =
      "/VERYSILENT /SP- /NORESTART /DIR=\"C:\\Program Files (x86)\\Kerfo PDF\\\" /LANG=jp "
      "/LOG=\"C:\\Users\\Åsa Öberg\\AppData\\Roaming\\logs\\Kerfo_Setup_20240131235959.log\"null";
  const SilentCommandLine line = ParseSilentCommandLine(" " + raw);
  EXPECT_TRUE(line.verySilent);
  EXPECT_TRUE(line.suppressPrompt);
  EXPECT_TRUE(line.noRestart);
  ASSERT_TRUE(line.hasDir);
  EXPECT_EQ(line.dir, "C:\\Program Files (x86)\\Kerfo PDF");
  EXPECT_EQ(line.lang, "jp");
  EXPECT_EQ(line.log,
            "C:\\Users\\Åsa Öberg\\AppData\\Roaming\\logs\\Kerfo_Setup_20240131235959.log");
  EXPECT_EQ(line.trailing, std::vector<std::string>{"null"});
  EXPECT_FALSE(line.unterminatedQuote);
  ASSERT_EQ(line.switches.size(), 6u);
  EXPECT_EQ(line.switches[1].name, "SP-");
}

TEST(FixtureCommandLine, EdgesOfTheLine) {
  struct Case {
    const char* raw;
    const char* dir;
    std::vector<std::string> trailing;
    bool unterminated;
  };
  const Case cases[] = {
      {"/verysilent /dir=\"D:\\\" /LOG=\"x.log\" /TASKS=desktop KerfoSetup_ch1.exe", "D:\\",
       {"KerfoSetup_ch1.exe"}, false},
      {"/VERYSILENT /DIR=C:\\Kerfo\\ /LANG=en", "C:\\Kerfo", {}, false},
      {"/VERYSILENT /DIR=\"/opt/kerfo pdf\\\" /LOG=\"/tmp/a b.log\" null", "/opt/kerfo pdf",
       {"null"}, false},
      {"/VERYSILENT /DIR=\"C:\\Kerfo", "C:\\Kerfo", {}, true},
      {"", "", {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.raw);
    const SilentCommandLine line = ParseSilentCommandLine(c.raw);
    EXPECT_EQ(line.dir, c.dir);
    EXPECT_EQ(line.trailing, c.trailing);
    EXPECT_EQ(line.unterminatedQuote, c.unterminated);
  }
}

TEST(FixtureCommandLine, RejoinsArgumentsAPosixParentSplit) {
  // Split on blanks only: the quotes are still there, so the pieces join back as they were.
  EXPECT_EQ(JoinArguments({"/VERYSILENT", "/DIR=\"/tmp/a", "b\\\"", "/LANG=en"}),
            "/VERYSILENT /DIR=\"/tmp/a b\\\" /LANG=en");
  // Split like a shell: quotes gone, so values with blanks are quoted again.
  const std::string joined =
      JoinArguments({"/VERYSILENT", "/DIR=/tmp/a b\\", "/LOG=/tmp/l og.log", "null"});
  EXPECT_EQ(joined, "/VERYSILENT /DIR=\"/tmp/a b\\\" /LOG=\"/tmp/l og.log\" null");
  const SilentCommandLine line = ParseSilentCommandLine(joined);
  EXPECT_EQ(line.dir, "/tmp/a b");
  EXPECT_EQ(line.log, "/tmp/l og.log");
}

TEST(FixtureCommandLine, BehaviourFromNameAndText) {
  struct Case {
    const char* name;
    int sleep;
    int exit;
  };
  const Case cases[] = {
      {"kerfo-fixture-setup.exe", 0, 0},
      {"KerfoSetup_1.0.0.1-sleep300.exe", 300, 0},
      {"KerfoSetup_fail.exe", 0, 1},
      {"KerfoSetup_fail7_sleep2.exe", 2, 7},
      {"KerfoSetup_hang.exe", kMaxSleepSeconds, 0},
      {"KerfoSetup_sleep99999.exe", kMaxSleepSeconds, 0},  // capped
      {"failsafe_sleepy.exe", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Behaviour behaviour = BehaviourFromName(c.name);
    EXPECT_EQ(behaviour.sleepSeconds, c.sleep);
    EXPECT_EQ(behaviour.exitCode, c.exit);
  }
  Behaviour behaviour;
  ApplyBehaviourText("# comment\nsleep_seconds = 5\r\nexit_code=3;skip_product=1\nbogus=1\n"
                     "sleep_seconds=x",
                     &behaviour);
  EXPECT_EQ(behaviour.sleepSeconds, 5);
  EXPECT_EQ(behaviour.exitCode, 3);
  EXPECT_TRUE(behaviour.skipProduct);
}

}  // namespace
}  // namespace fixture
