#include <gtest/gtest.h>

#include "tests/uikit/ui_fixture.h"
#include "uikit/layout_builder.h"

namespace {

using uikit::Rect;

class LayoutTest : public uitest::UiTest {};

const char kMain[] = R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="400,300" caption="0,0,0,40" bkcolor="#FFFFFFFF">
  <Font id="0" name="Microsoft YaHei" size="12" />
  <Font id="1" name="Meiryo UI" size="16" bold="true" default="true" />
  <Default name="Button" value="textcolor=&quot;#FF333333&quot; cursor=&quot;hand&quot; height=&quot;30&quot;" />
  <VerticalLayout name="root" inset="10,10,10,10" childpadding="5">
    <Label name="title" height="40" text="Title" font="0" />
    <HorizontalLayout name="row" height="30">
      <Button name="a" width="100" text="A" />
      <Button name="b" text="B" padding="5,0,5,0" />
      <Button name="c" text="C" />
    </HorizontalLayout>
    <Control name="filler" />
    <Button name="ok" text="OK" textcolor="#FFFF0000" width="80" />
  </VerticalLayout>
</Window>)";

TEST_F(LayoutTest, FlowSharesTheRestAndKeepsFixedSizes) {
  Skin({{"main.xml", kMain}});
  uikit::Window* w = Open(L"main.xml");
  ASSERT_NE(nullptr, w);
  EXPECT_EQ(400, w->GetClientSize().cx);
  EXPECT_EQ(300, w->GetClientSize().cy);
  EXPECT_EQ((Rect{10, 10, 390, 50}), w->FindControl(L"title")->GetPos());
  EXPECT_EQ((Rect{10, 55, 390, 85}), w->FindControl(L"row")->GetPos());
  // 380 wide: a takes 100, b and c share 280 less b's padding 10: 135 each.
  EXPECT_EQ((Rect{10, 55, 110, 85}), w->FindControl(L"a")->GetPos());
  EXPECT_EQ((Rect{115, 55, 250, 85}), w->FindControl(L"b")->GetPos());
  EXPECT_EQ((Rect{255, 55, 390, 85}), w->FindControl(L"c")->GetPos());
  // The filler takes what the fixed heights leave: 280 - 40 - 30 - 30 - 3 x 5.
  EXPECT_EQ(165, w->FindControl(L"filler")->GetPos().Height());
  EXPECT_EQ((Rect{10, 260, 90, 290}), w->FindControl(L"ok")->GetPos());
}

TEST_F(LayoutTest, DefaultsApplyBeforeOwnAttributes) {
  Skin({{"main.xml", kMain}});
  uikit::Window* w = Open(L"main.xml");
  ASSERT_NE(nullptr, w);
  auto* a = w->Find<uikit::Button>(L"a");
  auto* ok = w->Find<uikit::Button>(L"ok");
  ASSERT_TRUE(a && ok);
  EXPECT_EQ(0xFF333333u, a->GetTextColor());
  EXPECT_EQ(0xFFFF0000u, ok->GetTextColor());  // own attribute wins over the default
  EXPECT_TRUE(a->IsHandCursor());
  EXPECT_EQ(30, ok->GetFixedHeight());
  EXPECT_EQ(L"#FFFF0000", ok->GetAttribute(L"textcolor"));
  EXPECT_EQ(L"", ok->GetAttribute(L"no-such"));
  // The label is not a Button: no default.
  EXPECT_EQ(uikit::kBlack, w->FindControl(L"title")->GetTextColor());
}

TEST_F(LayoutTest, FontsAndTheDefaultFont) {
  Skin({{"main.xml", kMain}});
  uikit::Window* w = Open(L"main.xml");
  ASSERT_NE(nullptr, w);
  EXPECT_EQ(L"Microsoft YaHei", w->GetFont(0).face);
  EXPECT_EQ(12, w->GetFont(0).size);
  EXPECT_EQ(L"Meiryo UI", w->GetFont(-1).face);  // marked default
  EXPECT_TRUE(w->GetFont(-1).bold);
  EXPECT_EQ(L"Meiryo UI", w->GetFont(7).face);   // unknown index: the default
  w->SetFontFace(L"batang");
  EXPECT_EQ(L"batang", w->GetFont(0).face);
  EXPECT_EQ(12, w->GetFont(0).size);
}

TEST_F(LayoutTest, LookupByNameAndKind) {
  Skin({{"main.xml", kMain}});
  uikit::Window* w = Open(L"main.xml");
  ASSERT_NE(nullptr, w);
  EXPECT_EQ(uikit::ControlKind::kButton, w->FindControl(L"a")->Kind());
  EXPECT_NE(nullptr, w->Find<uikit::Label>(L"a"));        // a Button is a Label
  EXPECT_EQ(nullptr, w->Find<uikit::Option>(L"a"));       // but not an Option
  EXPECT_EQ(nullptr, w->Find<uikit::Button>(L"missing"));
  EXPECT_EQ(nullptr, w->Find<uikit::Button>(L"missing"));
  EXPECT_TRUE(Logged("no control \"missing\""));
  EXPECT_TRUE(Logged("control \"a\" is a Button, not the kind asked for"));
  int missingLines = 0;
  for (const auto& line : log_.Lines()) missingLines += line.find("\"missing\"") != std::string::npos;
  EXPECT_EQ(1, missingLines);
  EXPECT_EQ(w->FindControl(L"root"), w->Root());
  EXPECT_EQ(w->FindControl(L"row"), w->FindControl(L"b")->Parent());
}

TEST_F(LayoutTest, IncludesNestAndContributeFontsAndControls) {
  Skin({{"main.xml", R"(<Window size="200,100"><Include source="font.xml"/>
          <VerticalLayout name="root"><Include source="page.xml"/><Label name="after"/></VerticalLayout></Window>)"},
        {"font.xml", R"(<Window><Font id="3" name="Thai Face" size="20"/></Window>)"},
        {"page.xml", R"(<VerticalLayout><Label name="p1" height="10"/><Include source="sub\inner.xml"/></VerticalLayout>)"},
        {"sub/inner.xml", R"(<Window><Font id="4" name="Inner" size="9"/><Button name="deep" height="20"/></Window>)"}});
  uikit::Window* w = Open(L"main.xml");
  ASSERT_NE(nullptr, w);
  EXPECT_EQ(L"Thai Face", w->GetFont(3).face);
  EXPECT_EQ(L"Inner", w->GetFont(4).face);
  auto* root = w->Find<uikit::VerticalLayout>(L"root");
  ASSERT_NE(nullptr, root);
  // page.xml's root children replace the Include; inner.xml's root control joins them.
  ASSERT_EQ(3, root->GetCount());
  EXPECT_EQ(L"p1", root->GetItemAt(0)->Name());
  EXPECT_EQ(L"deep", root->GetItemAt(1)->Name());
  EXPECT_EQ(L"after", root->GetItemAt(2)->Name());
}

TEST_F(LayoutTest, IncludeCyclesAndMissingIncludesAreRefused) {
  Skin({{"main.xml", R"(<Window size="200,100"><VerticalLayout name="root">
          <Include source="a.xml"/><Include source="gone.xml"/><Include source="bad.xml"/>
          <Include/><Label name="last"/></VerticalLayout></Window>)"},
        {"a.xml", R"(<Window><Label name="from_a"/><Include source="B.XML"/></Window>)"},
        {"b.xml", R"(<Window><Label name="from_b"/><Include source="a.xml"/><Include source="main.xml"/></Window>)"},
        {"bad.xml", "<Window><Label name=broken></Window>"}});
  uikit::Window* w = Open(L"main.xml");
  ASSERT_NE(nullptr, w);
  EXPECT_NE(nullptr, w->FindControl(L"from_a"));
  EXPECT_NE(nullptr, w->FindControl(L"from_b"));
  EXPECT_NE(nullptr, w->FindControl(L"last"));
  EXPECT_TRUE(Logged("Include of a.xml refused (it includes itself)"));
  EXPECT_TRUE(Logged("Include of main.xml refused (it includes itself)"));
  EXPECT_TRUE(Logged("Layout file missing: gone.xml"));
  EXPECT_TRUE(Logged("Layout file is not XML: bad.xml"));
  EXPECT_TRUE(Logged("an Include without source is ignored"));
  EXPECT_EQ(3, w->Find<uikit::Container>(L"root")->GetCount());  // from_a, from_b, last
}

TEST_F(LayoutTest, UnknownElementsAndAttributesAreLoggedOnceAndSkipped) {
  Skin({{"main.xml", R"(<Window size="200,100" sizebox="4,4,4,4"><VerticalLayout name="root">
          <Slider name="s"><Label name="inside_unknown"/></Slider>
          <Label name="l" height="abc" frobnicate="1" frobnicate2="x" textcolor="red" text="kept"/>
          <Label name="l2" frobnicate="1"/>
          <Button name="b" width="-5"><Label name="child_of_button"/></Button>
        </VerticalLayout></Window>)"}});
  uikit::Window* w = Open(L"main.xml");
  ASSERT_NE(nullptr, w);
  EXPECT_EQ(nullptr, w->FindControl(L"s"));
  EXPECT_EQ(nullptr, w->FindControl(L"inside_unknown"));
  EXPECT_EQ(nullptr, w->FindControl(L"child_of_button"));
  auto* l = w->FindControl(L"l");
  ASSERT_NE(nullptr, l);
  EXPECT_EQ(0, l->GetFixedHeight());              // a bad number keeps the default
  EXPECT_EQ(uikit::kBlack, l->GetTextColor());
  EXPECT_EQ(L"kept", l->GetText());
  EXPECT_EQ(0, w->FindControl(L"b")->GetFixedWidth());
  EXPECT_TRUE(Logged("unknown element Slider is ignored"));
  EXPECT_TRUE(Logged("unknown attribute sizebox of Window"));
  EXPECT_TRUE(Logged("unknown attribute frobnicate of Label"));
  EXPECT_TRUE(Logged("ignores height=\"abc\""));
  EXPECT_TRUE(Logged("ignores textcolor=\"red\""));
  int lines = 0;
  for (const auto& line : log_.Lines()) lines += line.find("unknown attribute frobnicate of Label") != std::string::npos;
  EXPECT_EQ(1, lines);  // once per file
}

TEST_F(LayoutTest, MissingFilesAndNonLayoutsFailCreate) {
  Skin({{"text.xml", "just some text, no XML"},
        {"empty.xml", ""},
        {"noroot.xml", "<Window size=\"10,10\"><Font id=\"0\" name=\"x\"/></Window>"},
        {"binary.xml", std::string("\x00\x01\x02<Window>", 11)}});
  for (const wchar_t* file : {L"none.xml", L"text.xml", L"empty.xml", L"noroot.xml", L"binary.xml"}) {
    uikit::Window w;
    uikit::WindowSpec spec;
    spec.className = L"X";
    EXPECT_FALSE(w.Create(spec, file)) << file;
    EXPECT_FALSE(w.IsCreated());
    EXPECT_EQ(nullptr, w.FindControl(L"anything"));
    EXPECT_FALSE(w.PostMessage(uikit::kMsgUser));
    EXPECT_FALSE(w.PostTask([] {}));
    EXPECT_EQ(-1, w.ShowModal());
    w.Close(1);  // all safe on a window that never was
  }
  EXPECT_TRUE(Logged("Layout file missing: none.xml"));
  EXPECT_TRUE(Logged("Layout file is not XML: text.xml"));
  EXPECT_TRUE(Logged("Layout file has no control: noroot.xml"));
  EXPECT_TRUE(backend().Windows().empty());
}

TEST_F(LayoutTest, LoadLayoutReadsLanguageFilesWithoutAWindow) {
  Skin({{"language/language_english.xml",
         "\xEF\xBB\xBF<VerticalLayout><VerticalLayout name=\"language_english\">"
         "<VerticalLayout name=\"install_page\"><Label name=\"install_btn\" text=\"Install now\"/>"
         "<Label name=\"install_label\" text=\"%0.f%%\"/></VerticalLayout></VerticalLayout></VerticalLayout>"}});
  auto tree = uikit::LoadLayout(package_, L"language\\language_english.xml");
  ASSERT_NE(nullptr, tree);
  std::vector<std::pair<std::wstring, std::wstring>> labels;
  tree->ForEach([&](uikit::Control& c) {
    if (c.Kind() == uikit::ControlKind::kLabel) labels.emplace_back(c.Name(), c.GetText());
  });
  ASSERT_EQ(2u, labels.size());
  EXPECT_EQ(L"Install now", labels[0].second);
  EXPECT_EQ(L"%0.f%%", labels[1].second);
  EXPECT_EQ(nullptr, uikit::LoadLayout(package_, L"language\\language_thai.xml"));
}

TEST_F(LayoutTest, FloatTabAndContainerPlacement) {
  Skin({{"main.xml", R"(<Window size="300,200"><Container name="root">
          <TabLayout name="tabs" selectedid="1" inset="5,5,5,5">
            <Label name="p0"/><VerticalLayout name="p1"><Button name="in_p1" height="20"/></VerticalLayout>
          </TabLayout>
          <Button name="x" float="true" pos="260,10,290,40"/>
          <Control name="fixed" width="50" height="20" padding="3,4,0,0"/>
        </Container></Window>)"}});
  uikit::Window* w = Open(L"main.xml");
  ASSERT_NE(nullptr, w);
  EXPECT_EQ((Rect{5, 5, 295, 195}), w->FindControl(L"p1")->GetPos());
  EXPECT_EQ((Rect{5, 5, 295, 25}), w->FindControl(L"in_p1")->GetPos());
  EXPECT_FALSE(w->FindControl(L"p0")->IsVisibleInTree());
  EXPECT_TRUE(w->FindControl(L"p0")->IsVisible());
  EXPECT_EQ((Rect{260, 10, 290, 40}), w->FindControl(L"x")->GetPos());
  EXPECT_EQ((Rect{3, 4, 53, 24}), w->FindControl(L"fixed")->GetPos());
}

TEST_F(LayoutTest, MinAndMaxBoundTheShares) {
  Skin({{"main.xml", R"(<Window size="300,100"><HorizontalLayout name="root">
          <Control name="a" maxwidth="50"/><Control name="b"/><Control name="c" minwidth="200"/>
        </HorizontalLayout></Window>)"}});
  uikit::Window* w = Open(L"main.xml");
  ASSERT_NE(nullptr, w);
  EXPECT_EQ(50, w->FindControl(L"a")->GetPos().Width());
  EXPECT_EQ(200, w->FindControl(L"c")->GetPos().Width());
  EXPECT_EQ(50, w->FindControl(L"b")->GetPos().Width());
}

// Both flows are one: a horizontal layout places its children as the vertical layout with
// every size and padding turned across, and that one with the rectangles turned back.
TEST_F(LayoutTest, HorizontalFlowIsTheVerticalFlowTurned) {
  Skin({{"main.xml", R"(<Window size="300,200"><HorizontalLayout>
          <VerticalLayout name="v" width="120" height="160" inset="2,3,4,5" childpadding="6">
            <Control name="v1" height="30" width="50" padding="1,2,3,4"/>
            <Control name="v2" minheight="70" padding="5,0,0,1"/>
            <Control name="v3" maxheight="20" maxwidth="40"/>
            <Control name="v4" float="true" pos="1,1,11,11"/>
            <Control name="v5"/>
          </VerticalLayout>
          <Control width="10"/>
          <HorizontalLayout name="h" width="160" height="120" inset="3,2,5,4" childpadding="6">
            <Control name="h1" width="30" height="50" padding="2,1,4,3"/>
            <Control name="h2" minwidth="70" padding="0,5,1,0"/>
            <Control name="h3" maxwidth="20" maxheight="40"/>
            <Control name="h4" float="true" pos="1,1,11,11"/>
            <Control name="h5"/>
          </HorizontalLayout>
        </HorizontalLayout></Window>)"}});
  uikit::Window* w = Open(L"main.xml");
  ASSERT_NE(nullptr, w);
  const Rect v = w->FindControl(L"v")->GetPos();
  const Rect h = w->FindControl(L"h")->GetPos();
  ASSERT_EQ(v.Width(), h.Height());
  for (const wchar_t* n : {L"1", L"2", L"3", L"5"}) {
    const Rect rv = w->FindControl(std::wstring(L"v") + n)->GetPos();
    const Rect rh = w->FindControl(std::wstring(L"h") + n)->GetPos();
    const Rect turned{h.left + (rv.top - v.top), h.top + (rv.left - v.left),
                      h.left + (rv.bottom - v.top), h.top + (rv.right - v.left)};
    EXPECT_EQ(turned, rh) << "child " << n;
  }
  EXPECT_EQ((Rect{v.left + 1, v.top + 1, v.left + 11, v.top + 11}), w->FindControl(L"v4")->GetPos());
  EXPECT_EQ((Rect{h.left + 1, h.top + 1, h.left + 11, h.top + 11}), w->FindControl(L"h4")->GetPos());
  // The fixed and bounded sizes hold along the axis and across it.
  EXPECT_EQ(30, w->FindControl(L"v1")->GetPos().Height());
  EXPECT_EQ(50, w->FindControl(L"v1")->GetPos().Width());
  EXPECT_EQ(20, w->FindControl(L"h3")->GetPos().Width());
  EXPECT_EQ(40, w->FindControl(L"h3")->GetPos().Height());
  EXPECT_GE(w->FindControl(L"h2")->GetPos().Width(), 70);
}

TEST_F(LayoutTest, RightToLeftMirrorsEveryHorizontalPosition) {
  Skin({{"main.xml", kMain}});
  uikit::Window* w = Open(L"main.xml", /*rtl=*/true);
  ASSERT_NE(nullptr, w);
  EXPECT_EQ((Rect{290, 55, 390, 85}), w->FindControl(L"a")->GetPos());
  EXPECT_EQ((Rect{150, 55, 285, 85}), w->FindControl(L"b")->GetPos());
  EXPECT_EQ((Rect{10, 55, 145, 85}), w->FindControl(L"c")->GetPos());
  EXPECT_EQ((Rect{310, 260, 390, 290}), w->FindControl(L"ok")->GetPos());
  w->SetRtl(false);
  EXPECT_EQ((Rect{10, 55, 110, 85}), w->FindControl(L"a")->GetPos());
}

TEST_F(LayoutTest, DpiScaleTurnsLogicalIntoDevicePixels) {
  Skin({{"main.xml", kMain}}, 1.5);
  uikit::Window* w = Open(L"main.xml");
  ASSERT_NE(nullptr, w);
  EXPECT_EQ(600, w->GetClientSize().cx);
  EXPECT_EQ(450, w->GetClientSize().cy);
  EXPECT_EQ((Rect{15, 83, 165, 128}), w->FindControl(L"a")->GetPos());
  EXPECT_EQ(18, w->GetFont(0).size);
  EXPECT_EQ(24, w->GetFont(1).size);
  w->Resize(400, 360);
  EXPECT_EQ(540, w->GetClientSize().cy);
}

TEST_F(LayoutTest, VerticalScrollingWithWheelAndKeys) {
  Skin({{"main.xml", R"(<Window size="200,100"><VerticalLayout name="area" vscrollbar="true">
          <Label name="l1" height="80"/><Button name="b1" height="80"/><Button name="b2" height="80"/>
        </VerticalLayout></Window>)"}});
  uikit::Window* w = Open(L"main.xml");
  ASSERT_NE(nullptr, w);
  auto* area = w->Find<uikit::Container>(L"area");
  ASSERT_NE(nullptr, area);
  EXPECT_EQ(140, area->GetScrollRange());
  EXPECT_EQ(192, w->FindControl(L"l1")->GetPos().right);  // the bar takes 8 pixels
  EXPECT_FALSE(area->ScrollBarRect().IsEmpty());
  driver().Wheel(*w, uikit::Point{50, 50}, -120);
  EXPECT_EQ(40, area->GetScrollPos());
  EXPECT_EQ(-40, w->FindControl(L"l1")->GetPos().top);
  driver().Wheel(*w, uikit::Point{50, 50}, -1200);
  EXPECT_EQ(140, area->GetScrollPos());
  driver().Wheel(*w, uikit::Point{50, 50}, 2400);
  EXPECT_EQ(0, area->GetScrollPos());
  // Tabbing to the last button scrolls it into view.
  driver().KeyPress(*w, uikit::kKeyTab);
  driver().KeyPress(*w, uikit::kKeyTab);
  EXPECT_EQ(w->FindControl(L"b2"), w->GetFocus());
  EXPECT_LE(w->FindControl(L"b2")->GetPos().bottom, 100);
  driver().KeyPress(*w, uikit::kKeyHome);
  EXPECT_EQ(0, area->GetScrollPos());
  // Nothing taller than the layout: no scrolling at all.
  w->FindControl(L"b1")->SetVisible(false);
  w->FindControl(L"b2")->SetVisible(false);
  EXPECT_EQ(0, area->GetScrollRange());
  EXPECT_TRUE(area->ScrollBarRect().IsEmpty());
}

}  // namespace

namespace {

TEST_F(LayoutTest, TheLanguageFaceReachesNativeBoxes) {
  Skin({{"main.xml", R"(<Window size="200,100"><Font id="0" name="Microsoft YaHei" size="12"/>
          <VerticalLayout><Edit name="e" height="30"/></VerticalLayout></Window>)"}});
  uikit::Window* w = Open(L"main.xml");
  ASSERT_NE(nullptr, w);
  auto* box = static_cast<uikit::headless::HeadlessEdit*>(w->Find<uikit::Edit>(L"e")->Native());
  ASSERT_NE(nullptr, box);
  EXPECT_EQ(L"Microsoft YaHei", box->Font().face);
  w->SetFontFace(L"batang");
  EXPECT_EQ(L"batang", box->Font().face);
  w->OnDpiChanged(2.0);
  EXPECT_EQ(24, box->Font().size);
}

}  // namespace
