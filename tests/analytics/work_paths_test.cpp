#include "analytics/work_paths.h"

#include <gtest/gtest.h>

#include "support/local_time.h"

namespace analytics {
namespace {

platform::LocalTime At(int ms) { return testsupport::MakeLocalTime(2026, 3, 7, 9, 5, 4, ms); }

std::wstring FirstThree(const std::wstring& p) { return p.substr(0, 3); }

TEST(WorkPaths, HaveTheDocumentedForms) {
  WorkPaths p = ComputeWorkPaths(L"setup_name", L"C:\\Users\\u\\AppData\\Roaming", At(7),
                                 FirstThree, [](const std::wstring& s) { return s; });
  EXPECT_EQ(p.runTimestamp, L"20260307090504007");
  EXPECT_EQ(p.runTimestamp.size(), 17u);
  EXPECT_EQ(p.logFolder, L"C:\\Users\\u\\AppData\\Roaming\\RORezivuduza\\logs\\setup_name");
  EXPECT_EQ(p.logFile, p.logFolder + L"\\setup_name_20260307090504007.log");
  EXPECT_EQ(p.workFolder, L"C:\\RORezivuduza\\setup_name");
}

TEST(WorkPaths, WorkFolderMovesToTheChosenDrive) {
  WorkPaths p = ComputeWorkPaths(L"x", L"C:\\AppData", At(0), FirstThree,
                                 [](const std::wstring& s) { return L"E:\\" + s.substr(3); });
  EXPECT_EQ(p.workFolder, L"E:\\RORezivuduza\\x");
}

TEST(WorkPaths, RunsInTheSameSecondGetDifferentLogFiles) {
  auto same = [](const std::wstring& s) { return s; };
  WorkPaths a = ComputeWorkPaths(L"x", L"C:\\A", At(1), FirstThree, same);
  WorkPaths b = ComputeWorkPaths(L"x", L"C:\\A", At(2), FirstThree, same);
  EXPECT_NE(a.logFile, b.logFile);
}

}  // namespace
}  // namespace analytics
