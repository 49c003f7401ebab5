// The toolkit's resource package: the skin ZIP (layouts, images, language files, the built-in
// configuration) read straight from memory, normally from the executable's own resource.
//
// Threading: every operation takes the package's one lock, so any thread may read files while
// another replaces the package; readers get either the old or the new archive, never a mix.
// Ownership: the package does NOT copy the ZIP bytes. The caller keeps them valid and unchanged
// for as long as the package uses them (for the process-wide package: the life of the process;
// resource bytes of the own module satisfy that). The package owns the libzip handle only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

struct zip;

namespace uikit {

class ResourcePackage {
 public:
  // Entries above this size are refused rather than inflated: the skin holds small layouts and
  // images, and a forged size field must not make a 32-bit process allocate its address space.
  static constexpr uint64_t kDefaultMaxEntrySize = 32u * 1024u * 1024u;

  explicit ResourcePackage(uint64_t maxEntrySize = kDefaultMaxEntrySize);
  ~ResourcePackage();
  ResourcePackage(const ResourcePackage&) = delete;
  ResourcePackage& operator=(const ResourcePackage&) = delete;

  // Opens the ZIP held in [data, data + size). Replaces any package set before. False (with a
  // log line, and the package left empty) when the bytes are missing or not a sound ZIP.
  bool SetFromMemory(const void* data, size_t size);
  // Forgets the package; later reads fail.
  void Clear();
  bool IsOpen() const;

  // Reads one file by its path inside the package. "\" and "/" both separate folders; when no
  // entry matches exactly, a case-insensitive match is taken (Windows paths ignore case).
  // False with a log line for: no package, no such entry, a folder, an entry larger than the
  // limit, or data that does not inflate or fails its checksum. *bytes is only set on success.
  bool ReadFile(const std::wstring& name, std::string* bytes) const;
  bool ReadFile(const std::string& utf8Name, std::string* bytes) const;

  // Whether an entry of that name exists (same name rules as ReadFile).
  bool HasFile(const std::wstring& name) const;

  // The package the whole process shares (start-up sets it, the windows read from it).
  static ResourcePackage& Global();

 private:
  bool ReadLocked(const std::string& name, std::string* bytes) const;
  int64_t LocateLocked(const std::string& name) const;

  const uint64_t maxEntrySize_;
  mutable std::mutex lock_;
  struct zip* archive_ = nullptr;  // guarded by lock_
};

}  // namespace uikit
