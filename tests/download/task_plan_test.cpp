// Plan arithmetic, the task file and the plan check. The remote size comes from the
// process-wide content-length memo, so these tests make no request.
#include <gtest/gtest.h>

#include <filesystem>

#include "analytics/single_user_log.h"
#include "download/task_manager.h"
#include "platform/files.h"
#include "support/temp_dir.h"
#include "tests/download/engine_test_support.h"

namespace download {
namespace {

using enginetest::ScopedSettings;
using enginetest::TaskRow;

CDownloadTask* At(CDownloadTaskManager& plan, size_t i) {
  return static_cast<CDownloadTask*>(plan.allTasks().at(i));
}

struct Slice {
  int64_t start, end;
};

struct PlanCase {
  int64_t length;
  int32_t sliceNum, sliceSize;
  std::vector<Slice> slices;  // empty: only check the tiling and count below
  int64_t count;
};

TEST(TaskPlanTest, GeneratedPlansTileTheFile) {
  const PlanCase cases[] = {
      {10485760, 0, 0, {{0, 4194303}, {4194304, 10485760}}, 2},
      {1000, 0, 0, {{0, 1000}}, 1},
      {10, 3, 0, {{0, 2}, {3, 5}, {6, 10}}, 3},
      {1, 0, 0, {{0, 1}}, 1},
      {4194304, 0, 0, {{0, 4194304}}, 1},
      {4194305, 0, 0, {{0, 4194305}}, 1},
      {8388609, 0, 0, {{0, 4194303}, {4194304, 8388609}}, 2},
      {100, 0, 30, {{0, 29}, {30, 59}, {60, 100}}, 3},
      {2, 3, 0, {{0, 0}, {1, 2}}, 2},                 // more slices than bytes
      {6LL << 30, 0, 0, {}, (6LL << 30) / 4194304},   // above 4 GiB: 64-bit offsets
      // The slice cap holds for every size, not only where the size divides evenly.
      {100001, 0, 1, {}, 50000},
      {262143, 0, 1, {}, 65535},
      {100000, 70000, 0, {}, 50000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.length << " num " << c.sliceNum << " size " << c.sliceSize);
    ScopedSettings settings(c.sliceNum, c.sliceSize);
    const std::string url = enginetest::UniqueUrl();
    analytics::CSingleUserLog::GetInstance().SetContentLength(url, c.length);
    CDownloadTaskManager plan(url, "local.bin", "local.bin.xml");
    ASSERT_EQ(plan.generateDownloadTask("", 0), ErrSuccess);
    ASSERT_EQ(static_cast<int64_t>(plan.allTasks().size()), c.count);
    EXPECT_EQ(plan.todoCount(), plan.allTasks().size());
    int64_t next = 0;
    for (size_t i = 0; i < plan.allTasks().size(); ++i) {
      CDownloadTask* t = At(plan, i);
      EXPECT_EQ(t->StartPos, next);
      EXPECT_EQ(t->id.load(), static_cast<int32_t>(i + 1));
      EXPECT_EQ(t->DownloadedPos(), t->StartPos);
      EXPECT_EQ(t->contentLength, c.length);
      next = t->EndPos + 1;
      if (!c.slices.empty()) {
        EXPECT_EQ(t->StartPos, c.slices[i].start);
        EXPECT_EQ(t->EndPos, c.slices[i].end);
      }
    }
    EXPECT_EQ(next, c.length + 1);
    EXPECT_LE(static_cast<int64_t>(plan.allTasks().size()), CDownloadTaskManager::kMaxSlices);
    // A freshly generated plan passes its own check.
    EXPECT_EQ(plan.checkTaskPlan(0), 1);
  }
}

TEST(TaskPlanTest, NoSizeGivesContentLengthError) {
  // Nothing listens on port 1: every probe fails at once.
  CDownloadTaskManager plan(enginetest::UniqueUrl(), "x", "x.xml");
  analytics::CSingleUserLog::GetInstance().ClearRecordedEvents();
  EXPECT_EQ(plan.generateDownloadTask("Download", 0), ErrContentLength);
  EXPECT_TRUE(plan.allTasks().empty());
  EXPECT_TRUE(enginetest::HasEvent("Other", "Download",
                                   "error:7/error:7/error:7/error:7/error:7/error:7/error:7/"
                                   "error:7/error:7/error:7"));
}

TEST(TaskPlanTest, TaskFileRoundTripsInTheFixedElementOrder) {
  testsupport::TempDir dir;
  const std::string local = enginetest::Narrow(dir.File(L"a.bin"));
  const std::string url = enginetest::UniqueUrl();
  analytics::CSingleUserLog::GetInstance().SetContentLength(url, 10485760);
  ScopedSettings settings(0, 0);
  CDownloadTaskManager plan(url, local, local + ".xml");
  ASSERT_EQ(plan.generateDownloadTask("", 0), ErrSuccess);
  At(plan, 0)->setNextPos(1000);
  At(plan, 0)->status.store(CTask::kFailed);
  At(plan, 1)->markComplete();
  At(plan, 1)->status.store(CTask::kDone);
  plan.saveTaskToFile();

  const std::string text = enginetest::ReadFile(dir.File(L"a.bin.xml"));
  const char* order[] = {"<TaskInfo>", "<TasksCount>2</TasksCount>",
                         "<ContentLength>10485760</ContentLength>", "<DownloadTime>",
                         "<Task>", "<StartPos>0</StartPos>", "<EndPos>4194303</EndPos>",
                         "<DownloadedPos>1000</DownloadedPos>", "<RemotePath>", "<LocalPath>", "<TaskStatus>2</TaskStatus>",
                         "<TaskId>1</TaskId>", "<RequestTimes>0</RequestTimes>", "<Task>",
                         "<EndPos>10485760</EndPos>", "<DownloadedPos>10485760</DownloadedPos>",
                         "<TaskStatus>1</TaskStatus>", "</TaskInfo>"};
  size_t at = 0;
  for (const char* piece : order) {
    const size_t found = text.find(piece, at);
    ASSERT_NE(found, std::string::npos) << piece << "\n" << text;
    at = found;
  }
  EXPECT_EQ(text.find("<?xml"), std::string::npos);
  EXPECT_NE(text.find("\n    <TasksCount>"), std::string::npos);  // indented printer

  CDownloadTaskManager loaded(url, local, local + ".xml");
  loaded.loadTaskFromFile(0);
  ASSERT_EQ(loaded.allTasks().size(), 2u);
  EXPECT_EQ(loaded.contentLength(), 10485760);
  EXPECT_EQ(At(loaded, 0)->nextPos(), 1000);
  EXPECT_FALSE(At(loaded, 0)->isComplete());
  EXPECT_TRUE(At(loaded, 1)->isComplete());
  EXPECT_EQ(loaded.todoCount(), 1u);
  EXPECT_EQ(loaded.handedOutTasks().size(), 1u);
}

TEST(TaskPlanTest, OldTaskFilesLoadDoneSlicesAsDone) {
  testsupport::TempDir dir;
  const std::string local = enginetest::Narrow(dir.File(L"old.bin"));
  const std::string url = enginetest::UniqueUrl();
  // Done slice recorded as DownloadedPos == EndPos; a failed one mid-slice; one handed out.
  dir.Write(L"old.bin.xml",
            enginetest::TaskFileText(3, 12582912, url, local,
                                     {{0, 4194303, 4194303, 1, 1},
                                      {4194304, 8388607, 6000000, 2, 2},
                                      {8388608, 12582912, 8388608, 3, 3}}));
  CDownloadTaskManager plan(url, local, local + ".xml");
  plan.loadTaskFromFile(1);
  ASSERT_EQ(plan.allTasks().size(), 3u);
  EXPECT_TRUE(At(plan, 0)->isComplete());
  EXPECT_EQ(At(plan, 0)->DownloadedPos(), 4194303);
  EXPECT_EQ(At(plan, 1)->nextPos(), 6000000);
  EXPECT_EQ(At(plan, 1)->RequestTimes.load(), 0);  // stored 7 is not carried over
  EXPECT_EQ(plan.todoCount(), 2u);
  EXPECT_EQ(plan.handedOutTasks().size(), 1u);
  // Loading published the size, so the check needs no request.
  EXPECT_EQ(analytics::CSingleUserLog::GetInstance().GetContentLength(url), 12582912);
  ScopedSettings settings(0, 0);
  EXPECT_EQ(plan.checkTaskPlan(0), 1);
  // The todo list resumes in plan order, the failed slice at its position.
  CDownloadTask* next = static_cast<CDownloadTask*>(plan.getTask());
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next->id.load(), 2);
  EXPECT_EQ(next->status.load(), CTask::kHandedOut);
  EXPECT_EQ(next->nextPos(), 6000000);
}

TEST(TaskPlanTest, ASliceOneByteShortIsNotDone) {
  CDownloadTask task;
  task.StartPos = 0;
  task.EndPos = 4194303;
  task.contentLength = 8388608;
  task.setNextPos(4194303);  // byte 4194303 has not arrived
  EXPECT_FALSE(task.isComplete());
  EXPECT_EQ(task.DownloadedPos(), 4194303);  // what the file records
  task.setNextPos(4194304);
  EXPECT_TRUE(task.isComplete());
  EXPECT_EQ(task.receivedBytes(), 4194304);
  // The last slice ends one past the last byte.
  CDownloadTask last;
  last.StartPos = 4194304;
  last.EndPos = 8388608;
  last.contentLength = 8388608;
  last.setNextPos(8388607);
  EXPECT_FALSE(last.isComplete());
  last.setNextPos(8388608);
  EXPECT_TRUE(last.isComplete());
  EXPECT_EQ(last.receivedBytes(), 4194304);
}

struct BrokenPlan {
  const char* why;
  std::vector<TaskRow> rows;
  int count;
  int64_t length;
  int expected;
};

TEST(TaskPlanTest, BrokenPlansFailTheCheck) {
  const int64_t L = 10485760;
  const BrokenPlan cases[] = {
      {"first slice at 5", {{5, 4194303, 5, 0, 1}, {4194304, L, 4194304, 0, 2}}, 2, L, 3},
      {"gap", {{0, 4194302, 0, 0, 1}, {4194304, L, 4194304, 0, 2}}, 2, L, 3},
      {"short of the end", {{0, 4194303, 0, 0, 1}, {4194304, L - 1, 4194304, 0, 2}}, 2, L, 3},
      {"other slice size", {{0, 3, 0, 0, 1}, {4, L, 4, 0, 2}}, 2, L, 3},
      {"position outside slice", {{0, 4194303, 5000000, 0, 1}, {4194304, L, 4194304, 0, 2}}, 2, L, 3},
      {"count differs", {{0, 4194303, 0, 0, 1}, {4194304, L, 4194304, 0, 2}}, 3, L, 3},
      {"no slices", {}, 0, L, 3},
      {"size changed", {{0, 4194303, 0, 0, 1}, {4194304, L, 4194304, 0, 2}}, 2, L + 1, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    testsupport::TempDir dir;
    const std::string local = enginetest::Narrow(dir.File(L"p.bin"));
    const std::string url = enginetest::UniqueUrl();
    analytics::CSingleUserLog::GetInstance().SetContentLength(url, L);
    dir.Write(L"p.bin.xml", enginetest::TaskFileText(c.count, c.length, "", local, {}));
    // Rows carry the manager's URL except for the size case, whose file names another one.
    const std::string fileUrl = c.expected == 2 ? enginetest::UniqueUrl() : url;
    dir.Write(L"p.bin.xml", enginetest::TaskFileText(c.count, c.length, fileUrl, local, c.rows));
    ScopedSettings settings(0, 0);
    analytics::CSingleUserLog::GetInstance().ClearRecordedEvents();
    CDownloadTaskManager plan(url, local, local + ".xml");
    plan.loadTaskFromFile(0);
    EXPECT_EQ(plan.checkTaskPlan(0), c.expected);
    EXPECT_TRUE(enginetest::HasEvent("Other", "FlowError", c.expected == 2 ? "DL025" : "DL026"));
  }
}

TEST(TaskPlanTest, PlanWhoseSizeCannotBeAskedIsKeptWithItsFile) {
  testsupport::TempDir dir;
  const std::string local = enginetest::Narrow(dir.File(L"u.bin"));
  const std::string fileUrl = enginetest::UniqueUrl();
  const int64_t L = 10485760;
  const std::string text =
      enginetest::TaskFileText(2, L, fileUrl, local, {{0, 4194303, 4000, 2, 1}, {4194304, L, 4194304, 0, 2}});
  dir.Write(L"u.bin.xml", text);
  dir.Write(L"u.bin", std::string(4000, 'u'));
  ScopedSettings settings(0, 0);
  analytics::CSingleUserLog::GetInstance().ClearRecordedEvents();
  // Another address than the slices': its size is asked, and nothing listens there.
  CDownloadTaskManager plan(enginetest::UniqueUrl(), local, local + ".xml");
  plan.loadTaskFromFile(0);
  EXPECT_EQ(plan.checkTaskPlan(0), 4);
  EXPECT_FALSE(enginetest::HasEvent("Other", "FlowError", "DL025"));
  plan.clearTasks();
  EXPECT_EQ(plan.loadDownloadTask("", 0), ErrContentLength);
  EXPECT_TRUE(plan.allTasks().empty());
  EXPECT_EQ(enginetest::ReadFile(dir.File(L"u.bin.xml")), text);
  EXPECT_EQ(enginetest::ReadFile(dir.File(L"u.bin")), std::string(4000, 'u'));
  // A broken plan is still thrown away, answer or not.
  dir.Write(L"u.bin.xml", enginetest::TaskFileText(2, L, fileUrl, local,
                                                   {{5, 4194303, 5, 0, 1}, {4194304, L, 4194304, 0, 2}}));
  CDownloadTaskManager broken(enginetest::UniqueUrl(), local, local + ".xml");
  broken.loadTaskFromFile(0);
  EXPECT_EQ(broken.checkTaskPlan(0), 3);
}

TEST(TaskPlanTest, FailedCheckDeletesBothFilesAndRegenerates) {
  testsupport::TempDir dir;
  const std::string local = enginetest::Narrow(dir.File(L"r.bin"));
  const std::string url = enginetest::UniqueUrl();
  const int64_t L = 10485760;
  analytics::CSingleUserLog::GetInstance().SetContentLength(url, L);
  dir.Write(L"r.bin", std::string(100, 'x'));
  dir.Write(L"r.bin.xml", enginetest::TaskFileText(2, L, url, local,
                                                   {{5, 4194303, 5, 0, 1}, {4194304, L, 4194304, 0, 2}}));
  ScopedSettings settings(0, 0);
  CDownloadTaskManager plan(url, local, local + ".xml");
  EXPECT_EQ(plan.loadDownloadTask("", 0), ErrSuccess);
  EXPECT_FALSE(platform::PathExists(dir.File(L"r.bin")));
  EXPECT_FALSE(platform::PathExists(dir.File(L"r.bin.xml")));
  ASSERT_EQ(plan.allTasks().size(), 2u);
  EXPECT_EQ(At(plan, 0)->StartPos, 0);
  EXPECT_EQ(plan.downloadTime(), 0);
}

TEST(TaskPlanTest, MalformedTaskFilesRegenerateWithoutCrashing) {
  const std::string bodies[] = {
      "",
      "<TaskInfo><TasksCount>2</TasksCount><ContentLength>10485760",  // truncated
      "not xml at all \x01\x02",
      "<TaskInfo><TasksCount>x</TasksCount><ContentLength>-5</ContentLength></TaskInfo>",
      "<TaskInfo><Task><StartPos>99999999999999999999999</StartPos></Task></TaskInfo>",
      "<Other/>",
      // Positions at the ends of the 64-bit range: a done slice ending at the largest value,
      // and a negative start, must not overflow the slice arithmetic.
      "<TaskInfo><TasksCount>1</TasksCount><ContentLength>0</ContentLength><Task><StartPos>0"
      "</StartPos><EndPos>9223372036854775807</EndPos><DownloadedPos>9223372036854775807"
      "</DownloadedPos><TaskStatus>1</TaskStatus></Task></TaskInfo>",
      "<TaskInfo><TasksCount>1</TasksCount><ContentLength>10485760</ContentLength><Task>"
      "<StartPos>-9223372036854775808</StartPos><EndPos>10485760</EndPos><DownloadedPos>5"
      "</DownloadedPos><TaskStatus>2</TaskStatus></Task></TaskInfo>",
  };
  for (const auto& body : bodies) {
    SCOPED_TRACE(body);
    testsupport::TempDir dir;
    const std::string local = enginetest::Narrow(dir.File(L"m.bin"));
    const std::string url = enginetest::UniqueUrl();
    analytics::CSingleUserLog::GetInstance().SetContentLength(url, 10485760);
    dir.Write(L"m.bin.xml", body);
    ScopedSettings settings(0, 0);
    CDownloadTaskManager plan(url, local, local + ".xml");
    EXPECT_EQ(plan.loadDownloadTask("", 0), ErrSuccess);
    EXPECT_EQ(plan.allTasks().size(), 2u);
    EXPECT_EQ(plan.todoCount(), 2u);
  }
}

TEST(TaskPlanTest, ResumedPlanNeedsTheLocalFileToHoldItsBytes) {
  testsupport::TempDir dir;
  const std::string local = enginetest::Narrow(dir.File(L"k.bin"));
  const std::string url = enginetest::UniqueUrl();
  const int64_t L = 10485760;
  const std::string file =
      enginetest::TaskFileText(2, L, url, local, {{0, 4194303, 4194303, 1, 1}, {4194304, L, 4194304, 0, 2}});
  ScopedSettings settings(0, 0);
  {
    // The partial file is there: the plan resumes.
    dir.Write(L"k.bin.xml", file);
    dir.Write(L"k.bin", std::string(4194304, 'a'));
    analytics::CSingleUserLog::GetInstance().SetContentLength(url, L);
    CDownloadTaskManager plan(url, local, local + ".xml");
    EXPECT_EQ(plan.loadDownloadTask("", 0), ErrSuccess);
    EXPECT_EQ(plan.handedOutTasks().size(), 1u);
  }
  {
    // The partial file went away: resuming would report bytes that are not there.
    platform::RemoveFile(dir.File(L"k.bin"));
    dir.Write(L"k.bin.xml", file);
    CDownloadTaskManager plan(url, local, local + ".xml");
    EXPECT_EQ(plan.loadDownloadTask("", 0), ErrSuccess);
    EXPECT_EQ(plan.handedOutTasks().size(), 0u);
    EXPECT_EQ(plan.todoCount(), 2u);
  }
}

TEST(TaskPlanTest, SaveReplacesTheFileWhole) {
  testsupport::TempDir dir;
  const std::string local = enginetest::Narrow(dir.File(L"s.bin"));
  const std::string url = enginetest::UniqueUrl();
  analytics::CSingleUserLog::GetInstance().SetContentLength(url, 100);
  dir.Write(L"s.bin.xml", std::string(100000, 'z'));  // an older, longer file
  ScopedSettings settings(0, 0);
  CDownloadTaskManager plan(url, local, local + ".xml");
  ASSERT_EQ(plan.generateDownloadTask("", 0), ErrSuccess);
  plan.saveTaskToFile();
  const std::string text = enginetest::ReadFile(dir.File(L"s.bin.xml"));
  EXPECT_EQ(text, plan.taskFileText());
  // Nothing but the task file is left beside the download.
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(dir.path()))) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

}  // namespace
}  // namespace download

namespace download {
namespace {

// What the writer makes of any task file reads back to the same plan: a resume after a resume
// sees what the first one saw.
TEST(TaskPlanTest, WhatIsWrittenOfAnyTaskFileReadsBackTheSame) {
  testsupport::TempDir dir;
  const std::string local = enginetest::Narrow(dir.File(L"r.bin"));
  auto reread = [&](const std::string& text) {
    dir.Write(L"r.bin.xml", text);
    CDownloadTaskManager plan("http://127.0.0.1:1/r.bin", local, local + ".xml");
    plan.loadTaskFromFile(0);
    return plan.taskFileText();
  };
  const std::string slice =
      "<Task><StartPos>0</StartPos><EndPos>4194303</EndPos><DownloadedPos>4194303</DownloadedPos>"
      "<RemotePath>http://127.0.0.1:1/r.bin</RemotePath><LocalPath>/tmp/r.bin</LocalPath>"
      "<TaskStatus>1</TaskStatus><TaskId>1</TaskId></Task>";
  const std::string inputs[] = {
      "fo>\n",
      // The size after the slices it bounds, and a second size that overrides the first.
      "<TaskInfo><TasksCount>1</TasksCount>" + slice +
          "<ContentLength>50000</ContentLength></TaskInfo>",
      "<TaskInfo><ContentLength>5000000</ContentLength>" + slice +
          "<ContentLength>50000</ContentLength>" + slice + "</TaskInfo>",
  };
  for (const std::string& input : inputs) {
    const std::string written = reread(input);
    EXPECT_EQ(reread(written), written) << "from: " << input;
  }
}

}  // namespace
}  // namespace download
