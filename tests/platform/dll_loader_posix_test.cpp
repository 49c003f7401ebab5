// The POSIX side of the DLL loader: system libraries by name only, never by path.
#include <gtest/gtest.h>

#include "platform/dll_loader.h"

namespace {

TEST(DllLoaderPosix, LoadsSystemLibrariesByNameOnly) {
  EXPECT_TRUE(platform::HardenDllSearch());
  EXPECT_TRUE(platform::DllSearchRestricted());
  void* libm = platform::LoadSystemLibrary(L"libm.so.6");
  ASSERT_NE(libm, nullptr);
  EXPECT_NE(platform::SystemLibrarySymbol(libm, "cos"), nullptr);
  EXPECT_EQ(platform::SystemLibrarySymbol(libm, "kerfo_no_such_symbol"), nullptr);
  EXPECT_EQ(platform::LoadSystemLibrary(L"./libm.so.6"), nullptr);
  EXPECT_EQ(platform::LoadSystemLibrary(L"/lib/x86_64-linux-gnu/libm.so.6"), nullptr);
  EXPECT_EQ(platform::LoadSystemLibrary(L"libkerfo-no-such.so"), nullptr);
  EXPECT_EQ(platform::LoadSystemLibrary(L""), nullptr);
}

}  // namespace
