#include "uikit/font_fallback.h"

#include <cwctype>

namespace uikit {
namespace {

bool InRange(wchar_t c, unsigned lo, unsigned hi) {
  const unsigned u = static_cast<unsigned>(c);
  return u >= lo && u <= hi;
}

bool IsKana(wchar_t c) {
  return InRange(c, 0x3040, 0x30FF) || InRange(c, 0x31F0, 0x31FF) || InRange(c, 0xFF66, 0xFF9F);
}
bool IsHangul(wchar_t c) {
  return InRange(c, 0x1100, 0x11FF) || InRange(c, 0x3130, 0x318F) || InRange(c, 0xA960, 0xA97F) ||
         InRange(c, 0xAC00, 0xD7AF) || InRange(c, 0xFFA0, 0xFFDC);
}
bool IsHan(wchar_t c) {
  // Ideographs of the BMP; the high surrogates D840-D87F start the supplementary ideographs.
  return InRange(c, 0x3400, 0x4DBF) || InRange(c, 0x4E00, 0x9FFF) || InRange(c, 0xF900, 0xFAFF) ||
         InRange(c, 0xD840, 0xD87F);
}
bool IsArabic(wchar_t c) {
  return InRange(c, 0x0600, 0x06FF) || InRange(c, 0x0750, 0x077F) || InRange(c, 0x08A0, 0x08FF) ||
         InRange(c, 0xFB50, 0xFDFF) || InRange(c, 0xFE70, 0xFEFF);
}
bool IsHebrew(wchar_t c) {
  return InRange(c, 0x0590, 0x05FF) || InRange(c, 0xFB1D, 0xFB4F);
}
bool IsDevanagari(wchar_t c) {
  return InRange(c, 0x0900, 0x097F) || InRange(c, 0xA8E0, 0xA8FF);
}
bool IsThai(wchar_t c) {
  return InRange(c, 0x0E00, 0x0E7F);
}

// Common characters that only traditional Chinese writes (their simplified and Japanese forms
// differ), enough to tell a traditional UI text or language name from a simplified one.
constexpr wchar_t kTraditionalOnly[] =
    L"繁體們這與為開關發會傳實點東車長門問題對動電話書從來過還裡後個當讓讀錄選擇設資訊載裝進檔請"
    L"確認網絡係統廣權隱條協議啟頁驗擊幫術歡區號碼應務優滿無僅種類別種說續變轉濟覽證圖氣檢價戰華臺";
// Japanese-only forms (shinjitai) of characters that Chinese writes differently.
constexpr wchar_t kJapaneseOnly[] =
    L"説読続択駅変転済覧録証対図広気発検権実円売児拡価戦触効歳労働営両様乗剤";

bool IsOneOf(wchar_t c, const wchar_t* set) {
  for (const wchar_t* p = set; *p; ++p) {
    if (*p == c) return true;
  }
  return false;
}

std::wstring Lower(const std::wstring& s) {
  std::wstring out(s);
  for (auto& c : out) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return out;
}

bool HintContains(const std::wstring& lowerHint, const wchar_t* const* names) {
  for (const wchar_t* const* n = names; *n; ++n) {
    if (lowerHint.find(*n) != std::wstring::npos) return true;
  }
  return false;
}

// Which Han reading the requested face was made for, when the text alone cannot tell.
Script HanScriptFromFace(const std::wstring& face) {
  static const wchar_t* const kJapaneseFaces[] = {
      L"meiryo", L"yu gothic", L"ms ui gothic", L"ms gothic", L"ms mincho", L"cjk jp", nullptr};
  static const wchar_t* const kKoreanFaces[] = {L"malgun", L"batang", L"gulim",
                                                L"dotum",  L"cjk kr", nullptr};
  static const wchar_t* const kTraditionalFaces[] = {L"jhenghei", L"mingliu", L"cjk tc", L"cjk hk",
                                                     nullptr};
  const std::wstring hint = Lower(face);
  if (HintContains(hint, kJapaneseFaces)) return Script::kJapanese;
  if (HintContains(hint, kKoreanFaces)) return Script::kKorean;
  if (HintContains(hint, kTraditionalFaces)) return Script::kChineseTraditional;
  return Script::kChineseSimplified;
}

// The one table of faces per script, best first: the faces of Debian's Noto packages (what a
// wine prefix on these machines has), then those a Windows desktop ships.
struct ScriptFaces {
  Script script;
  std::vector<std::wstring> faces;
};

const std::vector<ScriptFaces>& Table() {
  static const std::vector<ScriptFaces> table = {
      {Script::kLatin, {L"Noto Sans", L"Segoe UI", L"Tahoma", L"Arial"}},
      {Script::kJapanese, {L"Noto Sans CJK JP", L"Yu Gothic UI", L"Meiryo UI", L"MS UI Gothic"}},
      {Script::kKorean, {L"Noto Sans CJK KR", L"Malgun Gothic", L"batang"}},
      {Script::kChineseSimplified, {L"Noto Sans CJK SC", L"Microsoft YaHei", L"SimSun"}},
      {Script::kChineseTraditional,
       {L"Noto Sans CJK TC", L"Microsoft JhengHei", L"PMingLiU", L"Noto Sans CJK SC",
        L"Microsoft YaHei", L"SimSun"}},
      // The sans face first: a user interface face, and wine's shaping joins the book face
      // (Naskh) wrongly in some words ("إعادة المحاولة" came out unjoined, left to right).
      {Script::kArabic, {L"Noto Sans Arabic", L"Noto Naskh Arabic", L"Segoe UI", L"Tahoma"}},
      {Script::kHebrew, {L"Noto Sans Hebrew", L"Segoe UI", L"Arial"}},
      {Script::kDevanagari, {L"Noto Sans Devanagari", L"Nirmala UI", L"Mangal"}},
      {Script::kThai, {L"Noto Sans Thai", L"Leelawadee UI", L"Tahoma"}},
  };
  return table;
}

bool IsCjk(Script s) {
  return s == Script::kJapanese || s == Script::kKorean || s == Script::kChineseSimplified ||
         s == Script::kChineseTraditional;
}

}  // namespace

Script DetectScript(const std::wstring& sample, const std::wstring& faceHint) {
  bool han = false, traditional = false, japaneseForm = false;
  Script first = Script::kLatin;
  bool haveFirst = false;
  for (wchar_t c : sample) {
    if (IsKana(c)) return Script::kJapanese;
    if (IsHangul(c)) return Script::kKorean;
    if (IsHan(c)) {
      han = true;
      if (IsOneOf(c, kTraditionalOnly)) traditional = true;
      if (IsOneOf(c, kJapaneseOnly)) japaneseForm = true;
      continue;
    }
    if (haveFirst) continue;
    if (IsArabic(c)) {
      first = Script::kArabic;
    } else if (IsHebrew(c)) {
      first = Script::kHebrew;
    } else if (IsDevanagari(c)) {
      first = Script::kDevanagari;
    } else if (IsThai(c)) {
      first = Script::kThai;
    } else {
      continue;
    }
    haveFirst = true;
  }
  if (han) {
    if (japaneseForm) return Script::kJapanese;
    // Many traditional forms are Japanese too (設, 認, 語): a Japanese or Korean face decides.
    const Script byFace = HanScriptFromFace(faceHint);
    if (byFace == Script::kJapanese || byFace == Script::kKorean) return byFace;
    if (traditional) return Script::kChineseTraditional;
    return byFace;
  }
  return first;
}

bool CharBelongsTo(wchar_t c, Script script) {
  const bool cjk = IsKana(c) || IsHangul(c) || IsHan(c);
  switch (script) {
    case Script::kJapanese:
    case Script::kKorean:
    case Script::kChineseSimplified:
    case Script::kChineseTraditional:
      return cjk && !InRange(c, 0xD800, 0xDFFF);
    case Script::kArabic:
      return IsArabic(c);
    case Script::kHebrew:
      return IsHebrew(c);
    case Script::kDevanagari:
      return IsDevanagari(c);
    case Script::kThai:
      return IsThai(c);
    case Script::kLatin:
      break;
  }
  if (cjk || IsArabic(c) || IsHebrew(c) || IsDevanagari(c) || IsThai(c)) return false;
  // Controls, surrogates, spaces and invisible formatting marks need no glyph of their own.
  return !(c < 0x21 || InRange(c, 0x7F, 0xA0) || InRange(c, 0xD800, 0xDFFF) ||
           InRange(c, 0x200B, 0x200F) || InRange(c, 0x2028, 0x202F) || InRange(c, 0x2060, 0x206F) ||
           c == 0xFEFF || c == 0x3000);
}

const std::vector<std::wstring>& FaceCandidates(Script script) {
  for (const auto& row : Table()) {
    if (row.script == script) return row.faces;
  }
  return Table().front().faces;
}

std::wstring PickFace(const std::wstring& face, const std::wstring& sample,
                      const std::function<bool(const std::wstring& face)>& usable) {
  if (!face.empty() && usable(face)) return face;
  const Script script = DetectScript(sample, face);
  std::vector<Script> order{script};
  if (IsCjk(script)) {
    for (Script s : {Script::kChineseSimplified, Script::kJapanese, Script::kChineseTraditional,
                     Script::kKorean}) {
      if (s != script) order.push_back(s);
    }
  }
  if (script != Script::kLatin) order.push_back(Script::kLatin);
  for (Script s : order) {
    for (const auto& candidate : FaceCandidates(s)) {
      if (usable(candidate)) return candidate;
    }
  }
  return face;
}

}  // namespace uikit
