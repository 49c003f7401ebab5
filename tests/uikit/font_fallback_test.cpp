#include "uikit/font_fallback.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using uikit::DetectScript;
using uikit::PickFace;
using uikit::Script;

// The faces a wine prefix on a Debian machine with fonts-noto-core and fonts-noto-cjk has.
const std::set<std::wstring> kWineFaces = {
    L"Noto Sans",        L"Noto Sans CJK JP",  L"Noto Sans CJK KR", L"Noto Sans CJK SC",
    L"Noto Sans CJK TC", L"Noto Naskh Arabic", L"Noto Sans Thai",   L"Noto Sans Devanagari",
    L"Tahoma",           L"Noto Sans Hebrew",  L"Noto Sans Arabic"};
// A Windows desktop without any Noto face.
const std::set<std::wstring> kWindowsFaces = {
    L"Segoe UI",     L"Tahoma",        L"Arial",          L"Microsoft YaHei", L"Meiryo UI",
    L"Yu Gothic UI", L"Malgun Gothic", L"batang",         L"SimSun",          L"Nirmala UI",
    L"Mangal",       L"Leelawadee UI", L"Times New Roman"};

std::wstring PickFrom(const std::set<std::wstring>& faces, const std::wstring& face,
                      const std::wstring& sample) {
  return PickFace(face, sample, [&](const std::wstring& f) { return faces.count(f) != 0; });
}

TEST(FontFallbackTest, DetectsTheScriptOfEachLanguageName) {
  EXPECT_EQ(DetectScript(L"English"), Script::kLatin);
  EXPECT_EQ(DetectScript(L"Русский"), Script::kLatin);
  EXPECT_EQ(DetectScript(L"Tiếng Việt"), Script::kLatin);
  EXPECT_EQ(DetectScript(L"Čeština"), Script::kLatin);
  EXPECT_EQ(DetectScript(L""), Script::kLatin);
  EXPECT_EQ(DetectScript(L"12 %"), Script::kLatin);
  EXPECT_EQ(DetectScript(L"日本語を選択"), Script::kJapanese);  // kana
  EXPECT_EQ(DetectScript(L"インストール"), Script::kJapanese);
  EXPECT_EQ(DetectScript(L"한국어"), Script::kKorean);
  EXPECT_EQ(DetectScript(L"简体中文"), Script::kChineseSimplified);
  EXPECT_EQ(DetectScript(L"繁體中文"), Script::kChineseTraditional);
  EXPECT_EQ(DetectScript(L"العربية"), Script::kArabic);
  EXPECT_EQ(DetectScript(L"हिन्दी"), Script::kDevanagari);
  EXPECT_EQ(DetectScript(L"ไทย"), Script::kThai);
  EXPECT_EQ(DetectScript(L"עברית"), Script::kHebrew);
}

TEST(FontFallbackTest, MixedTextTakesItsNonLatinScript) {
  EXPECT_EQ(DetectScript(L"Kerfo 2.5 – تثبيت"), Script::kArabic);
  EXPECT_EQ(DetectScript(L"C:\\Program Files\\Kerfo インストール"), Script::kJapanese);
  EXPECT_EQ(DetectScript(L"Kerfo 설치 (64bit)"), Script::kKorean);
  // Kana wins over Han, whatever comes first.
  EXPECT_EQ(DetectScript(L"安装済みです"), Script::kJapanese);
}

TEST(FontFallbackTest, HanAloneFollowsJapaneseFormsOrTheRequestedFace) {
  EXPECT_EQ(DetectScript(L"設定確認"), Script::kChineseTraditional);
  EXPECT_EQ(DetectScript(L"設定確認", L"Meiryo UI"), Script::kJapanese);
  EXPECT_EQ(DetectScript(L"検索"), Script::kJapanese);  // Japanese-only form
  EXPECT_EQ(DetectScript(L"日本語"), Script::kChineseSimplified);
  EXPECT_EQ(DetectScript(L"日本語", L"Meiryo UI"), Script::kJapanese);
  EXPECT_EQ(DetectScript(L"日本語", L"MS UI Gothic"), Script::kJapanese);
  EXPECT_EQ(DetectScript(L"中文", L"batang"), Script::kKorean);
  EXPECT_EQ(DetectScript(L"中文", L"Microsoft JhengHei"), Script::kChineseTraditional);
  EXPECT_EQ(DetectScript(L"中文", L"Microsoft YaHei"), Script::kChineseSimplified);
}

TEST(FontFallbackTest, EveryScriptHasCandidatesEndingInWindowsFaces) {
  for (Script s : {Script::kLatin, Script::kJapanese, Script::kKorean, Script::kChineseSimplified,
                   Script::kChineseTraditional, Script::kArabic, Script::kHebrew,
                   Script::kDevanagari, Script::kThai}) {
    const auto& faces = uikit::FaceCandidates(s);
    ASSERT_GE(faces.size(), 2u);
    EXPECT_EQ(faces.front().rfind(L"Noto ", 0), 0u) << "Noto first for script " << int(s);
  }
  EXPECT_EQ(uikit::FaceCandidates(Script::kChineseTraditional).front(), L"Noto Sans CJK TC");
}

TEST(FontFallbackTest, UnderWineTheSkinsWindowsFacesMapToNoto) {
  EXPECT_EQ(PickFrom(kWineFaces, L"Microsoft YaHei", L"简体中文"), L"Noto Sans CJK SC");
  EXPECT_EQ(PickFrom(kWineFaces, L"Microsoft YaHei", L"English"), L"Noto Sans");
  EXPECT_EQ(PickFrom(kWineFaces, L"Meiryo UI", L"日本語"), L"Noto Sans CJK JP");
  EXPECT_EQ(PickFrom(kWineFaces, L"Microsoft YaHei", L"日本語を選択"), L"Noto Sans CJK JP");
  EXPECT_EQ(PickFrom(kWineFaces, L"batang", L"한국어"), L"Noto Sans CJK KR");
  EXPECT_EQ(PickFrom(kWineFaces, L"Microsoft YaHei", L"繁體中文"), L"Noto Sans CJK TC");
  EXPECT_EQ(PickFrom(kWineFaces, L"Times New Roman", L"العربية"), L"Noto Sans Arabic");
  EXPECT_EQ(PickFrom({L"Noto Sans", L"Noto Naskh Arabic"}, L"Microsoft YaHei", L"العربية"),
            L"Noto Naskh Arabic");
  EXPECT_EQ(PickFrom(kWineFaces, L"Microsoft YaHei", L"हिन्दी"), L"Noto Sans Devanagari");
  EXPECT_EQ(PickFrom(kWineFaces, L"Microsoft YaHei", L"ไทย"), L"Noto Sans Thai");
  EXPECT_EQ(PickFrom(kWineFaces, L"Times New Roman", L"Русский"), L"Noto Sans");
  EXPECT_EQ(PickFrom(kWineFaces, L"", L"Deutsch"), L"Noto Sans");
}

TEST(FontFallbackTest, AnInstalledFaceIsKept) {
  EXPECT_EQ(PickFrom(kWineFaces, L"Tahoma", L"English"), L"Tahoma");
  EXPECT_EQ(PickFrom(kWindowsFaces, L"Microsoft YaHei", L"简体中文"), L"Microsoft YaHei");
  EXPECT_EQ(PickFrom(kWindowsFaces, L"batang", L"한국어"), L"batang");
}

TEST(FontFallbackTest, WithoutNotoTheWindowsFacesOfTheScriptAreTaken) {
  EXPECT_EQ(PickFrom(kWindowsFaces, L"Noto Sans", L"日本語を選択"), L"Yu Gothic UI");
  EXPECT_EQ(PickFrom(kWindowsFaces, L"Noto Sans", L"한국어"), L"Malgun Gothic");
  EXPECT_EQ(PickFrom(kWindowsFaces, L"Noto Sans", L"हिन्दी"), L"Nirmala UI");
  EXPECT_EQ(PickFrom(kWindowsFaces, L"Noto Sans", L"ไทย"), L"Leelawadee UI");
  EXPECT_EQ(PickFrom(kWindowsFaces, L"Noto Sans", L"English"), L"Segoe UI");
  // No traditional face at all: the simplified ones still draw Han.
  EXPECT_EQ(PickFrom(kWindowsFaces, L"Noto Sans", L"繁體中文"), L"Microsoft YaHei");
}

TEST(FontFallbackTest, AnyCjkFaceStandsInForAnotherAndNothingUsableKeepsTheFace) {
  const std::set<std::wstring> onlySc = {L"Noto Sans CJK SC", L"Noto Sans"};
  EXPECT_EQ(PickFrom(onlySc, L"Meiryo UI", L"日本語を選択"), L"Noto Sans CJK SC");
  EXPECT_EQ(PickFrom(onlySc, L"batang", L"한국어"), L"Noto Sans CJK SC");
  // Thai without a Thai face: the Latin face, which is better than a face that is missing.
  EXPECT_EQ(PickFrom(onlySc, L"Leelawadee UI", L"ไทย"), L"Noto Sans");
  EXPECT_EQ(PickFrom({}, L"Leelawadee UI", L"ไทย"), L"Leelawadee UI");
}

TEST(FontFallbackTest, TheUsabilityTestSeesTheSample) {
  // A face that is installed but lacks the script (the predicate says so) is passed over.
  const auto picked = PickFace(L"Tahoma", L"हिन्दी",
                               [&](const std::wstring& f) { return f == L"Noto Sans Devanagari"; });
  EXPECT_EQ(picked, L"Noto Sans Devanagari");
}

}  // namespace

namespace {

TEST(FontFallbackTest, OnlyTheLettersOfTheScriptNeedTheFace) {
  using uikit::CharBelongsTo;
  EXPECT_TRUE(CharBelongsTo(L'क', Script::kDevanagari));
  EXPECT_FALSE(CharBelongsTo(L'K', Script::kDevanagari));  // the Latin product name in Hindi
  EXPECT_TRUE(CharBelongsTo(L'ก', Script::kThai));
  EXPECT_TRUE(CharBelongsTo(L'ب', Script::kArabic));
  EXPECT_FALSE(CharBelongsTo(L'1', Script::kArabic));
  EXPECT_TRUE(CharBelongsTo(L'あ', Script::kChineseSimplified));  // any CJK face must draw kana
  EXPECT_TRUE(CharBelongsTo(L'中', Script::kJapanese));
  EXPECT_TRUE(CharBelongsTo(L'K', Script::kLatin));
  EXPECT_TRUE(CharBelongsTo(L'Ж', Script::kLatin));
  EXPECT_FALSE(CharBelongsTo(L' ', Script::kLatin));
  EXPECT_FALSE(CharBelongsTo(0x200F, Script::kLatin));  // right-to-left mark
  EXPECT_FALSE(CharBelongsTo(L'中', Script::kLatin));
}

}  // namespace
