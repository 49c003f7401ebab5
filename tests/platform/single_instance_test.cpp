#include "platform/single_instance.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/clock.h"

namespace platform {
namespace {

std::wstring UniqueName(const wchar_t* tag) {
  return std::wstring(L"KerfoTest_") + tag + L"_" + std::to_wstring(TickCount());
}

TEST(NamedMutex, SecondHolderSeesItExistsUntilReleased) {
  const std::wstring name = UniqueName(L"held");
  bool existed = true;
  std::unique_ptr<NamedMutex> first = CreateNamedMutex(name, &existed);
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(existed);

  bool existedAgain = false;
  std::unique_ptr<NamedMutex> second = CreateNamedMutex(name, &existedAgain);
  EXPECT_TRUE(existedAgain);
  second.reset();

  first->Release();
  first->Release();  // idempotent
  bool existedAfter = true;
  std::unique_ptr<NamedMutex> third = CreateNamedMutex(name, &existedAfter);
  ASSERT_NE(third, nullptr);
  EXPECT_FALSE(existedAfter);
}

TEST(NamedMutex, DifferentNamesDoNotMeet) {
  bool a = true, b = true;
  auto first = CreateNamedMutex(UniqueName(L"a"), &a);
  auto second = CreateNamedMutex(UniqueName(L"b"), &b);
  EXPECT_FALSE(a);
  EXPECT_FALSE(b);
}

TEST(WindowLookup, FindsNoWindowForAnUnknownClass) {
  EXPECT_FALSE(ActivateWindowByClass(L"QD_UI_Frame_no_such_window_class"));
}

}  // namespace
}  // namespace platform
