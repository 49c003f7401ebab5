// The checks before the install thread starts: running product, install folder, disk space,
// solid-state proposal, pending renames; over a scripted window and staged drives.
#include "flow/install_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "check_test_support.h"
#include "config/log_capture.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace flow {
namespace {

using testsupport::FakeCheckWindow;
using testsupport::Ga4Texts;
using testsupport::StagedDrives;

constexpr uint64_t kMiB = 1024 * 1024;

bool Has(const std::vector<std::string>& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

size_t CountOf(const std::vector<std::string>& texts, const std::string& text) {
  return static_cast<size_t>(std::count(texts.begin(), texts.end(), text));
}

class InstallChecksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = testsupport::MakeRecordingLog();
    window_.path = drives_.diskD + L"Apps";
  }
  CInstallChecks Checks() { return CInstallChecks(window_, *log_, drives_.Environment()); }
  void SetPendingRenames(const std::vector<std::wstring>& operations) {
    ASSERT_TRUE(platform::WriteRegistryMultiString(platform::RegistryRoot::kLocalMachine,
                                                   kSessionManagerKey, kPendingRenameValue,
                                                   operations));
  }

  testsupport::StagedRegistry registry_;
  StagedDrives drives_;
  FakeCheckWindow window_;
  std::unique_ptr<analytics::CSingleUserLog> log_;
};

TEST(InstallFolderRule, AppendsTheProductNameUnlessThePathHoldsIt) {
  const std::wstring name = L"Brindlecot Kerfo";
  EXPECT_EQ(InstallFolderFor(L"C:\\Program Files\\Kerfo", name),
            L"C:\\Program Files\\Kerfo\\Brindlecot Kerfo");
  EXPECT_EQ(InstallFolderFor(L"D:\\Brindlecot Kerfo\\bin", name), L"D:\\Brindlecot Kerfo\\bin");
  // Windows names ignore case: the product folder is not doubled.
  EXPECT_EQ(InstallFolderFor(L"D:\\brindlecot kerfo", name), L"D:\\brindlecot kerfo");
  // Trailing separators and blanks do not give doubled or dangling separators.
  EXPECT_EQ(InstallFolderFor(L"C:\\Programs\\\\", name), L"C:\\Programs\\Brindlecot Kerfo");
  EXPECT_EQ(InstallFolderFor(L"  C:\\Programs/ ", name), L"C:\\Programs\\Brindlecot Kerfo");
  EXPECT_EQ(InstallFolderFor(L"D:\\Brindlecot Kerfo\\", name), L"D:\\Brindlecot Kerfo");
  EXPECT_EQ(InstallFolderFor(L"C:\\", name), L"C:\\Brindlecot Kerfo");
  EXPECT_EQ(InstallFolderFor(L"/", name), L"/Brindlecot Kerfo");
  EXPECT_EQ(InstallFolderFor(L"/opt/", name), L"/opt\\Brindlecot Kerfo");
}

TEST(InstallFolderRule, OnlyFullPathsAreInstallPaths) {
  for (const wchar_t* good : {L"C:\\Kerfo", L"c:/Kerfo", L"Z:\\", L"/opt/kerfo", L"/"}) {
    EXPECT_TRUE(IsAbsoluteInstallPath(good)) << platform::WideToUtf8(good);
  }
  for (const wchar_t* bad : {L"", L"C:", L"C:Kerfo", L"Programs\\Kerfo", L"Kerfo", L".\\Kerfo",
                             L"\\Kerfo", L"\\\\server\\share\\Kerfo", L"1:\\Kerfo", L"\u00e4:\\x"}) {
    EXPECT_FALSE(IsAbsoluteInstallPath(bad)) << platform::WideToUtf8(bad);
  }
}

TEST(PendingRename, NamesOnlyThingsInsideTheFolder) {
  const std::wstring folder = L"C:\\Programs\\Brindlecot Kerfo";
  EXPECT_TRUE(FolderHasPendingRename(
      folder, {L"\\??\\C:\\Programs\\Brindlecot Kerfo\\editor.dll", L""}));
  // Case and separator kind do not matter; a longer sibling name does not count.
  EXPECT_TRUE(FolderHasPendingRename(folder, {L"\\??\\c:/programs/BRINDLECOT KERFO/x"}));
  EXPECT_FALSE(FolderHasPendingRename(folder, {L"\\??\\C:\\Programs\\Brindlecot Kerfo2\\x",
                                               L"\\??\\C:\\Programs\\Brindlecot Kerfo 1\\x",
                                               L"C:\\Programs\\Brindlecot Kerfo"}));
  EXPECT_FALSE(FolderHasPendingRename(folder, {}));
  // An empty folder names nothing, even though every operation holds a separator.
  EXPECT_FALSE(FolderHasPendingRename(L"", {L"\\??\\C:\\x\\y"}));
  EXPECT_FALSE(FolderHasPendingRename(L"\\", {L"\\??\\C:\\x\\y"}));
}

TEST(PendingRename, TheFirstFreeNumberIsUsed) {
  const std::wstring folder = L"C:\\P\\Brindlecot Kerfo";
  EXPECT_EQ(FirstFolderWithoutPendingRename(folder, {L"\\??\\C:\\P\\Brindlecot Kerfo\\a"}),
            folder + L" 1");
  EXPECT_EQ(FirstFolderWithoutPendingRename(
                folder, {L"\\??\\C:\\P\\Brindlecot Kerfo\\a", L"\\??\\C:\\P\\Brindlecot Kerfo 1\\a",
                         L"\\??\\c:\\p\\brindlecot kerfo 2\\b", L"\\??\\C:\\P\\Brindlecot Kerfo 4\\"}),
            folder + L" 3");
  // " 10" does not take " 1"; a number without a separator after it names nothing.
  EXPECT_EQ(FirstFolderWithoutPendingRename(folder, {L"C:\\P\\Brindlecot Kerfo 10\\a",
                                                     L"C:\\P\\Brindlecot Kerfo 1.tmp"}),
            folder + L" 1");
}

TEST(PendingRename, HugeOrOddListsStayBoundedAndSafe) {
  const std::wstring folder = L"C:\\P\\Brindlecot Kerfo";
  std::vector<std::wstring> operations;
  operations.push_back(folder + L"\\locked.dll");
  for (int n = 1; n <= kMaxNumberedFolders; ++n) {
    operations.push_back(folder + L" " + std::to_wstring(n) + L"\\f");
  }
  for (int i = 0; i < 200000; ++i) {
    operations.push_back(i % 3 == 0 ? std::wstring() : (i % 3 == 1 ? L"\\??\\" : L"*:|<>?"));
  }
  operations.push_back(std::wstring(70000, L'\\'));
  operations.push_back(folder + L" 99999999999999999999\\x");
  operations.push_back(folder + L" ");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(FolderHasPendingRename(folder, operations));
  // Every number the check would try is taken: no folder, rather than an endless search.
  EXPECT_EQ(FirstFolderWithoutPendingRename(folder, operations), L"");
  operations.erase(operations.begin() + 500);  // frees " 500"
  EXPECT_EQ(FirstFolderWithoutPendingRename(folder, operations), folder + L" 500");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST_F(InstallChecksTest, TheInstallDriveNeedsThreeTimesWhenItHoldsTheDownload) {
  const uint64_t size = 100 * kMiB;
  window_.path = drives_.diskC + L"Apps";  // same drive as the download folder
  drives_.freeBytes[drives_.diskC] = 3 * size;
  CInstallChecks checks = Checks();
  uint64_t free = 0;
  EXPECT_EQ(checks.EnoughFreeSpace(true, size, &free), kInstallDriveShort);
  EXPECT_EQ(free, 3 * size);
  drives_.freeBytes[drives_.diskC] = 3 * size + 1;
  EXPECT_EQ(checks.EnoughFreeSpace(true, size, &free), kSpaceOk);
}

TEST_F(InstallChecksTest, AnotherInstallDriveNeedsTwice) {
  const uint64_t size = 100 * kMiB;
  drives_.freeBytes[drives_.diskC] = size + 1;  // just enough for the download
  drives_.freeBytes[drives_.diskD] = 2 * size;
  testsupport::LogCapture capture(drives_.dir.File(L"log.txt"));
  CInstallChecks checks = Checks();
  uint64_t free = 0;
  EXPECT_EQ(checks.EnoughFreeSpace(true, size, &free), kInstallDriveShort);
  EXPECT_TRUE(capture.Contains("PC space not enough2:" + std::to_string(2 * size) + "<=" +
                               std::to_string(2 * size)));
  const auto events = Ga4Texts(*log_);
  EXPECT_TRUE(Has(events, "Other|FlowError|DL008"));
  EXPECT_TRUE(Has(events, "Other|NoEnoughSpace|install_" + std::to_string(2 * size)));
  drives_.freeBytes[drives_.diskD] = 2 * size + 1;
  EXPECT_EQ(checks.EnoughFreeSpace(true, size, &free), kSpaceOk);
}

TEST_F(InstallChecksTest, TheDownloadDriveIsJudgedFirst) {
  const uint64_t size = 10 * kMiB;
  drives_.freeBytes[drives_.diskC] = size;  // at most the size: short
  drives_.freeBytes[drives_.diskD] = 0;
  testsupport::LogCapture capture(drives_.dir.File(L"log.txt"));
  CInstallChecks checks = Checks();
  uint64_t free = 0;
  EXPECT_EQ(checks.EnoughFreeSpace(true, size, &free), kDownloadDriveShort);
  EXPECT_EQ(free, size);
  EXPECT_TRUE(capture.Contains("PC space not enough1:" + std::to_string(size)));
  EXPECT_TRUE(Has(Ga4Texts(*log_), "Other|NoEnoughSpace|download_" + std::to_string(size)));
  // Without reporting, the same result and no events.
  log_->ClearRecordedEvents();
  EXPECT_EQ(checks.EnoughFreeSpace(false, size, &free), kDownloadDriveShort);
  EXPECT_TRUE(Ga4Texts(*log_).empty());
}

TEST_F(InstallChecksTest, SpaceEdgeValues) {
  CInstallChecks checks = Checks();
  uint64_t free = 7;
  // Nothing required: nothing asked.
  EXPECT_EQ(checks.EnoughFreeSpace(true, 0, &free), kSpaceOk);
  EXPECT_EQ(checks.EnoughFreeSpace(true, -5, &free), kSpaceOk);
  EXPECT_TRUE(drives_.freeSpaceAsked.empty());
  // A drive whose space cannot be read has none.
  drives_.freeBytes[drives_.diskC] = UINT64_MAX;
  EXPECT_EQ(checks.EnoughFreeSpace(true, 1, &free), kInstallDriveShort);
  // A size too large to multiply never fits, however much room there is.
  window_.path = drives_.diskC + L"Apps";
  EXPECT_EQ(checks.EnoughFreeSpace(true, INT64_MAX, &free), kInstallDriveShort);
  EXPECT_EQ(checks.EnoughFreeSpace(true, 1, &free), kSpaceOk);
}

TEST_F(InstallChecksTest, AppIsRunningComparesExecutableNames) {
  drives_.processes = {{0, L"Kerfo PDF Editor.exe"},  // the idle entry is never the product
                       {4, L"System"},
                       {812, L"kerfo pdf editor.exe.bak"}};
  EXPECT_TRUE(Checks().AppIsRunning());
  EXPECT_TRUE(window_.boxes.empty());

  drives_.processes.push_back({4242, L"KERFO PDF EDITOR.EXE"});
  testsupport::LogCapture capture(drives_.dir.File(L"log.txt"));
  EXPECT_FALSE(Checks().AppIsRunning());
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].type, kBoxAppRunning);
  EXPECT_TRUE(capture.Contains("4242"));

  // Unreadable list or no configured name: nothing to compare, the install is not stopped.
  window_.boxes.clear();
  drives_.processListReadable = false;
  EXPECT_TRUE(Checks().AppIsRunning());
  drives_.processListReadable = true;
  window_.configure.content().processName.clear();
  EXPECT_TRUE(Checks().AppIsRunning());
  EXPECT_TRUE(window_.boxes.empty());
}

TEST_F(InstallChecksTest, NoSsdProposalWhenSuggestSsdIsZeroOrMissing) {
  drives_.solidState = {drives_.diskC};
  drives_.freeBytes[drives_.diskC] = UINT64_MAX / 4;
  drives_.freeBytes[drives_.diskD] = UINT64_MAX / 4;
  window_.DescriptionFromServer(10 * kMiB);
  const wchar_t* values[] = {L"0", L"", L"no", nullptr};
  for (const wchar_t* value : values) {
    if (value) {
      window_.controls[L"SuggestSSD"] = value;
    } else {
      window_.controls.erase(L"SuggestSSD");
    }
    window_.boxes.clear();
    CInstallChecks checks = Checks();
    EXPECT_FALSE(checks.NeedSuggestSSD(10 * kMiB));
    EXPECT_TRUE(checks.IsCorrectInstallPath());
    EXPECT_TRUE(window_.boxes.empty());
  }
}

TEST_F(InstallChecksTest, SsdProposalTakesTheFirstSolidStateDriveWithRoom) {
  const uint64_t size = 50 * kMiB;
  window_.controls[L"SuggestSSD"] = L"1";
  drives_.solidState = {drives_.diskC};
  // diskC holds the download folder: three times the size, and it has exactly that.
  drives_.freeBytes[drives_.diskC] = 3 * size;
  testsupport::LogCapture capture(drives_.dir.File(L"log.txt"));
  CInstallChecks checks = Checks();
  EXPECT_FALSE(checks.NeedSuggestSSD(size));
  EXPECT_TRUE(capture.Contains("custom suggest ssd:1"));
  EXPECT_TRUE(capture.Contains("Judge space:" + std::to_string(3 * size)));

  drives_.freeBytes[drives_.diskC] = 3 * size + 1;
  EXPECT_TRUE(checks.NeedSuggestSSD(size));
  EXPECT_EQ(checks.SuggestedSsdFolder(), drives_.diskC + L"Apps");
  EXPECT_TRUE(capture.Contains("Judge space ok, can use ssd:"));

  // Already on a solid-state drive: nothing to propose.
  window_.path = drives_.diskC + L"Apps";
  EXPECT_FALSE(checks.NeedSuggestSSD(size));
  EXPECT_TRUE(capture.Contains("CurInstallPath is ssd"));
}

TEST_F(InstallChecksTest, AcceptedSsdProposalReplacesThePathBeforeTheSpaceCheck) {
  const uint64_t size = 20 * kMiB;
  window_.controls[L"SuggestSSD"] = L"1";
  window_.DescriptionFromServer(size);
  drives_.solidState = {drives_.diskC};
  drives_.freeBytes[drives_.diskC] = 10 * size;
  drives_.freeBytes[drives_.diskD] = 0;  // the chosen drive alone would be refused
  window_.boxAnswer = 1;
  testsupport::LogCapture capture(drives_.dir.File(L"log.txt"));
  ASSERT_TRUE(Checks().IsCorrectInstallPath());
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].type, kBoxSuggestSsd);
  EXPECT_EQ(window_.boxes[0].text, drives_.diskC + L"Apps");
  EXPECT_EQ(window_.path, drives_.diskC + L"Apps");
  EXPECT_TRUE(capture.Contains("user choose ok to switch ssd:"));
  EXPECT_EQ(window_.calls,
            (std::vector<std::string>{"box 15", "set path", "install page"}));
  EXPECT_TRUE(platform::IsDirectory(drives_.diskC + L"Apps\\Brindlecot Kerfo"));
}

TEST_F(InstallChecksTest, RejectedSsdProposalKeepsThePathAndShortSpaceRefuses) {
  const uint64_t size = 20 * kMiB;
  window_.controls[L"SuggestSSD"] = L"1";
  window_.DescriptionFromServer(size);
  drives_.solidState = {drives_.diskC};
  drives_.freeBytes[drives_.diskC] = 10 * size;
  drives_.freeBytes[drives_.diskD] = size;
  window_.boxAnswer = 2;
  EXPECT_FALSE(Checks().IsCorrectInstallPath());
  EXPECT_EQ(window_.calls, (std::vector<std::string>{"box 15", "box 11"}));
  EXPECT_EQ(window_.path, drives_.diskD + L"Apps");
  EXPECT_FALSE(window_.installPage);
  EXPECT_FALSE(platform::PathExists(drives_.diskD + L"Apps"));
  const auto events = Ga4Texts(*log_);
  EXPECT_TRUE(Has(events, "Other|NoEnoughSpace|install_" + std::to_string(size)));
  EXPECT_FALSE(Has(testsupport::EventTexts(*log_), "F:Download|DownloadEnvReady"));
}

TEST_F(InstallChecksTest, ShortDownloadDriveRefusesWithTheSpaceBox) {
  window_.DescriptionFromServer(kMiB);
  drives_.freeBytes[drives_.diskC] = kMiB / 2;
  drives_.freeBytes[drives_.diskD] = 100 * kMiB;
  EXPECT_FALSE(Checks().IsCorrectInstallPath());
  EXPECT_EQ(window_.calls, (std::vector<std::string>{"box 11"}));
  EXPECT_EQ(CountOf(Ga4Texts(*log_), "Other|FlowError|DL008"), 1u);
}

TEST_F(InstallChecksTest, SpaceIsJudgedOnlyForTheServiceDescription) {
  // No space anywhere, but the description is not (yet) the service's: the size is unknown.
  window_.configure.content().fileSize = 100 * kMiB;
  for (ConfigSource source : {ConfigSource::Nothing, ConfigSource::BuiltIn}) {
    window_.configure.content().ready = 2;
    window_.configure.content().source = source;
    window_.calls.clear();
    EXPECT_TRUE(Checks().IsCorrectInstallPath());
    EXPECT_EQ(window_.calls, (std::vector<std::string>{"install page"}));
  }
  window_.configure.content().ready = 1;
  window_.configure.content().source = ConfigSource::Server;
  EXPECT_TRUE(Checks().IsCorrectInstallPath());
  EXPECT_TRUE(drives_.freeSpaceAsked.empty());
}

TEST_F(InstallChecksTest, AcceptedPathCreatesTheFolderAndReportsTheEnvironmentReady) {
  window_.DescriptionFromServer(kMiB);
  drives_.freeBytes[drives_.diskC] = 100 * kMiB;
  drives_.freeBytes[drives_.diskD] = 100 * kMiB;
  ASSERT_TRUE(Checks().IsCorrectInstallPath());
  EXPECT_TRUE(window_.installPage);
  EXPECT_TRUE(window_.boxes.empty());
  EXPECT_TRUE(platform::IsDirectory(drives_.diskD + L"Apps\\Brindlecot Kerfo"));
  const auto events = testsupport::EventTexts(*log_);
  EXPECT_TRUE(Has(events, "F:Download|DownloadEnvReady"));
  EXPECT_FALSE(Has(events, "Other|FlowError|DL008"));
  EXPECT_EQ(Checks().InstallFolder(), drives_.diskD + L"Apps\\Brindlecot Kerfo");
}

TEST_F(InstallChecksTest, EmptyOrRelativePathsAreRefusedWithoutCreatingFolders) {
  for (const wchar_t* path : {L"", L"   ", L"Programs\\Kerfo", L"Kerfo", L"C:", L"..\\x"}) {
    window_.path = path;
    window_.boxes.clear();
    log_->ClearRecordedEvents();
    EXPECT_FALSE(Checks().IsCorrectInstallPath()) << platform::WideToUtf8(path);
    ASSERT_EQ(window_.boxes.size(), 1u);
    EXPECT_EQ(window_.boxes[0].type, kBoxPathInvalid);
    EXPECT_FALSE(window_.installPage);
    EXPECT_TRUE(Has(Ga4Texts(*log_), "Other|FlowError|DL009"));
  }
  // Nothing was made below the current folder.
  EXPECT_FALSE(platform::PathExists(L"Programs"));
  EXPECT_FALSE(platform::PathExists(L"Kerfo"));
  EXPECT_FALSE(platform::PathExists(L"Brindlecot Kerfo"));
  EXPECT_FALSE(platform::PathExists(L"\\Brindlecot Kerfo"));
}

TEST_F(InstallChecksTest, AFolderThatCannotBeCreatedIsRefused) {
  // A file stands where a parent folder should be.
  const std::wstring file = drives_.dir.Write(L"diskD_file", "x");
  ASSERT_TRUE(platform::CreateOneDirectory(drives_.diskD.substr(0, drives_.diskD.size() - 1)) ==
              0);
  const std::wstring blocker = drives_.diskD + L"blocker";
  ASSERT_TRUE(platform::CopyOneFile(file, blocker, true));
  window_.path = blocker + L"\\Apps";
  EXPECT_FALSE(Checks().IsCorrectInstallPath());
  EXPECT_EQ(window_.calls, (std::vector<std::string>{"box 4"}));
  EXPECT_TRUE(Has(Ga4Texts(*log_), "Other|FlowError|DL009"));
}

TEST_F(InstallChecksTest, AFolderWaitingForARenameGetsTheNextNumber) {
  const std::wstring folder = drives_.diskD + L"Apps\\Brindlecot Kerfo";
  SetPendingRenames({L"\\??\\" + folder + L"\\old.dll", L"\\??\\" + folder + L" 1\\x.dll",
                     L"odd | text = [x]"});
  ASSERT_TRUE(Checks().IsCorrectInstallPath());
  EXPECT_EQ(window_.path, folder + L" 2");
  EXPECT_TRUE(platform::IsDirectory(folder + L" 2"));
  EXPECT_EQ(window_.calls, (std::vector<std::string>{"set path", "install page"}));
  EXPECT_TRUE(Has(Ga4Texts(*log_), "Other|ProcessNeedRestartSign|"));
  // The numbered path holds the product name, so it is the install folder itself.
  EXPECT_EQ(Checks().InstallFolder(), folder + L" 2");
}

TEST_F(InstallChecksTest, AMissingOrMistypedRenameListNamesNothing) {
  const std::wstring folder = drives_.diskD + L"Apps\\Brindlecot Kerfo";
  // The list stored as a plain string is not a list: a failed read is an absent value.
  ASSERT_TRUE(platform::WriteRegistryString(platform::RegistryRoot::kLocalMachine,
                                            kSessionManagerKey, kPendingRenameValue,
                                            folder + L"\\x"));
  EXPECT_FALSE(FolderHasPendingRename(folder));
  ASSERT_TRUE(Checks().IsCorrectInstallPath());
  EXPECT_EQ(window_.path, drives_.diskD + L"Apps");
  EXPECT_FALSE(Has(Ga4Texts(*log_), "Other|ProcessNeedRestartSign|"));
}

}  // namespace
}  // namespace flow
