// Tooltips: the `tooltip` of the control under the pointer reaches the native window (the
// headless one shows it at once), inherited from the nearest ancestor that has one, gone when
// the pointer leaves or the control goes; screen readers read it as the item's description.
#include <gtest/gtest.h>

#include "tests/uikit/ui_fixture.h"

namespace {

using uikit::Point;
using uikit::Rect;

class ToolTipTest : public uitest::UiTest {
 protected:
  void SetUp() override {
    Skin({{"w.xml", R"(<Window size="300,200"><VerticalLayout name="root">
            <HorizontalLayout name="bar" height="40" tooltip="The tool bar">
              <Button name="plain" width="60" text="Plain"/>
              <Button name="help" width="60" text="?" tooltip="Opens the help page"/>
              <Button name="off" width="60" text="Off" enabled="false" tooltip="Not now"/>
            </HorizontalLayout>
            <Text name="links" height="30" text="See {a}Privacy{/a}" tooltip="Policy pages"/>
            <Control name="rest"/>
          </VerticalLayout></Window>)"}});
    w_ = Open(L"w.xml");
    ASSERT_NE(nullptr, w_);
    w_->ShowWindow(true, true);
    native_ = backend().Find(*w_);
    ASSERT_NE(nullptr, native_);
  }
  uikit::Window* w_ = nullptr;
  uikit::headless::HeadlessWindow* native_ = nullptr;
};

TEST_F(ToolTipTest, HoverShowsTheTooltipOfTheControlOrItsNearestAncestor) {
  EXPECT_EQ(L"", native_->ToolTip());
  ASSERT_TRUE(driver().Hover(*w_, L"help"));
  EXPECT_EQ(L"Opens the help page", native_->ToolTip());
  EXPECT_EQ(w_->FindControl(L"help")->GetPos(), native_->ToolTipArea());
  EXPECT_EQ(w_->FindControl(L"help"), w_->GetToolTipControl());
  // A button without its own tooltip shows its layout's, over the layout's area.
  ASSERT_TRUE(driver().Hover(*w_, L"plain"));
  EXPECT_EQ(L"The tool bar", native_->ToolTip());
  EXPECT_EQ(w_->FindControl(L"bar")->GetPos(), native_->ToolTipArea());
  // A disabled control still explains itself.
  ASSERT_TRUE(driver().Hover(*w_, L"off"));
  EXPECT_EQ(L"Not now", native_->ToolTip());
  // Nothing with a tooltip under the pointer: hidden.
  ASSERT_TRUE(driver().Hover(*w_, L"rest"));
  EXPECT_EQ(L"", native_->ToolTip());
  EXPECT_TRUE(native_->ToolTipArea().IsEmpty());
  EXPECT_EQ(nullptr, w_->GetToolTipControl());
}

TEST_F(ToolTipTest, LeavingHidingOrRemovingTheControlHidesTheTooltip) {
  ASSERT_TRUE(driver().Hover(*w_, L"help"));
  w_->OnMouseLeave();
  EXPECT_EQ(L"", native_->ToolTip());

  ASSERT_TRUE(driver().Hover(*w_, L"help"));
  w_->FindControl(L"help")->SetVisible(false);
  EXPECT_EQ(L"", native_->ToolTip());
  EXPECT_EQ(nullptr, w_->GetToolTipControl());

  ASSERT_TRUE(driver().Hover(*w_, L"links"));
  EXPECT_EQ(L"Policy pages", native_->ToolTip());
  auto* root = w_->Find<uikit::Container>(L"root");
  ASSERT_TRUE(root->Remove(w_->FindControl(L"links")));
  EXPECT_EQ(L"", native_->ToolTip());
  EXPECT_EQ(nullptr, w_->GetToolTipControl());
}

TEST_F(ToolTipTest, ScreenReadersGetTheTooltipAsDescription) {
  std::map<std::wstring, std::wstring> described;
  for (const auto& item : w_->AccessibleItems()) described[item.name] = item.description;
  EXPECT_EQ(L"Opens the help page", described[L"?"]);
  EXPECT_EQ(L"Policy pages", described[L"Privacy"]);  // each link of the text
  EXPECT_EQ(L"", described[L"Plain"]);
}

}  // namespace
