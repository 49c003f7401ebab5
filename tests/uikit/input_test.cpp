#include <gtest/gtest.h>

#include "tests/uikit/ui_fixture.h"

namespace {

using uikit::Point;
using uikit::Rect;
using Role = uikit::IWindowEvents::AccessibleItem::Role;

const char kForm[] = R"(<Window size="400,400" caption="0,0,0,60">
  <Font id="0" name="Face" size="12" default="true"/>
  <VerticalLayout name="root">
    <HorizontalLayout name="titlebar" height="30">
      <Label name="caption_text" text="Caption"/>
      <Button name="minbtn" width="30" text="_"/>
      <Button name="closebtn" width="30" text="X" accessiblename="Close"/>
    </HorizontalLayout>
    <Text name="links" height="30" text="See {a}Privacy{/a} and {a}License{/a}"/>
    <HorizontalLayout height="30">
      <Option name="o1" group="g" text="One" selected="true"/>
      <Option name="o2" group="g" text="Two"/>
      <Option name="o3" group="other" text="Three"/>
      <CheckBox name="agree" text="Agree"/>
    </HorizontalLayout>
    <Combo name="lang" height="30">
      <ListLabelElement text="English"/><ListLabelElement text="Japanese"/>
      <ListLabelElement text="Hidden" visible="false"/><ListLabelElement text="Spanish"/>
    </Combo>
    <Edit name="path" height="30" text="C:\Program Files\Kerfo"/>
    <Button name="disabled_btn" height="30" text="Off" enabled="false"/>
    <Button name="hidden_btn" height="30" text="Hidden" visible="false"/>
    <TabLayout name="tabs" height="60">
      <Button name="page0_btn" text="P0"/>
      <Button name="page1_btn" text="P1"/>
    </TabLayout>
    <Progress name="progress" height="20" value="30"/>
    <Control name="rest"/>
  </VerticalLayout>
</Window>)";

class InputTest : public uitest::UiTest {
 protected:
  void SetUp() override {
    Skin({{"form.xml", kForm}});
    w_ = Open(L"form.xml");
    ASSERT_NE(nullptr, w_);
    w_->ShowWindow(true, true);
  }
  Point Centre(const std::wstring& name) {
    Rect r = w_->FindControl(name)->GetPos();
    return Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }
  uikit::Window* w_ = nullptr;
};

TEST_F(InputTest, ClickSendsOneNotificationWithItsSender) {
  ASSERT_TRUE(driver().Click(*w_, L"minbtn"));
  auto clicks = recorder_.Of(L"click");
  ASSERT_EQ(1u, clicks.size());
  EXPECT_EQ(w_->FindControl(L"minbtn"), clicks[0].sender);
  EXPECT_FALSE(driver().Click(*w_, L"hidden_btn"));
  EXPECT_FALSE(driver().Click(*w_, L"nothing"));
  driver().Click(*w_, L"disabled_btn");
  EXPECT_EQ(1u, recorder_.Of(L"click").size());
}

TEST_F(InputTest, APictureClicksOnlyWhileItShowsTheHand) {
  uikit::Control* picture = w_->FindControl(L"rest");
  ASSERT_TRUE(driver().Click(*w_, L"rest"));
  EXPECT_TRUE(recorder_.Of(L"click").empty());
  picture->SetHandCursor(true);
  ASSERT_TRUE(driver().Click(*w_, L"rest"));
  ASSERT_EQ(1u, recorder_.Of(L"click").size());
  EXPECT_EQ(picture, recorder_.Of(L"click")[0].sender);
  picture->SetEnabled(false);
  driver().Click(*w_, L"rest");
  picture->SetEnabled(true);
  picture->SetHandCursor(false);
  driver().Click(*w_, L"rest");
  EXPECT_EQ(1u, recorder_.Of(L"click").size());
  // Other kinds keep their own clicks: a label with the hand is still no button.
  w_->FindControl(L"caption_text")->SetHandCursor(true);
  ASSERT_TRUE(driver().Click(*w_, L"caption_text"));
  EXPECT_EQ(1u, recorder_.Of(L"click").size());
}

TEST_F(InputTest, ClickNeedsReleaseOverThePressedControl) {
  driver().MouseMove(*w_, Centre(L"minbtn"));
  driver().MouseDown(*w_, Centre(L"minbtn"));
  EXPECT_TRUE(w_->FindControl(L"minbtn")->IsPushed());
  driver().MouseMove(*w_, Centre(L"closebtn"));
  EXPECT_FALSE(w_->FindControl(L"closebtn")->IsHot());  // captured by the pressed control
  EXPECT_FALSE(w_->FindControl(L"minbtn")->IsHot());
  driver().MouseUp(*w_, Centre(L"closebtn"));
  EXPECT_TRUE(recorder_.Of(L"click").empty());
  EXPECT_FALSE(w_->FindControl(L"minbtn")->IsPushed());
  // Pressed, left and came back: still a click.
  driver().MouseDown(*w_, Centre(L"minbtn"));
  driver().MouseMove(*w_, Point{1, 200});
  driver().MouseMove(*w_, Centre(L"minbtn"));
  EXPECT_TRUE(w_->FindControl(L"minbtn")->IsHot());
  driver().MouseUp(*w_, Centre(L"minbtn"));
  EXPECT_EQ(1u, recorder_.Of(L"click").size());
}

TEST_F(InputTest, HoverMakesControlsHotAndLinksShowAHand) {
  driver().Hover(*w_, L"minbtn");
  EXPECT_TRUE(w_->FindControl(L"minbtn")->IsHot());
  driver().Hover(*w_, L"closebtn");
  EXPECT_FALSE(w_->FindControl(L"minbtn")->IsHot());
  auto* links = w_->Find<uikit::Label>(L"links");
  driver().Paint(*w_);
  Rect r = links->GetLinkRect(1);
  ASSERT_FALSE(r.IsEmpty());
  driver().MouseMove(*w_, Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
  EXPECT_EQ(1, links->HotLink());
  EXPECT_TRUE(backend().Find(*w_)->IsCursorHand());
  // The hot link is drawn underlined.
  auto ops = uitest::TextOps(driver().Paint(*w_), L"License");
  ASSERT_EQ(1u, ops.size());
  EXPECT_TRUE(ops[0].font.underline);
  EXPECT_FALSE(uitest::TextOps(driver().Paint(*w_), L"Privacy")[0].font.underline);
  driver().MouseMove(*w_, Point{r.left - 30, (r.top + r.bottom) / 2});
  EXPECT_EQ(-1, links->HotLink());
  EXPECT_FALSE(backend().Find(*w_)->IsCursorHand());
}

TEST_F(InputTest, LinksReportTheirIndexInTextOrder) {
  ASSERT_TRUE(driver().ClickLink(*w_, L"links", 1));
  ASSERT_TRUE(driver().ClickLink(*w_, L"links", 0));
  auto links = recorder_.Of(L"link");
  ASSERT_EQ(2u, links.size());
  EXPECT_EQ(1, links[0].linkIndex);
  EXPECT_EQ(0, links[1].linkIndex);
  EXPECT_EQ(w_->FindControl(L"links"), links[0].sender);
  EXPECT_FALSE(driver().ClickLink(*w_, L"links", 2));
  // A click on the plain text between the links is nothing.
  auto* label = w_->Find<uikit::Label>(L"links");
  Rect a = label->GetLinkRect(0), b = label->GetLinkRect(1);
  Point between{(a.right + b.left) / 2, (a.top + a.bottom) / 2};
  driver().MouseDown(*w_, between);
  driver().MouseUp(*w_, between);
  EXPECT_EQ(2u, recorder_.Of(L"link").size());
}

TEST_F(InputTest, OptionsOfAGroupExcludeEachOther) {
  auto* o1 = w_->Find<uikit::Option>(L"o1");
  auto* o2 = w_->Find<uikit::Option>(L"o2");
  auto* o3 = w_->Find<uikit::Option>(L"o3");
  EXPECT_TRUE(o1->IsSelected());
  driver().Click(*w_, L"o2");
  EXPECT_FALSE(o1->IsSelected());
  EXPECT_TRUE(o2->IsSelected());
  driver().Click(*w_, L"o2");  // a selected option of a group stays selected
  EXPECT_TRUE(o2->IsSelected());
  driver().Click(*w_, L"o3");  // another group
  EXPECT_TRUE(o2->IsSelected());
  EXPECT_TRUE(o3->IsSelected());
  o1->SetCheck(true);
  EXPECT_FALSE(o2->GetCheck());
  // Notifications: "selectchanged" for each change, "click" for each press.
  auto changes = recorder_.Of(L"selectchanged");
  ASSERT_EQ(3u, changes.size());  // o1 off, o2 on, o3 on; SetCheck without notify sends none
  EXPECT_EQ(o1, changes[0].sender);
  EXPECT_EQ(o2, changes[1].sender);
  EXPECT_EQ(3u, recorder_.Of(L"click").size());
}

TEST_F(InputTest, CheckBoxTogglesBeforeItsClickIsSent) {
  auto* agree = w_->Find<uikit::CheckBox>(L"agree");
  ASSERT_NE(nullptr, agree);
  struct Reader : uikit::INotifyHandler {
    uikit::CheckBox* box;
    std::vector<bool> states;
    void Notify(const uikit::Notification& n) override {
      if (n.type == L"click" && n.sender == box) states.push_back(box->GetCheck());
    }
  } reader;
  reader.box = agree;
  w_->SetNotifyHandler(&reader);
  driver().Click(*w_, L"agree");
  driver().Click(*w_, L"agree");
  EXPECT_EQ((std::vector<bool>{true, false}), reader.states);
  agree->SetCheck(true, /*notify=*/false);
  EXPECT_TRUE(agree->IsSelected());
}

TEST_F(InputTest, ComboSelectionThroughTheNativeBox) {
  auto* combo = w_->Find<uikit::Combo>(L"lang");
  ASSERT_NE(nullptr, combo);
  ASSERT_NE(nullptr, combo->Native());
  auto* native = static_cast<uikit::headless::HeadlessCombo*>(combo->Native());
  EXPECT_EQ(4, combo->GetCount());
  EXPECT_EQ(-1, combo->GetCurSel());
  // The hidden item is not offered; indexes stay those of the skin.
  EXPECT_EQ((std::vector<std::wstring>{L"English", L"Japanese", L"Spanish"}), native->Items());
  EXPECT_FALSE(combo->SelectItem(2));
  EXPECT_TRUE(combo->SelectItem(1));
  EXPECT_EQ(1, native->GetCurSel());
  EXPECT_TRUE(recorder_.Of(L"itemselect").empty());  // no notify asked
  ASSERT_TRUE(native->Pick(2));                      // the user picks "Spanish"
  EXPECT_EQ(3, combo->GetCurSel());
  EXPECT_EQ(L"Spanish", combo->GetText());
  auto picks = recorder_.Of(L"itemselect");
  ASSERT_EQ(1u, picks.size());
  EXPECT_EQ(3, picks[0].itemIndex);
  EXPECT_EQ(combo, picks[0].sender);
  combo->SelectItem(0, /*notify=*/true);
  EXPECT_EQ(0, recorder_.Of(L"itemselect").back().itemIndex);
  EXPECT_FALSE(combo->SelectItem(9));
  combo->SetItemVisible(2, true);
  EXPECT_EQ(4u, native->Items().size());
  EXPECT_EQ(L"Hidden", combo->GetItemText(2));
  int added = combo->AddItem(L"German");
  EXPECT_EQ(4, added);
  EXPECT_EQ(L"German", native->Items().back());
}

TEST_F(InputTest, TabLayoutSelection) {
  auto* tabs = w_->Find<uikit::TabLayout>(L"tabs");
  ASSERT_NE(nullptr, tabs);
  EXPECT_EQ(0, tabs->GetCurSel());
  EXPECT_FALSE(driver().Click(*w_, L"page1_btn"));
  EXPECT_TRUE(tabs->SelectItem(1));
  EXPECT_EQ(1, tabs->GetCurSel());
  EXPECT_TRUE(driver().Click(*w_, L"page1_btn"));
  EXPECT_FALSE(w_->FindControl(L"page0_btn")->IsVisibleInTree());
  EXPECT_TRUE(tabs->SelectItem(1));  // the same page: nothing sent
  EXPECT_FALSE(tabs->SelectItem(2));
  EXPECT_FALSE(tabs->SelectItem(-1));
  auto changes = recorder_.Of(L"selectchanged");
  ASSERT_EQ(1u, changes.size());
  EXPECT_EQ(tabs, changes[0].sender);
  EXPECT_EQ(1, changes[0].itemIndex);
}

TEST_F(InputTest, TabOrderFollowsTheDocumentAndSkipsDisabledAndHidden) {
  std::vector<std::wstring> order;
  for (int i = 0; i < 11; ++i) {
    driver().KeyPress(*w_, uikit::kKeyTab);
    order.push_back(w_->GetFocus() ? w_->GetFocus()->Name() : L"-");
  }
  // The text with two links is one stop that takes two Tabs, one per link.
  EXPECT_EQ((std::vector<std::wstring>{L"minbtn", L"closebtn", L"links", L"links", L"o1", L"o2",
                                       L"o3", L"agree", L"lang", L"path", L"page0_btn"}),
            order);
  // The combo and edit took the keyboard in their native boxes; Tab out of the edit goes on.
  driver().KeyPress(*w_, uikit::kKeyTab);
  EXPECT_EQ(w_->FindControl(L"minbtn"), w_->GetFocus());  // wraps around
  driver().KeyPress(*w_, uikit::kKeyTab, uikit::kModShift);
  EXPECT_EQ(w_->FindControl(L"page0_btn"), w_->GetFocus());
  driver().KeyPress(*w_, uikit::kKeyTab, uikit::kModShift);
  EXPECT_EQ(w_->FindControl(L"path"), w_->GetFocus());
  EXPECT_NE(nullptr, backend().FocusedEdit());
  driver().KeyPress(*w_, uikit::kKeyTab, uikit::kModShift);  // inside the native edit
  EXPECT_EQ(w_->FindControl(L"lang"), w_->GetFocus());
  EXPECT_NE(nullptr, backend().FocusedCombo());
}

TEST_F(InputTest, TabOrderIsTheSameInRightToLeftWindows) {
  uikit::Window* rtl = Open(L"form.xml", true, L"Rtl");
  ASSERT_NE(nullptr, rtl);
  driver().KeyPress(*rtl, uikit::kKeyTab);
  EXPECT_EQ(rtl->FindControl(L"minbtn"), rtl->GetFocus());
  EXPECT_LT(rtl->FindControl(L"closebtn")->GetPos().left, rtl->FindControl(L"minbtn")->GetPos().left);
  driver().KeyPress(*rtl, uikit::kKeyTab);
  EXPECT_EQ(rtl->FindControl(L"closebtn"), rtl->GetFocus());
}

TEST_F(InputTest, SpaceAndEnterActivateTheFocusedControl) {
  w_->SetFocus(w_->FindControl(L"agree"));
  driver().KeyPress(*w_, uikit::kKeySpace);
  EXPECT_TRUE(w_->Find<uikit::CheckBox>(L"agree")->GetCheck());
  w_->SetFocus(w_->FindControl(L"o2"));
  driver().KeyPress(*w_, uikit::kKeyReturn);
  EXPECT_TRUE(w_->Find<uikit::Option>(L"o2")->IsSelected());
  // A link: Tab into the text, Tab to its second link, Enter.
  w_->SetFocus(w_->FindControl(L"closebtn"));
  driver().KeyPress(*w_, uikit::kKeyTab);
  driver().KeyPress(*w_, uikit::kKeyTab);
  driver().KeyPress(*w_, uikit::kKeyReturn);
  auto links = recorder_.Of(L"link");
  ASSERT_EQ(1u, links.size());
  EXPECT_EQ(1, links[0].linkIndex);
  // The focus rectangle marks the focused link.
  bool focusDrawn = false;
  const auto ops = driver().Paint(*w_);
  Rect linkRect = w_->Find<uikit::Label>(L"links")->GetLinkRect(1);
  ASSERT_FALSE(linkRect.IsEmpty());
  for (const auto& op : ops) {
    if (op.kind == uikit::headless::DrawOp::Kind::kFocus) {
      focusDrawn = true;
      EXPECT_TRUE(uitest::Inside(op.rect, linkRect));
    }
  }
  EXPECT_TRUE(focusDrawn);
  // Space on a button: a click.
  w_->SetFocus(w_->FindControl(L"minbtn"));
  driver().KeyPress(*w_, uikit::kKeySpace);
  EXPECT_EQ(w_->FindControl(L"minbtn"), recorder_.Of(L"click").back().sender);
}

TEST_F(InputTest, EscapeClicksTheCloseButtonAndAltF4AsksToClose) {
  struct Closer : uikit::IMessageHandler {
    int asked = 0;
    bool OnClose() override {
      ++asked;
      return false;  // keep the window
    }
  } closer;
  w_->SetMessageHandler(&closer);
  EXPECT_TRUE(driver().KeyPress(*w_, uikit::kKeyEscape));
  ASSERT_EQ(1u, recorder_.Of(L"click").size());
  EXPECT_EQ(w_->FindControl(L"closebtn"), recorder_.Of(L"click")[0].sender);
  EXPECT_EQ(0, closer.asked);
  EXPECT_TRUE(driver().KeyPress(*w_, uikit::kKeyF4, uikit::kModAlt));
  EXPECT_EQ(1, closer.asked);
  EXPECT_TRUE(w_->IsCreated());
  // With the close button disabled, Esc does nothing.
  w_->FindControl(L"closebtn")->SetEnabled(false);
  EXPECT_FALSE(driver().KeyPress(*w_, uikit::kKeyEscape));
  EXPECT_EQ(1u, recorder_.Of(L"click").size());
  // Agreeing destroys the window.
  w_->SetMessageHandler(nullptr);
  driver().KeyPress(*w_, uikit::kKeyF4, uikit::kModAlt);
  EXPECT_FALSE(w_->IsCreated());
  EXPECT_EQ(nullptr, backend().Find(*w_));
}

TEST_F(InputTest, EditingInTheNativeBox) {
  auto* edit = w_->Find<uikit::Edit>(L"path");
  ASSERT_NE(nullptr, edit);
  ASSERT_TRUE(driver().Click(*w_, L"path"));
  auto* box = backend().FocusedEdit();
  ASSERT_NE(nullptr, box);
  EXPECT_EQ(edit->Native(), box);
  driver().KeyPress(*w_, uikit::kKeyEnd);
  driver().TypeText(*w_, L"\\x");
  EXPECT_EQ(L"C:\\Program Files\\Kerfo\\x", edit->GetText());
  driver().KeyPress(*w_, uikit::kKeyBack);
  driver().KeyPress(*w_, uikit::kKeyBack);
  EXPECT_EQ(L"C:\\Program Files\\Kerfo", edit->GetText());
  driver().KeyPress(*w_, uikit::kKeyHome);
  driver().KeyPress(*w_, uikit::kKeyDelete);
  driver().KeyPress(*w_, uikit::kKeyDelete);
  driver().TypeText(*w_, L"D:");
  EXPECT_EQ(L"D:\\Program Files\\Kerfo", edit->GetText());
  // Select the drive with Shift+Right, copy, go to the end and paste.
  driver().KeyPress(*w_, uikit::kKeyHome);
  driver().KeyPress(*w_, uikit::kKeyRight, uikit::kModShift);
  driver().KeyPress(*w_, uikit::kKeyRight, uikit::kModShift);
  driver().KeyPress(*w_, 'C', uikit::kModCtrl);
  EXPECT_EQ(L"D:", backend().Clipboard());
  driver().KeyPress(*w_, uikit::kKeyEnd);
  driver().KeyPress(*w_, 'V', uikit::kModCtrl);
  EXPECT_EQ(L"D:\\Program Files\\KerfoD:", edit->GetText());
  // Select all and type over it.
  driver().KeyPress(*w_, 'A', uikit::kModCtrl);
  driver().TypeText(*w_, L"E:\\K");
  EXPECT_EQ(L"E:\\K", edit->GetText());
  EXPECT_FALSE(recorder_.Of(L"textchanged").empty());
  EXPECT_EQ(edit, recorder_.Of(L"textchanged").back().sender);
  // Code sets the text without a change notification.
  size_t changes = recorder_.Of(L"textchanged").size();
  edit->SetText(L"F:\\Kerfo");
  EXPECT_EQ(L"F:\\Kerfo", box->GetText());
  EXPECT_EQ(changes, recorder_.Of(L"textchanged").size());
}

TEST_F(InputTest, NativeChildrenFollowVisibilityAndPages) {
  auto* edit = w_->Find<uikit::Edit>(L"path");
  auto* box = static_cast<uikit::headless::HeadlessEdit*>(edit->Native());
  EXPECT_TRUE(box->IsVisible());
  EXPECT_TRUE(uitest::Inside(box->GetRect(), edit->GetPos()));
  w_->FindControl(L"root")->SetVisible(false);
  EXPECT_FALSE(box->IsVisible());
  w_->FindControl(L"root")->SetVisible(true);
  EXPECT_TRUE(box->IsVisible());
  edit->SetEnabled(false);
  EXPECT_FALSE(box->IsEnabled());
}

TEST_F(InputTest, CaptionAreaDragsExceptOverControls) {
  EXPECT_EQ(uikit::HitArea::kCaption, w_->HitTest(Centre(L"caption_text")));
  EXPECT_EQ(uikit::HitArea::kClient, w_->HitTest(Centre(L"minbtn")));
  EXPECT_EQ(uikit::HitArea::kClient, w_->HitTest(Centre(L"closebtn")));
  // Below the caption area nothing drags.
  EXPECT_EQ(uikit::HitArea::kClient, w_->HitTest(Centre(L"rest")));
  // A disabled button in the caption area drags like the background.
  w_->FindControl(L"minbtn")->SetEnabled(false);
  EXPECT_EQ(uikit::HitArea::kCaption, w_->HitTest(Centre(L"minbtn")));
  // The links in the caption area (30..60) are the text's own.
  driver().Paint(*w_);
  Rect link = w_->Find<uikit::Label>(L"links")->GetLinkRect(0);
  EXPECT_EQ(uikit::HitArea::kClient, w_->HitTest(Point{link.left + 1, link.top + 1}));
}

TEST_F(InputTest, AccessibleItemsInTabOrderAndInvoke) {
  auto items = w_->AccessibleItems();
  std::vector<std::wstring> names;
  for (const auto& i : items) names.push_back(i.name);
  auto at = [&](const std::wstring& n) {
    return std::find(names.begin(), names.end(), n) - names.begin();
  };
  ASSERT_LT(static_cast<size_t>(at(L"Close")), items.size());   // the accessiblename
  EXPECT_EQ(Role::kButton, items[at(L"Close")].role);
  EXPECT_LT(at(L"Caption"), at(L"_"));
  EXPECT_LT(at(L"_"), at(L"Privacy"));
  EXPECT_EQ(Role::kLink, items[at(L"License")].role);
  EXPECT_EQ(Role::kRadio, items[at(L"One")].role);
  EXPECT_TRUE(items[at(L"One")].checked);
  EXPECT_EQ(Role::kCheckBox, items[at(L"Agree")].role);
  EXPECT_FALSE(items[at(L"Off")].enabled);
  EXPECT_EQ(names.end(), std::find(names.begin(), names.end(), L"Hidden"));
  bool progress = false;
  for (const auto& i : items) {
    if (i.role == Role::kProgress) {
      progress = true;
      EXPECT_EQ(30, i.value);
    }
  }
  EXPECT_TRUE(progress);
  w_->InvokeAccessible(static_cast<size_t>(at(L"License")));
  ASSERT_EQ(1u, recorder_.Of(L"link").size());
  EXPECT_EQ(1, recorder_.Of(L"link")[0].linkIndex);
  w_->InvokeAccessible(static_cast<size_t>(at(L"Agree")));
  EXPECT_TRUE(w_->Find<uikit::CheckBox>(L"agree")->GetCheck());
  w_->InvokeAccessible(static_cast<size_t>(at(L"Off")));  // disabled: nothing
  w_->InvokeAccessible(10000);                              // out of range: nothing
  EXPECT_EQ(1u, recorder_.Of(L"click").size());
}

TEST_F(InputTest, OwnDropListAndPlainEditWithoutNativeChildren) {
  backend().SetNativeChildren(false);
  uikit::Window* w = Open(L"form.xml", false, L"NoNatives");
  ASSERT_NE(nullptr, w);
  auto* combo = w->Find<uikit::Combo>(L"lang");
  ASSERT_EQ(nullptr, combo->Native());
  // A click opens the list below the box; the hidden item is not in it.
  ASSERT_TRUE(driver().Click(*w, L"lang"));
  ASSERT_TRUE(combo->IsDropped());
  EXPECT_EQ(combo, w->GetPopup());
  const Rect drop = combo->DropRect();
  EXPECT_EQ(combo->GetPos().bottom, drop.top);
  const int itemHeight = 12 + 8;
  EXPECT_EQ(3 * itemHeight, drop.Height());
  // The list is drawn over everything, after the tree.
  auto ops = driver().Paint(*w);
  ASSERT_FALSE(uitest::TextOps(ops, L"Spanish").empty());
  EXPECT_TRUE(uitest::TextOps(ops, L"Hidden").empty());
  // Pick the third shown item ("Spanish", index 3 of the skin).
  Point p{drop.left + 5, drop.top + 2 * itemHeight + itemHeight / 2};
  driver().MouseMove(*w, p);
  driver().MouseDown(*w, p);
  driver().MouseUp(*w, p);
  EXPECT_FALSE(combo->IsDropped());
  EXPECT_EQ(3, combo->GetCurSel());
  ASSERT_FALSE(recorder_.Of(L"itemselect").empty());
  EXPECT_EQ(3, recorder_.Of(L"itemselect").back().itemIndex);
  // Keyboard: Down selects the previous/next shown item; Esc closes an open list first.
  w->SetFocus(combo);
  driver().KeyPress(*w, uikit::kKeyUp);
  EXPECT_EQ(1, combo->GetCurSel());  // skips the hidden item 2
  driver().KeyPress(*w, uikit::kKeySpace);
  EXPECT_TRUE(combo->IsDropped());
  size_t clicks = recorder_.Of(L"click").size();
  driver().KeyPress(*w, uikit::kKeyEscape);
  EXPECT_FALSE(combo->IsDropped());
  EXPECT_EQ(clicks, recorder_.Of(L"click").size());  // not the close button
  // A press elsewhere closes the list without a choice.
  driver().Click(*w, L"lang");
  driver().Click(*w, L"rest");
  EXPECT_FALSE(combo->IsDropped());
  EXPECT_EQ(1, combo->GetCurSel());
  // The edit without a native box still keeps and draws its text.
  auto* edit = w->Find<uikit::Edit>(L"path");
  EXPECT_EQ(nullptr, edit->Native());
  edit->SetText(L"D:\\Kerfo");
  EXPECT_EQ(L"D:\\Kerfo", edit->GetText());
  EXPECT_EQ(1u, uitest::TextOps(driver().Paint(*w), L"D:\\Kerfo").size());
}

TEST_F(InputTest, ControlsAddedAndRemovedByCode) {
  auto combo = std::make_unique<uikit::Combo>();
  combo->SetName(L"own");
  combo->SetFixedHeight(30);
  uikit::Combo* own = combo.get();
  auto* root = w_->Find<uikit::Container>(L"root");
  ASSERT_TRUE(root->AddAt(std::move(combo), 1));
  EXPECT_EQ(own, w_->FindControl(L"own"));
  ASSERT_NE(nullptr, own->Native());  // created as it joined a live window
  own->AddItem(L"a");
  own->AddItem(L"b");
  EXPECT_TRUE(own->SelectItem(1, true));
  EXPECT_EQ(1, recorder_.Of(L"itemselect").back().itemIndex);
  w_->SetFocus(own);
  EXPECT_TRUE(root->Remove(own));
  EXPECT_EQ(nullptr, w_->FindControl(L"own"));
  EXPECT_EQ(nullptr, w_->GetFocus());  // the window forgot it
  EXPECT_FALSE(root->Remove(own));
  EXPECT_FALSE(root->Add(nullptr));
}

}  // namespace
