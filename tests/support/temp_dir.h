// A fresh folder per test, removed when the test ends.
#pragma once

#include <string>

namespace testsupport {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Wide path with a trailing separator ("\" on Windows, "/" elsewhere).
  const std::wstring& path() const { return path_; }
  std::wstring File(const std::wstring& name) const { return path_ + name; }
  // Writes bytes to a file inside the folder and returns its path.
  std::wstring Write(const std::wstring& name, const std::string& bytes) const;

 private:
  std::wstring path_;
};

}  // namespace testsupport
