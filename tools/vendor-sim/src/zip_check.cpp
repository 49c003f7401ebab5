#include "zip_check.h"

#include <zip.h>

#include <memory>

namespace vendorsim {
namespace {

const zip_int64_t kMaxEntries = 1000;
const uint64_t kMaxTotal = 512ull * 1024 * 1024;

struct ArchiveClose {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct FileClose {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};

ZipCheckResult Fail(const std::string& error) {
  ZipCheckResult result;
  result.error = error;
  return result;
}

}  // namespace

ZipCheckResult CheckZip(const std::string& bytes) {
  if (bytes.empty()) return Fail("empty archive");
  zip_error_t error;
  zip_error_init(&error);
  // The buffer is not freed by libzip (last argument 0); bytes outlives the archive.
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  if (source == nullptr) {
    const std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return Fail("cannot read buffer: " + text);
  }
  std::unique_ptr<zip_t, ArchiveClose> archive(
      zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error));
  if (!archive) {
    zip_source_free(source);
    const std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return Fail("not a ZIP archive: " + text);
  }
  zip_error_fini(&error);

  const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
  if (count < 0) return Fail("unreadable entry list");
  if (count > kMaxEntries) return Fail("too many entries");
  ZipCheckResult result;
  uint64_t total = 0;
  char buffer[65536];
  for (zip_int64_t i = 0; i < count; ++i) {
    const zip_uint64_t index = static_cast<zip_uint64_t>(i);
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive.get(), index, 0, &stat) != 0) return Fail("unreadable entry");
    ZipEntryInfo entry;
    entry.name = (stat.valid & ZIP_STAT_NAME) != 0 && stat.name != nullptr ? stat.name : "";
    std::unique_ptr<zip_file_t, FileClose> file(zip_fopen_index(archive.get(), index, 0));
    if (!file) {
      return Fail("cannot open entry \"" + entry.name + "\": " + zip_strerror(archive.get()));
    }
    while (true) {
      const zip_int64_t got = zip_fread(file.get(), buffer, sizeof buffer);
      if (got < 0) {
        return Fail("entry \"" + entry.name + "\" is damaged: " +
                    zip_file_strerror(file.get()));
      }
      if (got == 0) break;
      entry.size += static_cast<uint64_t>(got);
      total += static_cast<uint64_t>(got);
      if (total > kMaxTotal) return Fail("archive expands beyond the limit");
    }
    result.entries.push_back(entry);
  }
  result.ok = true;
  return result;
}

}  // namespace vendorsim
