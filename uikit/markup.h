// The inline markup of texts: "{f n}" font, "{c #RRGGBB}" colour, "{a}" link, "{u}"
// underline, "{n}" line break, with the closers "{/f}", "{/c}", "{/a}", "{/u}".
//
// Rules: a closer ends the innermost open tag of its kind; a closer with no opener is dropped;
// an opener that is never closed, or a tag the toolkit does not know (or with a bad argument),
// is shown as text. Links are numbered in text order from 0.
// Threading: pure functions.
#pragma once

#include <string>
#include <vector>

#include "uikit/geometry.h"

namespace uikit {

struct MarkupRun {
  std::wstring text;
  int font = -1;          // -1: the control's font
  bool hasColor = false;  // false: the control's colour
  Color color = kBlack;
  bool underline = false;
  int link = -1;          // link index, -1 outside links
  bool lineBreak = false; // a "{n}": text is empty
};

std::vector<MarkupRun> ParseMarkup(const std::wstring& text);
// The text as shown, without tags ("{n}" becomes "\n").
std::wstring StripMarkup(const std::wstring& text);
int CountLinks(const std::vector<MarkupRun>& runs);

}  // namespace uikit
