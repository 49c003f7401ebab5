// The raw reading of a command line that the POSIX start of the product installer uses.
#include <gtest/gtest.h>

#include "platform/child_process.h"

namespace {

using platform::SplitCommandLineVerbatim;

TEST(SplitCommandLineVerbatim, KeepsBackslashesBeforeQuotesAndDropsTheQuotes) {
  const std::vector<std::wstring> args = SplitCommandLineVerbatim(
      L" /VERYSILENT /DIR=\"C:\\Program Files\\Kerfo\\\" /LANG=ja /LOG=\"C:\\l\\a b.log\" x");
  ASSERT_EQ(args.size(), 5u);
  EXPECT_EQ(args[0], L"/VERYSILENT");
  EXPECT_EQ(args[1], L"/DIR=C:\\Program Files\\Kerfo\\");
  EXPECT_EQ(args[2], L"/LANG=ja");
  EXPECT_EQ(args[3], L"/LOG=C:\\l\\a b.log");
  EXPECT_EQ(args[4], L"x");
  EXPECT_EQ(SplitCommandLineVerbatim(L"a \"\" b").size(), 3u);
  EXPECT_TRUE(SplitCommandLineVerbatim(L"  \t ").empty());
  // An unterminated quote runs to the end.
  EXPECT_EQ(SplitCommandLineVerbatim(L"/DIR=\"C:\\x y").back(), L"/DIR=C:\\x y");
}

}  // namespace
