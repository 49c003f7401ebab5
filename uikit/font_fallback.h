// Which installed face draws a text: the script of a sample text and, per script, the faces to
// try in order. The skins name faces of a real Windows desktop ("Microsoft YaHei", "Meiryo UI",
// "batang"); where those are missing (wine, a trimmed system) the first installed face of the
// text's script is taken instead, so every language renders.
//
// Pure functions over a caller-supplied "is this face usable" test; the Win32 backend answers
// it from the enumerated system faces, tests from a fixed list. Thread-safe (no state).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace uikit {

enum class Script {
  kLatin,  // also Cyrillic, Greek, Vietnamese and text without letters
  kJapanese,
  kKorean,
  kChineseSimplified,
  kChineseTraditional,
  kArabic,
  kHebrew,
  kDevanagari,
  kThai,
};

// The script a sample needs. Kana makes Japanese and Hangul Korean, whatever else is mixed in.
// Han alone is Japanese when it holds Japanese-only forms or the requested face is a Japanese
// one, Korean with a Korean face, else Chinese: traditional when it holds characters that
// simplified Chinese writes otherwise. Otherwise the first Arabic, Hebrew, Devanagari or Thai
// letter decides.
Script DetectScript(const std::wstring& sample, const std::wstring& faceHint = std::wstring());

// Whether a face chosen for `script` must have a glyph for c: the letters of that script (for
// the CJK scripts kana, Han and Hangul alike). For kLatin every visible character that belongs
// to none of the other scripts. Text mixing scripts (an Arabic sentence with the product's
// Latin name) relies on the system's font linking for the rest.
bool CharBelongsTo(wchar_t c, Script script);

// The faces to try for a script, best first.
const std::vector<std::wstring>& FaceCandidates(Script script);

// The face to draw `sample` with: `face` itself when usable(face); else the first usable
// candidate of the sample's script, then of the related scripts (any CJK face draws kana and
// Han), then of Latin; `face` unchanged when nothing is usable (the system substitutes).
std::wstring PickFace(const std::wstring& face, const std::wstring& sample,
                      const std::function<bool(const std::wstring& face)>& usable);

}  // namespace uikit
