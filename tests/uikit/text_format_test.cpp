#include <gtest/gtest.h>

#include "uikit/format.h"

namespace {

using uikit::FormatWithNumber;
using uikit::FormatWithText;

TEST(TextFormatTest, NumberFormatsOfTheLanguageFiles) {
  std::wstring out;
  ASSERT_TRUE(FormatWithNumber(L"%0.f%%", 42.0, &out));
  EXPECT_EQ(L"42%", out);
  ASSERT_TRUE(FormatWithNumber(L"%.1fGB", 12.345, &out));
  EXPECT_EQ(L"12.3GB", out);
  ASSERT_TRUE(FormatWithNumber(L"Installing %%%.f%% done", 7.6, &out));
  EXPECT_EQ(L"Installing %8% done", out);
  ASSERT_TRUE(FormatWithNumber(L"%-6.2e|", 1234.5, &out));
  EXPECT_EQ(L"1.23e+03|", out);
  ASSERT_TRUE(FormatWithNumber(L"%+08.2lf", 3.14159, &out));
  EXPECT_EQ(L"+0003.14", out);
  ASSERT_TRUE(FormatWithNumber(L"\x0627\x0644\x062A\x062B\x0628\x064A\x062A %.0f%%", 99.0, &out));
  EXPECT_EQ(L"\x0627\x0644\x062A\x062B\x0628\x064A\x062A 99%", out);
}

TEST(TextFormatTest, NumberFormatsThatMustNotReachPrintf) {
  const std::wstring kept = L"unchanged";
  for (const wchar_t* bad : {
           L"%0.f%",        // the closing percent lost
           L"100%",         // a lost percent at the end
           L"% done %.f",   // "% d" is a conversion of its own
           L"%.1f of %.1f", // two conversions
           L"%n",           // writes memory
           L"%.f%n",
           L"%s",           // text where a number is expected
           L"%d",           // an integer conversion reads the wrong type
           L"%x",
           L"%*.f",         // width from the argument list
           L"%.*f",
           L"%Lf",          // long double
           L"%100f",        // absurd width
           L"%.100f",
           L"no conversion",
           L"",
       }) {
    std::wstring out = kept;
    EXPECT_FALSE(FormatWithNumber(bad, 1.0, &out)) << bad;
    EXPECT_EQ(kept, out) << bad;
  }
}

TEST(TextFormatTest, HugeNumbersFitTheirBuffer) {
  std::wstring out;
  ASSERT_TRUE(FormatWithNumber(L"%99.99f", 1.7976931348623157e308, &out));
  EXPECT_GT(out.size(), 300u);
}

TEST(TextFormatTest, TextFormats) {
  std::wstring out;
  ASSERT_TRUE(FormatWithText(L"Space required: %s", L"1.2GB", &out));
  EXPECT_EQ(L"Space required: 1.2GB", out);
  ASSERT_TRUE(FormatWithText(L"%ls (100%%)", L"x", &out));
  EXPECT_EQ(L"x (100%)", out);
  ASSERT_TRUE(FormatWithText(L"[%5s][%-4.2s]", L"ab", &out) == false);  // two conversions
  ASSERT_TRUE(FormatWithText(L"[%5s]", L"ab", &out));
  EXPECT_EQ(L"[   ab]", out);
  ASSERT_TRUE(FormatWithText(L"[%-4.2s]", L"abcdef", &out));
  EXPECT_EQ(L"[ab  ]", out);
  // The text is never read as a format itself.
  ASSERT_TRUE(FormatWithText(L"%s", L"%n%s%%", &out));
  EXPECT_EQ(L"%n%s%%", out);
}

TEST(TextFormatTest, TextFormatsRefused) {
  for (const wchar_t* bad : {L"%f", L"%d", L"%s%", L"%s %s", L"%n", L"%+s", L"%S", L"plain"}) {
    std::wstring out = L"kept";
    EXPECT_FALSE(FormatWithText(bad, L"x", &out)) << bad;
    EXPECT_EQ(L"kept", out) << bad;
  }
}

}  // namespace
