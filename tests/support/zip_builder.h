// Builds ZIP archives in memory for tests (skin packages, damaged packages).
#pragma once

#include <string>
#include <vector>

namespace testsupport {

struct ZipEntry {
  std::string name;  // a trailing "/" makes a folder entry
  std::string data;
  bool stored = false;  // no compression
};

std::string MakeZip(const std::vector<ZipEntry>& entries);

}  // namespace testsupport
