#include "uikit/resource_package.h"

#include <easylogging++.h>
#include <zip.h>

#include <algorithm>
#include <exception>

#include "platform/text.h"

namespace uikit {
namespace {

std::string NormaliseName(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  // Layouts sometimes name files relative to the package root with a leading "./" or "/".
  while (name.rfind("./", 0) == 0) name.erase(0, 2);
  while (!name.empty() && name.front() == '/') name.erase(0, 1);
  return name;
}

}  // namespace

ResourcePackage::ResourcePackage(uint64_t maxEntrySize) : maxEntrySize_(maxEntrySize) {}

ResourcePackage::~ResourcePackage() {
  Clear();
}

ResourcePackage& ResourcePackage::Global() {
  static ResourcePackage package;
  return package;
}

bool ResourcePackage::SetFromMemory(const void* data, size_t size) {
  std::lock_guard<std::mutex> guard(lock_);
  if (archive_ != nullptr) {
    zip_discard(archive_);
    archive_ = nullptr;
  }
  if (data == nullptr || size == 0) {
    LOG(INFO) << " Skin package: no data (size " << size << ")";
    return false;
  }

  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
  if (source == nullptr) {
    LOG(INFO) << " Skin package: cannot use the buffer: " << zip_error_strerror(&error);
    zip_error_fini(&error);
    return false;
  }
  // Read-only, and with the stricter checks so a cut-off or patched archive is refused here
  // instead of failing later halfway through a window.
  zip_t* archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (archive == nullptr) {
    LOG(INFO) << " Skin package: not a valid ZIP (" << size
              << " bytes): " << zip_error_strerror(&error);
    zip_source_free(source);
    zip_error_fini(&error);
    return false;
  }
  zip_error_fini(&error);
  archive_ = archive;
  LOG(INFO) << " Skin package: opened, " << zip_get_num_entries(archive_, 0) << " entries";
  return true;
}

void ResourcePackage::Clear() {
  std::lock_guard<std::mutex> guard(lock_);
  if (archive_ != nullptr) {
    zip_discard(archive_);
    archive_ = nullptr;
  }
}

bool ResourcePackage::IsOpen() const {
  std::lock_guard<std::mutex> guard(lock_);
  return archive_ != nullptr;
}

bool ResourcePackage::ReadFile(const std::wstring& name, std::string* bytes) const {
  return ReadFile(platform::WideToUtf8(name), bytes);
}

bool ResourcePackage::ReadFile(const std::string& utf8Name, std::string* bytes) const {
  if (bytes == nullptr) return false;
  std::lock_guard<std::mutex> guard(lock_);
  return ReadLocked(NormaliseName(utf8Name), bytes);
}

bool ResourcePackage::HasFile(const std::wstring& name) const {
  std::lock_guard<std::mutex> guard(lock_);
  return LocateLocked(NormaliseName(platform::WideToUtf8(name))) >= 0;
}

int64_t ResourcePackage::LocateLocked(const std::string& name) const {
  if (archive_ == nullptr || name.empty()) return -1;
  zip_int64_t index = zip_name_locate(archive_, name.c_str(), 0);
  if (index < 0) index = zip_name_locate(archive_, name.c_str(), ZIP_FL_NOCASE);
  return index;
}

bool ResourcePackage::ReadLocked(const std::string& name, std::string* bytes) const {
  if (archive_ == nullptr) {
    LOG(INFO) << " Skin package: no package set, cannot read " << name;
    return false;
  }
  const zip_int64_t index = LocateLocked(name);
  if (index < 0) {
    LOG(INFO) << " Skin package: no entry " << name;
    return false;
  }
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &st) != 0 ||
      (st.valid & ZIP_STAT_SIZE) == 0) {
    LOG(INFO) << " Skin package: cannot examine entry " << name << ": " << zip_strerror(archive_);
    return false;
  }
  if (st.name != nullptr) {
    const std::string entryName(st.name);
    if (!entryName.empty() && entryName.back() == '/') {
      LOG(INFO) << " Skin package: " << name << " is a folder";
      return false;
    }
  }
  if (st.size > maxEntrySize_) {
    LOG(INFO) << " Skin package: entry " << name << " too large: " << st.size << " bytes, limit "
              << maxEntrySize_;
    return false;
  }

  zip_file_t* file = zip_fopen_index(archive_, static_cast<zip_uint64_t>(index), 0);
  if (file == nullptr) {
    LOG(INFO) << " Skin package: cannot open entry " << name << ": " << zip_strerror(archive_);
    return false;
  }
  std::string content;
  try {
    content.resize(static_cast<size_t>(st.size));
  } catch (const std::exception&) {
    LOG(INFO) << " Skin package: no memory for entry " << name << " (" << st.size << " bytes)";
    zip_fclose(file);
    return false;
  }
  zip_uint64_t done = 0;
  bool ok = true;
  while (done < st.size) {
    const zip_int64_t got = zip_fread(file, &content[static_cast<size_t>(done)], st.size - done);
    if (got < 0) {
      LOG(INFO) << " Skin package: entry " << name << " is damaged: " << zip_file_strerror(file);
      ok = false;
      break;
    }
    if (got == 0) {
      LOG(INFO) << " Skin package: entry " << name << " ended after " << done << " of " << st.size
                << " bytes";
      ok = false;
      break;
    }
    done += static_cast<zip_uint64_t>(got);
  }
  if (ok) {
    // One more read lets libzip reach the end of the stream and compare the checksum, and shows
    // data beyond the size the directory promised.
    char extra = 0;
    const zip_int64_t more = zip_fread(file, &extra, 1);
    if (more != 0) {
      LOG(INFO) << " Skin package: entry " << name << " does not match its directory record: "
                << (more < 0 ? zip_file_strerror(file) : "more data than declared");
      ok = false;
    }
  }
  zip_fclose(file);
  if (!ok) return false;
  bytes->swap(content);
  return true;
}

}  // namespace uikit
