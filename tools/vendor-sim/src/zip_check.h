// Checks that uploaded bytes are a readable ZIP archive: every entry can be decompressed and
// passes its CRC. Pure function, no state: safe from any thread. Results own their texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vendorsim {

struct ZipEntryInfo {
  std::string name;
  uint64_t size = 0;
};

struct ZipCheckResult {
  bool ok = false;
  std::string error;
  std::vector<ZipEntryInfo> entries;
};

// Bounded: at most 1000 entries and 512 MiB of decompressed data are read.
ZipCheckResult CheckZip(const std::string& bytes);

}  // namespace vendorsim
