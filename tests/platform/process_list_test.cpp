// The process list the running-product check walks.
#include <gtest/gtest.h>

#include <vector>

#include "platform/paths.h"
#include "platform/process.h"

namespace {

TEST(ProcessList, ListsTheOwnProcessByItsExecutableName) {
  std::vector<platform::ProcessEntry> processes;
  ASSERT_TRUE(platform::ListProcesses(&processes));
  const std::wstring module = platform::GetModulePath();
  const std::wstring name = module.substr(module.find_last_of(L"\\/") + 1);
  bool found = false;
  for (const platform::ProcessEntry& process : processes) {
    EXPECT_FALSE(process.exeName.empty()) << process.id;
    EXPECT_EQ(process.exeName.find_first_of(L"\\/"), std::wstring::npos) << process.id;
    if (process.id == platform::CurrentProcessId()) {
      found = true;
      EXPECT_EQ(process.exeName, name);
    }
  }
  EXPECT_TRUE(found);
}

}  // namespace
