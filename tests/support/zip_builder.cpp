#include "support/zip_builder.h"

#include <zip.h>

#include <cstdio>

namespace testsupport {

std::string MakeZip(const std::vector<ZipEntry>& entries) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
  zip_source_keep(buffer);
  zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
  for (const auto& e : entries) {
    if (!e.name.empty() && e.name.back() == '/') {
      zip_dir_add(archive, e.name.c_str(), ZIP_FL_ENC_UTF_8);
      continue;
    }
    zip_source_t* s = zip_source_buffer(archive, e.data.data(), e.data.size(), 0);
    const zip_int64_t index = zip_file_add(archive, e.name.c_str(), s, ZIP_FL_ENC_UTF_8);
    if (e.stored)
      zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
  }
  zip_close(archive);
  std::string bytes;
  zip_source_open(buffer);
  zip_source_seek(buffer, 0, SEEK_END);
  bytes.resize(static_cast<size_t>(zip_source_tell(buffer)));
  zip_source_seek(buffer, 0, SEEK_SET);
  zip_source_read(buffer, &bytes[0], bytes.size());
  zip_source_close(buffer);
  zip_source_free(buffer);
  return bytes;
}

}  // namespace testsupport
