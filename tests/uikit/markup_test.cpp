#include <gtest/gtest.h>

#include "uikit/markup.h"

namespace {

using uikit::MarkupRun;
using uikit::ParseMarkup;
using uikit::StripMarkup;

TEST(MarkupTest, RunsCarryFontColourUnderlineAndLinks) {
  auto runs = ParseMarkup(L"I agree to the {f 2}{c #4778FF}{a}Privacy Policy{/a}{/c}{/f} and "
                          L"{a}{u}License{/u}{/a}{n}next");
  ASSERT_EQ(6u, runs.size());
  EXPECT_EQ(L"I agree to the ", runs[0].text);
  EXPECT_EQ(-1, runs[0].link);
  EXPECT_EQ(-1, runs[0].font);
  EXPECT_FALSE(runs[0].hasColor);
  EXPECT_EQ(L"Privacy Policy", runs[1].text);
  EXPECT_EQ(0, runs[1].link);
  EXPECT_EQ(2, runs[1].font);
  EXPECT_TRUE(runs[1].hasColor);
  EXPECT_EQ(0xFF4778FFu, runs[1].color);
  EXPECT_EQ(L" and ", runs[2].text);
  EXPECT_EQ(L"License", runs[3].text);
  EXPECT_EQ(1, runs[3].link);
  EXPECT_TRUE(runs[3].underline);
  EXPECT_FALSE(runs[1].underline);
  EXPECT_TRUE(runs[4].lineBreak);
  EXPECT_EQ(L"next", runs[5].text);
  EXPECT_EQ(2, uikit::CountLinks(runs));
}

TEST(MarkupTest, NestedTagsRestoreTheOuterStyle) {
  auto runs = ParseMarkup(L"{f 1}a{f 3}b{/f}c{/f}d");
  ASSERT_EQ(4u, runs.size());
  EXPECT_EQ(1, runs[0].font);
  EXPECT_EQ(3, runs[1].font);
  EXPECT_EQ(1, runs[2].font);
  EXPECT_EQ(-1, runs[3].font);
}

TEST(MarkupTest, UnknownAndUnbalancedTagsShowAsText) {
  EXPECT_EQ(L"{b}bold{/b}", StripMarkup(L"{b}bold{/b}"));           // unknown tag and closer
  EXPECT_EQ(L"{a}never closed", StripMarkup(L"{a}never closed"));    // opener without closer
  EXPECT_EQ(L"{f x}bad font", StripMarkup(L"{f x}bad font{/f}"));   // bad argument; closer dropped
  EXPECT_EQ(L"{c red}x", StripMarkup(L"{c red}x{/c}"));
  EXPECT_EQ(L"dropped", StripMarkup(L"drop{/a}ped{/u}"));           // closers without openers
  EXPECT_EQ(L"50% {", StripMarkup(L"50% {"));                       // no closing brace
  EXPECT_EQ(L"{{x}", StripMarkup(L"{{x}"));
  EXPECT_EQ(L"{x", StripMarkup(L"{{u}x{/u}"));
  EXPECT_EQ(L"", StripMarkup(L""));
  EXPECT_EQ(L"a\nb", StripMarkup(L"a{n}b"));
}

TEST(MarkupTest, UnclosedLinkDoesNotShiftTheNumbering) {
  auto runs = ParseMarkup(L"{a}first{/a} {a}open {a}second{/a}");
  // The middle opener has no closer of its own (the last closer pairs with the innermost),
  // so it shows as text and the links are 0 and 1.
  std::vector<int> links;
  std::wstring shown;
  for (const MarkupRun& r : runs) {
    if (r.link >= 0 && (links.empty() || links.back() != r.link)) links.push_back(r.link);
    shown += r.text;
  }
  EXPECT_EQ((std::vector<int>{0, 1}), links);
  EXPECT_EQ(L"first {a}open second", shown);
}

TEST(MarkupTest, ArbitraryBytesNeverBreakTheParser) {
  std::wstring junk;
  for (int i = 0; i < 2000; ++i) junk.push_back(static_cast<wchar_t>(L"{}/afcun #0 1"[i * 7 % 13]));
  auto runs = ParseMarkup(junk);
  size_t total = 0;
  for (const auto& r : runs) total += r.text.size();
  EXPECT_LE(total, junk.size());
}

}  // namespace
