#include "support/temp_dir.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

namespace testsupport {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  std::random_device rd;
  fs::path base = fs::temp_directory_path() /
                  ("kerfo-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
  fs::create_directories(base);
  path_ = base.wstring() + static_cast<wchar_t>(fs::path::preferred_separator);
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(fs::path(path_), ec);
}

std::wstring TempDir::Write(const std::wstring& name, const std::string& bytes) const {
  std::wstring full = File(name);
  std::ofstream out(fs::path(full), std::ios::binary | std::ios::trunc);
  out << bytes;
  return full;
}

}  // namespace testsupport
