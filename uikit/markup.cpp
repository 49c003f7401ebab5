#include "uikit/markup.h"

#include <cwctype>

#include "uikit/control.h"

namespace uikit {
namespace {

struct Token {
  enum class Type { kText, kOpen, kClose, kBreak } type = Type::kText;
  wchar_t tag = 0;       // 'f', 'c', 'a', 'u'
  std::wstring source;   // the text, or the tag as written
  int font = -1;
  Color color = kBlack;
  bool matched = false;  // openers: a closer of the same kind follows
};

std::wstring Trim(const std::wstring& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::iswspace(s[b])) ++b;
  while (e > b && std::iswspace(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// Classifies the inside of "{...}". False for a tag the toolkit does not know.
bool ClassifyTag(const std::wstring& inner, Token* t) {
  std::wstring s = Trim(inner);
  if (s.size() == 2 && s[0] == L'/' && std::wcschr(L"fcau", s[1]) && s[1] != 0) {
    t->type = Token::Type::kClose;
    t->tag = s[1];
    return true;
  }
  if (s == L"n") {
    t->type = Token::Type::kBreak;
    return true;
  }
  if (s == L"u" || s == L"a") {
    t->type = Token::Type::kOpen;
    t->tag = s[0];
    return true;
  }
  if (s.size() > 2 && s[0] == L'a' && std::iswspace(s[1])) {  // "{a target}"
    t->type = Token::Type::kOpen;
    t->tag = L'a';
    return true;
  }
  if (s.size() > 2 && (s[0] == L'f' || s[0] == L'c') && std::iswspace(s[1])) {
    std::wstring arg = Trim(s.substr(2));
    if (s[0] == L'f') {
      int n = 0;
      if (!ParseInt(arg, &n) || n < 0) return false;
      t->font = n;
    } else {
      Color c = 0;
      if (!ParseColor(arg, &c)) return false;
      t->color = c;
    }
    t->type = Token::Type::kOpen;
    t->tag = s[0];
    return true;
  }
  return false;
}

std::vector<Token> Tokenize(const std::wstring& text) {
  std::vector<Token> tokens;
  auto addText = [&tokens](const std::wstring& s) {
    if (s.empty()) return;
    if (!tokens.empty() && tokens.back().type == Token::Type::kText) {
      tokens.back().source += s;
    } else {
      Token t;
      t.source = s;
      tokens.push_back(t);
    }
  };
  size_t i = 0;
  while (i < text.size()) {
    size_t open = text.find(L'{', i);
    if (open == std::wstring::npos) {
      addText(text.substr(i));
      break;
    }
    addText(text.substr(i, open - i));
    size_t close = text.find(L'}', open + 1);
    // A "{" inside the candidate starts the tag anew ("{{a}" shows one "{").
    size_t inner = text.find(L'{', open + 1);
    if (close == std::wstring::npos) {
      addText(text.substr(open));
      break;
    }
    if (inner != std::wstring::npos && inner < close) {
      addText(text.substr(open, inner - open));
      i = inner;
      continue;
    }
    Token t;
    t.source = text.substr(open, close - open + 1);
    if (ClassifyTag(text.substr(open + 1, close - open - 1), &t)) {
      tokens.push_back(t);
    } else {
      addText(t.source);
    }
    i = close + 1;
  }
  // Pair each closer with the innermost open tag of its kind.
  std::vector<size_t> open;
  for (size_t k = 0; k < tokens.size(); ++k) {
    Token& t = tokens[k];
    if (t.type == Token::Type::kOpen) {
      open.push_back(k);
    } else if (t.type == Token::Type::kClose) {
      for (size_t j = open.size(); j-- > 0;) {
        if (tokens[open[j]].tag == t.tag) {
          tokens[open[j]].matched = true;
          t.matched = true;
          open.erase(open.begin() + static_cast<std::ptrdiff_t>(j));
          break;
        }
      }
    }
  }
  return tokens;
}

}  // namespace

std::vector<MarkupRun> ParseMarkup(const std::wstring& text) {
  std::vector<Token> tokens = Tokenize(text);
  std::vector<MarkupRun> runs;
  std::vector<int> fonts;
  std::vector<Color> colors;
  std::vector<int> links;
  int underline = 0;
  int nextLink = 0;
  auto addText = [&](const std::wstring& s) {
    if (s.empty()) return;
    MarkupRun r;
    r.text = s;
    r.font = fonts.empty() ? -1 : fonts.back();
    r.hasColor = !colors.empty();
    r.color = colors.empty() ? kBlack : colors.back();
    r.underline = underline > 0;
    r.link = links.empty() ? -1 : links.back();
    if (!runs.empty()) {
      MarkupRun& last = runs.back();
      if (!last.lineBreak && last.font == r.font && last.hasColor == r.hasColor &&
          last.color == r.color && last.underline == r.underline && last.link == r.link) {
        last.text += s;
        return;
      }
    }
    runs.push_back(r);
  };
  for (const Token& t : tokens) {
    switch (t.type) {
      case Token::Type::kText:
        addText(t.source);
        break;
      case Token::Type::kBreak: {
        MarkupRun r;
        r.lineBreak = true;
        r.font = fonts.empty() ? -1 : fonts.back();
        r.link = links.empty() ? -1 : links.back();
        runs.push_back(r);
        break;
      }
      case Token::Type::kOpen:
        if (!t.matched) {
          addText(t.source);
          break;
        }
        if (t.tag == L'f') fonts.push_back(t.font);
        if (t.tag == L'c') colors.push_back(t.color);
        if (t.tag == L'u') ++underline;
        if (t.tag == L'a') links.push_back(nextLink++);
        break;
      case Token::Type::kClose:
        if (!t.matched) break;  // a closer without an opener is dropped
        if (t.tag == L'f' && !fonts.empty()) fonts.pop_back();
        if (t.tag == L'c' && !colors.empty()) colors.pop_back();
        if (t.tag == L'u' && underline > 0) --underline;
        if (t.tag == L'a' && !links.empty()) links.pop_back();
        break;
    }
  }
  return runs;
}

std::wstring StripMarkup(const std::wstring& text) {
  std::wstring plain;
  for (const MarkupRun& r : ParseMarkup(text)) plain += r.lineBreak ? L"\n" : r.text;
  return plain;
}

int CountLinks(const std::vector<MarkupRun>& runs) {
  int count = 0;
  for (const MarkupRun& r : runs) count = std::max(count, r.link + 1);
  return count;
}

}  // namespace uikit
