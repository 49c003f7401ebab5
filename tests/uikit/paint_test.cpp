#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "tests/uikit/ui_fixture.h"

namespace {

using uikit::Rect;
using uikit::headless::DrawOp;

class PaintTest : public uitest::UiTest {};

std::vector<DrawOp> OfKind(const std::vector<DrawOp>& ops, DrawOp::Kind kind) {
  std::vector<DrawOp> out;
  for (const auto& op : ops) {
    if (op.kind == kind) out.push_back(op);
  }
  return out;
}

TEST_F(PaintTest, TextLongerThanItsControlStaysInsideIt) {
  Skin({{"w.xml", R"(<Window size="200,100"><Font id="0" name="F" size="12"/>
          <VerticalLayout name="root" inset="20,20,20,20">
            <Label name="long" height="20" width="60" text="A text far longer than sixty pixels" endellipsis="true"/>
            <Text name="wrap" height="30" text="{a}one two three four five six seven eight nine{/a}"/>
          </VerticalLayout></Window>)"}});
  uikit::Window* w = Open(L"w.xml");
  ASSERT_NE(nullptr, w);
  const Rect longPos = w->FindControl(L"long")->GetPos();
  const Rect wrapPos = w->FindControl(L"wrap")->GetPos();
  auto ops = driver().Paint(*w);
  auto text = uitest::TextOps(ops, L"A text far longer than sixty pixels");
  ASSERT_EQ(1u, text.size());
  EXPECT_TRUE(uitest::Inside(text[0].clip, longPos));
  EXPECT_TRUE(text[0].format & uikit::kEndEllipsis);
  // The wrapped markup: every piece clipped to the Text control, lines below each other.
  int pieces = 0, lastTop = -1, lines = 0;
  for (const auto& op : OfKind(ops, DrawOp::Kind::kText)) {
    if (op.text == text[0].text) continue;
    EXPECT_GE(op.rect.top, wrapPos.top);
    EXPECT_TRUE(uitest::Inside(op.clip, wrapPos));
    EXPECT_TRUE(op.font.underline == false);
    if (op.rect.top != lastTop) {
      ++lines;
      lastTop = op.rect.top;
    }
    ++pieces;
  }
  EXPECT_GT(pieces, 3);
  EXPECT_GT(lines, 1);
  // Nothing at all is drawn outside the window.
  for (const auto& op : ops) EXPECT_TRUE(uitest::Inside(op.clip, Rect{0, 0, 200, 100}));
}

TEST_F(PaintTest, BackgroundsStateImagesAndBorders) {
  Skin({{"w.xml", R"(<Window size="200,100" bkcolor="#FF102030"><VerticalLayout name="root">
          <Button name="b" height="40" bkcolor="#FFFFFFFF" normalimage="skin\btn.png"
                  hotimage="skin\btn_hot.png" disabledimage="skin\btn_off.png"
                  bordercolor="#FF000000" bordersize="1" text="Go"/>
          <Control name="nine" height="40" bkimage="file='skin\frame.png' source='0,0,30,30' corner='5,5,5,5'"/>
        </VerticalLayout></Window>)"},
        {"skin/btn.png", uitest::PngBytes(10, 10)},
        {"skin/btn_hot.png", uitest::PngBytes(11, 11)},
        {"skin/btn_off.png", uitest::PngBytes(12, 12)},
        {"skin/frame.png", uitest::PngBytes(60, 30)}});
  uikit::Window* w = Open(L"w.xml");
  ASSERT_NE(nullptr, w);
  auto ops = driver().Paint(*w);
  ASSERT_FALSE(ops.empty());
  EXPECT_EQ(DrawOp::Kind::kFill, ops[0].kind);
  EXPECT_EQ(0xFF102030u, ops[0].color);
  auto images = OfKind(ops, DrawOp::Kind::kImage);
  ASSERT_EQ(1u, images.size());
  EXPECT_EQ(10, images[0].imageSize.cx);
  EXPECT_EQ(w->FindControl(L"b")->GetPos(), images[0].rect);
  auto frames = OfKind(ops, DrawOp::Kind::kFrame);
  ASSERT_EQ(1u, frames.size());
  // The nine-grid draws the cut part (30 x 30) with its corners.
  auto nine = OfKind(ops, DrawOp::Kind::kNineGrid);
  ASSERT_EQ(1u, nine.size());
  EXPECT_EQ(30, nine[0].imageSize.cx);
  EXPECT_EQ((Rect{5, 5, 5, 5}), nine[0].src);
  driver().Hover(*w, L"b");
  images = OfKind(driver().Paint(*w), DrawOp::Kind::kImage);
  ASSERT_EQ(1u, images.size());
  EXPECT_EQ(11, images[0].imageSize.cx);
  w->FindControl(L"b")->SetEnabled(false);
  images = OfKind(driver().Paint(*w), DrawOp::Kind::kImage);
  ASSERT_EQ(1u, images.size());
  EXPECT_EQ(12, images[0].imageSize.cx);
}

TEST_F(PaintTest, ImagesThatDoNotDecodeAreSkippedAndLoggedOnce) {
  Skin({{"w.xml", R"(<Window size="200,100"><VerticalLayout name="root">
          <Button name="b" height="40" normalimage="skin\broken.png" bkimage="skin\none.png" text="Still here"/>
        </VerticalLayout></Window>)"},
        {"skin/broken.png", "GIF89a not a png at all"}});
  uikit::Window* w = Open(L"w.xml");
  ASSERT_NE(nullptr, w);
  for (int i = 0; i < 3; ++i) {
    auto ops = driver().Paint(*w);
    EXPECT_TRUE(OfKind(ops, DrawOp::Kind::kImage).empty());
    EXPECT_EQ(1u, uitest::TextOps(ops, L"Still here").size());
  }
  int decodeLines = 0, missingLines = 0;
  for (const auto& line : log_.Lines()) {
    decodeLines += line.find("Image does not decode: skin\\broken.png") != std::string::npos;
    missingLines += line.find("skin\\none.png") != std::string::npos;
  }
  EXPECT_EQ(1, decodeLines);
  EXPECT_GE(missingLines, 1);
  EXPECT_LE(missingLines, 2);  // the package's own line and the cache's, once each
}

TEST_F(PaintTest, ProgressForeImageIsClippedToTheValue) {
  Skin({{"w.xml", R"(<Window size="200,100"><VerticalLayout name="root">
          <Progress name="p" height="20" foreimage="skin\fore.png" bkcolor="#FFEEEEEE" value="25"/>
          <Progress name="q" height="20" forecolor="#FF00FF00" value="50" max="200"/>
        </VerticalLayout></Window>)"},
        {"skin/fore.png", uitest::PngBytes(200, 20)}});
  uikit::Window* w = Open(L"w.xml");
  ASSERT_NE(nullptr, w);
  auto ops = driver().Paint(*w);
  auto images = OfKind(ops, DrawOp::Kind::kImage);
  ASSERT_EQ(1u, images.size());
  EXPECT_EQ((Rect{0, 0, 200, 20}), images[0].rect);   // the whole image, stretched...
  EXPECT_EQ((Rect{0, 0, 50, 20}), images[0].clip);    // ...shown up to the value
  bool green = false;
  for (const auto& op : OfKind(ops, DrawOp::Kind::kFill)) {
    if (op.color == 0xFF00FF00u) {
      green = true;
      EXPECT_EQ((Rect{0, 20, 50, 40}), op.rect);
    }
  }
  EXPECT_TRUE(green);
  // Mirrored: the bar grows from the right.
  w->SetRtl(true);
  images = OfKind(driver().Paint(*w), DrawOp::Kind::kImage);
  ASSERT_EQ(1u, images.size());
  EXPECT_EQ((Rect{150, 0, 200, 20}), images[0].clip);
}

TEST_F(PaintTest, RightToLeftTextReadsFromTheRight) {
  Skin({{"w.xml", R"(<Window size="200,50"><VerticalLayout name="root">
          <Label name="l" text="abc" align="left"/></VerticalLayout></Window>)"}});
  uikit::Window* w = Open(L"w.xml", true);
  ASSERT_NE(nullptr, w);
  auto text = uitest::TextOps(driver().Paint(*w), L"abc");
  ASSERT_EQ(1u, text.size());
  EXPECT_TRUE(text[0].format & uikit::kRtlReading);
  EXPECT_TRUE(text[0].format & uikit::kAlignRight);
}

// Wrapped markup in a mirrored window: the words of an Arabic sentence run from the right,
// the Latin name inside it still reads "Brindlecot Kerfo", and Japanese without blanks breaks
// between its characters (never before its punctuation) instead of running out of its control.
TEST_F(PaintTest, MirroredMarkupKeepsLatinWordOrderAndIdeographsWrap) {
  Skin({{"w.xml", R"(<Window size="400,200"><Font id="0" name="F" size="12"/>
          <VerticalLayout name="root">
            <Text name="ar" height="40" wordbreak="true"
                  text="&#x0627;&#x0644;&#x0628;&#x0631;&#x0646;&#x0627;&#x0645;&#x062C; Brindlecot Kerfo &#x0647;&#x0646;&#x0627;"/>
            <Text name="ja" height="120" width="120" wordbreak="true"
                  text="&#x672C;&#x30BD;&#x30D5;&#x30C8;&#x30A6;&#x30A7;&#x30A2;&#x3092;&#x30A4;&#x30F3;&#x30B9;&#x30C8;&#x30FC;&#x30EB;&#x3059;&#x308B;&#x524D;&#x306B;&#x3001;&#x672C;&#x6587;&#x3002;"/>
          </VerticalLayout></Window>)"}});
  uikit::Window* w = Open(L"w.xml", true);
  ASSERT_NE(nullptr, w);
  const auto ops = driver().Paint(*w);
  auto left = [&ops](const std::wstring& piece) {
    for (const auto& op : OfKind(ops, DrawOp::Kind::kText))
      if (op.text == piece) return op.rect.left;
    return -1;
  };
  const int first = left(L"\u0627\u0644\u0628\u0631\u0646\u0627\u0645\u062C ");
  const int brindlecot = left(L"Brindlecot "), kerfo = left(L"Kerfo");  // its blank moved left
  const int last = left(L"\u0647\u0646\u0627");
  ASSERT_GE(std::min({first, brindlecot, kerfo, last}), 0);
  EXPECT_GT(first, kerfo);       // the sentence starts on the right
  EXPECT_LT(brindlecot, kerfo);  // the name keeps its order
  EXPECT_LT(last, brindlecot);   // and the sentence ends on the left
  const uikit::Rect ja = w->FindControl(L"ja")->GetPos();
  int pieces = 0;
  for (const auto& op : OfKind(ops, DrawOp::Kind::kText)) {
    if (op.text.empty() || op.text[0] < 0x3000) continue;
    ++pieces;
    EXPECT_TRUE(uitest::Inside(op.rect, ja)) << "a piece runs out of its control";
    // Commas and full stops stay with the character before them (and its face).
    EXPECT_TRUE(op.text[0] != 0x3001 && op.text[0] != 0x3002) << "a piece starts with punctuation";
  }
  EXPECT_GT(pieces, 2);
}

TEST_F(PaintTest, FocusRectangleOnlyAfterKeyboardUse) {
  Skin({{"w.xml", R"(<Window size="200,100"><VerticalLayout name="root">
          <Button name="a" height="30"/><Button name="b" height="30"/></VerticalLayout></Window>)"}});
  uikit::Window* w = Open(L"w.xml");
  ASSERT_NE(nullptr, w);
  driver().Click(*w, L"a");
  EXPECT_EQ(w->FindControl(L"a"), w->GetFocus());
  EXPECT_TRUE(OfKind(driver().Paint(*w), DrawOp::Kind::kFocus).empty());
  driver().KeyPress(*w, uikit::kKeyTab);
  auto focus = OfKind(driver().Paint(*w), DrawOp::Kind::kFocus);
  ASSERT_EQ(1u, focus.size());
  EXPECT_TRUE(uitest::Inside(focus[0].rect, w->FindControl(L"b")->GetPos()));
}

TEST_F(PaintTest, OffscreenImagesRecordTheirDrawing) {
  Skin({{"unused.txt", "x"}});
  auto& backend = uikit::Toolkit::Global().Backend();
  auto image = backend.CreateImage(650, 300);
  ASSERT_NE(nullptr, image);
  {
    auto canvas = backend.CanvasFor(image);
    ASSERT_NE(nullptr, canvas);
    canvas->FillRect(Rect{0, 0, 650, 300}, uikit::kWhite);
    canvas->PushClip(Rect{10, 10, 20, 20});
    canvas->DrawText(L"caption", Rect{0, 30, 590, 60}, uikit::FontSpec{L"F", 11}, 0xFF4A4A4Au,
                     uikit::kAlignCenter);
    canvas->PopClip();
  }
  auto* recorded = dynamic_cast<uikit::headless::HeadlessImage*>(image.get());
  ASSERT_NE(nullptr, recorded);
  ASSERT_EQ(2u, recorded->ops.size());
  EXPECT_EQ((Rect{0, 0, 650, 300}), recorded->ops[0].clip);
  EXPECT_EQ((Rect{10, 10, 20, 20}), recorded->ops[1].clip);
  EXPECT_TRUE(recorded->ops[1].rect.Intersect(recorded->ops[1].clip).IsEmpty());
  EXPECT_EQ(nullptr, backend.CreateImage(0, 10));
  EXPECT_EQ(L"Fallback Sans", [] {
    auto& b = static_cast<uikit::headless::HeadlessBackend&>(uikit::Toolkit::Global().Backend());
    b.SetMissingFaces({L"batang"});
    return b.ResolveFace(L"batang", L"\xD55C");
  }());
}

}  // namespace

namespace {

class LinkColourTest : public uitest::UiTest {};

TEST_F(LinkColourTest, LinksTakeTheLinkColourAndTheHoverColourWhileHot) {
  Skin({{"w.xml", R"(<Window size="400,100"><Font id="0" name="F" size="12"/>
          <VerticalLayout>
            <Text name="t" height="30" textcolor="#FF475569" linkcolor="#FF0F766E"
                  linkhovercolor="#FF0D8F85"
                  text="Read {a}Privacy{/a} and {a}{c #FFFF0000}License{/c}{/a}"/>
            <Text name="plain" height="30" textcolor="#FF111111" text="See {a}Terms{/a}"/>
            <Text name="bad" height="30" linkcolor="teal" text="{a}Bad{/a}"/>
          </VerticalLayout></Window>)"}});
  uikit::Window* w = Open(L"w.xml");
  ASSERT_NE(nullptr, w);
  auto colourOf = [&](const std::vector<DrawOp>& ops, const std::wstring& text) {
    auto found = uitest::TextOps(ops, text);
    return found.size() == 1 ? found[0].color : 0u;
  };
  auto ops = driver().Paint(*w);
  EXPECT_EQ(0xFF475569u, colourOf(ops, L"Read "));
  EXPECT_EQ(0xFF0F766Eu, colourOf(ops, L"Privacy"));
  EXPECT_EQ(0xFFFF0000u, colourOf(ops, L"License"));  // its own colour markup wins
  // Without a link colour a link is drawn in the text colour.
  EXPECT_EQ(0xFF111111u, colourOf(ops, L"Terms"));

  auto* t = w->Find<uikit::Label>(L"t");
  const Rect r = t->GetLinkRect(0);
  ASSERT_FALSE(r.IsEmpty());
  driver().MouseMove(*w, uikit::Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
  ops = driver().Paint(*w);
  EXPECT_EQ(0xFF0D8F85u, colourOf(ops, L"Privacy"));
  EXPECT_EQ(0xFFFF0000u, colourOf(ops, L"License"));
  driver().MouseMove(*w, uikit::Point{1, 90});
  EXPECT_EQ(0xFF0F766Eu, colourOf(driver().Paint(*w), L"Privacy"));

  t->SetEnabled(false);
  EXPECT_EQ(t->GetDisabledTextColor(), colourOf(driver().Paint(*w), L"Privacy"));
  // A colour that does not parse keeps the default, with a log line.
  EXPECT_TRUE(Logged("ignores linkcolor=\"teal\""));
  EXPECT_EQ(w->FindControl(L"bad")->GetTextColor(), colourOf(driver().Paint(*w), L"Bad"));
}

const char kScrollSkin[] = R"(<Window>
  <Default name="ScrollBar" value="width=&quot;10&quot; showbutton1=&quot;false&quot; railimage=&quot;file='skin\rail.png' corner='0,4,0,4'&quot; thumbnormalimage=&quot;file='skin\thumb.png' corner='0,4,0,4'&quot; thumbhotimage=&quot;file='skin\thumb_hot.png' corner='0,4,0,4'&quot; thumbpushedimage=&quot;file='skin\thumb_pushed.png' corner='0,4,0,4'&quot;" />
</Window>)";

class ScrollBarStyleTest : public uitest::UiTest {
 protected:
  // A 200 x 100 window whose layout scrolls (240 pixels of content), styled by scrollbar.xml.
  uikit::Window* OpenScrolling(const std::string& style) {
    Skin({{"scrollbar.xml", style},
          {"w.xml", R"(<Window size="200,100"><Include source="scrollbar.xml"/>
            <VerticalLayout name="area" vscrollbar="true">
              <Control height="80"/><Control height="80"/><Control height="80"/>
            </VerticalLayout></Window>)"},
          {"skin/rail.png", uitest::PngBytes(10, 20)},
          {"skin/thumb.png", uitest::PngBytes(11, 20)},
          {"skin/thumb_hot.png", uitest::PngBytes(12, 20)},
          {"skin/thumb_pushed.png", uitest::PngBytes(13, 20)}});
    return Open(L"w.xml");
  }
  // The widths of the nine-grid images drawn (the test images differ in width by state).
  std::vector<int> NineGridWidths(uikit::Window& w) {
    std::vector<int> widths;
    for (const auto& op : OfKind(driver().Paint(w), DrawOp::Kind::kNineGrid)) {
      widths.push_back(op.imageSize.cx);
    }
    return widths;
  }
};

TEST_F(ScrollBarStyleTest, TheSkinStyleParses) {
  uikit::ScrollBarStyle style;
  const auto unknown = uikit::ParseScrollBarStyle(
      {{L"width", L"10"}, {L"showbutton1", L"false"}, {L"showbutton2", L"false"},
       {L"railimage", L"skin\\rail.png"}, {L"thumbnormalimage", L"skin\\thumb.png"},
       {L"thumbhotimage", L"skin\\hot.png"}, {L"thumbpushedimage", L"skin\\pushed.png"},
       {L"railcolor", L"#FF010203"}, {L"thumbhotcolor", L"#80102030"}, {L"arrowcolor", L"#FFF"}},
      &style);
  EXPECT_EQ(10, style.width);
  EXPECT_FALSE(style.showButton1);
  EXPECT_EQ(L"skin\\rail.png", style.railImage);
  EXPECT_EQ(L"skin\\thumb.png", style.thumbImage[uikit::ScrollBarStyle::kNormal]);
  EXPECT_EQ(L"skin\\hot.png", style.thumbImage[uikit::ScrollBarStyle::kHot]);
  EXPECT_EQ(L"skin\\pushed.png", style.thumbImage[uikit::ScrollBarStyle::kPushed]);
  EXPECT_EQ(0xFF010203u, style.railColor);
  EXPECT_EQ(0x80102030u, style.thumbColor[uikit::ScrollBarStyle::kHot]);
  EXPECT_EQ(std::vector<std::wstring>{L"arrowcolor"}, unknown);

  // Values that do not parse keep the defaults, with a log line each.
  uikit::ScrollBarStyle bad;
  EXPECT_TRUE(uikit::ParseScrollBarStyle(
                  {{L"width", L"0"}, {L"width", L"wide"}, {L"thumbcolor", L"grey"},
                   {L"showbutton2", L"maybe"}},
                  &bad)
                  .empty());
  const uikit::ScrollBarStyle plain;
  EXPECT_EQ(plain.width, bad.width);
  EXPECT_EQ(plain.thumbColor[uikit::ScrollBarStyle::kNormal],
            bad.thumbColor[uikit::ScrollBarStyle::kNormal]);
  EXPECT_FALSE(bad.showButton2);
  EXPECT_TRUE(Logged("ScrollBar ignores width=\"wide\""));
  EXPECT_TRUE(Logged("ScrollBar ignores thumbcolor=\"grey\""));
}

TEST_F(ScrollBarStyleTest, ScrollingLayoutsDrawTheSkinImagesPerThumbState) {
  uikit::Window* w = OpenScrolling(kScrollSkin);
  ASSERT_NE(nullptr, w);
  EXPECT_EQ(10, w->GetScrollBarStyle().width);
  auto* area = w->Find<uikit::Container>(L"area");
  const Rect bar = area->ScrollBarRect();
  EXPECT_EQ((Rect{190, 0, 200, 100}), bar);  // the style's width
  EXPECT_EQ(190, area->GetItemAt(0)->GetPos().right);
  // Rail, then the thumb in its normal state.
  EXPECT_EQ((std::vector<int>{10, 11}), NineGridWidths(*w));

  const Rect thumb = area->ScrollThumbRect();
  const uikit::Point onThumb{(thumb.left + thumb.right) / 2, (thumb.top + thumb.bottom) / 2};
  driver().MouseMove(*w, onThumb);
  EXPECT_EQ(uikit::ScrollBarStyle::kHot, area->ThumbState());
  EXPECT_EQ((std::vector<int>{10, 12}), NineGridWidths(*w));
  driver().MouseDown(*w, onThumb);
  driver().MouseMove(*w, uikit::Point{onThumb.x, onThumb.y + 20});
  EXPECT_EQ(uikit::ScrollBarStyle::kPushed, area->ThumbState());
  EXPECT_EQ((std::vector<int>{10, 13}), NineGridWidths(*w));
  EXPECT_GT(area->GetScrollPos(), 0);
  driver().MouseUp(*w, uikit::Point{onThumb.x, onThumb.y + 20});
  driver().MouseMove(*w, uikit::Point{50, 50});
  EXPECT_EQ(uikit::ScrollBarStyle::kNormal, area->ThumbState());
  EXPECT_EQ((std::vector<int>{10, 11}), NineGridWidths(*w));
}

TEST_F(ScrollBarStyleTest, MissingImagesFallBackToTheStyleColours) {
  // Only a normal thumb image that is not in the package, and colours.
  uikit::Window* w = OpenScrolling(R"(<Window>
    <Default name="ScrollBar" value="railcolor=&quot;#FF202020&quot; thumbcolor=&quot;#FF404040&quot; thumbnormalimage=&quot;skin\gone.png&quot; arrows=&quot;1&quot;" />
  </Window>)");
  ASSERT_NE(nullptr, w);
  auto* area = w->Find<uikit::Container>(L"area");
  EXPECT_EQ(192, area->GetItemAt(0)->GetPos().right);  // the default width of 8
  const auto ops = driver().Paint(*w);
  EXPECT_TRUE(OfKind(ops, DrawOp::Kind::kNineGrid).empty());
  bool rail = false, thumb = false;
  for (const auto& op : ops) {
    rail = rail || (op.kind == DrawOp::Kind::kFill && op.color == 0xFF202020u &&
                    op.rect == area->ScrollBarRect());
    thumb = thumb || (op.kind == DrawOp::Kind::kRoundFill && op.color == 0xFF404040u &&
                      op.rect == area->ScrollThumbRect());
  }
  EXPECT_TRUE(rail);
  EXPECT_TRUE(thumb);
  EXPECT_TRUE(Logged("unknown attribute arrows of ScrollBar"));
}

}  // namespace
