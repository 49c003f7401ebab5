// The log archive upload: names, the archive's content, the form fields and what is kept.
#include "analytics/log_upload.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/text.h"
#include "support/local_time.h"
#include "support/temp_dir.h"

namespace analytics {
namespace {

platform::LocalTime When() { return testsupport::MakeLocalTime(2026, 3, 4, 5, 6, 7, 89); }

struct Upload {
  std::string path, name, productId, version, catalogue;
  int calls = 0;
};

// Entry names and contents of a ZIP file, read back with libzip.
std::vector<std::pair<std::string, std::string>> ReadZip(const std::string& bytes) {
  std::vector<std::pair<std::string, std::string>> out;
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  zip_t* archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (archive == nullptr) {
    zip_source_free(source);
    return out;
  }
  for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st);
    EXPECT_EQ(st.comp_method, ZIP_CM_DEFLATE);
    std::string data(static_cast<size_t>(st.size), '\0');
    zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    if (!data.empty()) zip_fread(file, &data[0], data.size());
    zip_fclose(file);
    out.emplace_back(st.name, data);
  }
  zip_close(archive);
  return out;
}

class LogUpload : public testing::Test {
 protected:
  LogUploadFn Uploader(int answer) {
    return [this, answer](const std::string& path, const std::string& name, const std::string& id,
                          const std::string& version, const std::string& catalogue) {
      seen_.calls++;
      seen_.path = path;
      seen_.name = name;
      seen_.productId = id;
      seen_.version = version;
      seen_.catalogue = catalogue;
      EXPECT_TRUE(platform::ReadWholeFile(platform::AnsiToWide(path), &archive_));
      return answer;
    };
  }
  std::wstring Folder() {
    std::wstring f = dir_.path();
    f.pop_back();
    return f;
  }
  testsupport::TempDir dir_;
  Upload seen_;
  std::string archive_;
  const std::wstring logName_ = L"BrindlecotKerfo_setup_20260304050000123.log";
};

TEST_F(LogUpload, NamesFollowTheirForms) {
  const LogUploadNames names = MakeLogUploadNames(L"C:\\logs\\", logName_, When());
  EXPECT_EQ(names.copy, L"C:\\logs\\" + logName_ + L"_copy.log");
  EXPECT_EQ(names.archive, L"C:\\logs\\20260304050607089.zip");
  EXPECT_EQ(names.uploadName, "BrindlecotKerfo_20260304050607089.zip");
  EXPECT_EQ(MakeLogUploadNames(L"x\\", L"plain.log", When()).uploadName, "");
  EXPECT_EQ(UploadCatalogue(""), "default");
  EXPECT_EQ(UploadCatalogue("CrashDmp"), "CrashDmp");
  for (const wchar_t* bad : {L"", L".", L"..", L"..\\..\\secret.txt", L"a/b.log", L"C:x.log"}) {
    EXPECT_FALSE(IsPlainFileName(bad)) << platform::WideToUtf8(bad);
  }
  EXPECT_TRUE(IsPlainFileName(logName_));
}

TEST_F(LogUpload, AcceptedUploadRemovesArchiveAndCopy) {
  dir_.Write(logName_, "line one\nline two\n");
  const std::wstring extra = dir_.Write(L"crash.dmp", std::string(5000, 'd'));
  EXPECT_EQ(UploadLogArchive(Folder(), logName_, "CrashDmp", extra, "1.0.0.1", When(), Uploader(0)),
            0);
  ASSERT_EQ(seen_.calls, 1);
  EXPECT_EQ(seen_.name, "BrindlecotKerfo_20260304050607089.zip");
  EXPECT_EQ(seen_.productId, "RERidavaza2900");
  EXPECT_EQ(seen_.version, "1.0.0.1");
  EXPECT_EQ(seen_.catalogue, "CrashDmp");
  const auto entries = ReadZip(archive_);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].first, platform::WideToUtf8(logName_));
  EXPECT_EQ(entries[0].second, "line one\nline two\n");
  EXPECT_EQ(entries[1].first, "crash.dmp");
  EXPECT_EQ(entries[1].second.size(), 5000u);
  EXPECT_FALSE(platform::PathExists(dir_.File(L"20260304050607089.zip")));
  EXPECT_FALSE(platform::PathExists(dir_.File(logName_ + L"_copy.log")));
  EXPECT_TRUE(platform::PathExists(dir_.File(logName_)));
}

TEST_F(LogUpload, RefusedUploadKeepsArchiveAndCopy) {
  dir_.Write(logName_, "x");
  EXPECT_EQ(UploadLogArchive(Folder(), logName_, "", L"", "1.0.0.1", When(), Uploader(-3)), 0);
  EXPECT_EQ(seen_.catalogue, "default");
  EXPECT_TRUE(platform::PathExists(dir_.File(L"20260304050607089.zip")));
  EXPECT_TRUE(platform::PathExists(dir_.File(logName_ + L"_copy.log")));
  EXPECT_EQ(ReadZip(archive_).size(), 1u);
}

TEST_F(LogUpload, MissingLogStillUploadsTheExtraFileAndNothingMeansNoArchive) {
  const std::wstring extra = dir_.Write(L"extra.txt", "e");
  EXPECT_EQ(UploadLogArchive(Folder(), L"gone.log", "t", extra, "1", When(), Uploader(0)), 0);
  ASSERT_EQ(ReadZip(archive_).size(), 1u);
  EXPECT_EQ(ReadZip(archive_)[0].first, "extra.txt");
  seen_ = Upload();
  // Nothing to archive: no archive file, no upload, and a result that says so (neither
  // "created" nor a failure to create one).
  EXPECT_EQ(UploadLogArchive(Folder(), L"gone.log", "t", dir_.File(L"none.bin"), "1", When(),
                             Uploader(0)),
            kLogUploadNothingToArchive);
  EXPECT_EQ(UploadLogArchive(Folder(), L"gone.log", "t", L"", "1", When(), Uploader(0)),
            kLogUploadNothingToArchive);
  EXPECT_EQ(seen_.calls, 0);
  EXPECT_FALSE(platform::PathExists(dir_.File(L"20260304050607089.zip")));
  // A log that cannot be read (here a folder of that name) is the same as a missing one.
  ASSERT_EQ(platform::CreateOneDirectory(dir_.File(L"locked.log")), 0u);
  EXPECT_EQ(UploadLogArchive(Folder(), L"locked.log", "t", extra, "1", When(), Uploader(0)), 0);
  EXPECT_EQ(seen_.calls, 1);
  ASSERT_EQ(ReadZip(archive_).size(), 1u);
  EXPECT_EQ(ReadZip(archive_)[0].first, "extra.txt");
  seen_ = Upload();
  EXPECT_EQ(UploadLogArchive(Folder(), L"..\\outside.log", "t", L"", "1", When(), Uploader(0)), -1);
  EXPECT_EQ(UploadLogArchive(L"", logName_, "t", L"", "1", When(), Uploader(0)), -1);
  EXPECT_EQ(seen_.calls, 0);
}

TEST_F(LogUpload, AnArchiveThatCannotBeWrittenIsReportedAndCleanedUp) {
  dir_.Write(logName_, "x");
  // A folder already holds the archive's name, so the archive cannot be written there.
  ASSERT_EQ(platform::CreateOneDirectory(dir_.File(L"20260304050607089.zip")), 0u);
  EXPECT_EQ(UploadLogArchive(Folder(), logName_, "t", L"", "1", When(), Uploader(0)), -1);
  EXPECT_EQ(seen_.calls, 0);
  EXPECT_FALSE(platform::PathExists(dir_.File(logName_ + L"_copy.log")));
  EXPECT_TRUE(platform::PathExists(dir_.File(logName_)));
}

TEST_F(LogUpload, ZipBuilderProducesAValidEmptyNothing) {
  std::string bytes;
  EXPECT_FALSE(BuildZip({}, &bytes));
  EXPECT_TRUE(bytes.empty());
  const std::string content(100000, 'z');
  ASSERT_TRUE(BuildZip({{"a.log", &content}}, &bytes));
  EXPECT_LT(bytes.size(), content.size() / 10);  // deflated
  EXPECT_EQ(ReadZip(bytes)[0].second, content);
}

}  // namespace
}  // namespace analytics
