#include "system/md5.h"

#include <easylogging++.h>

#include "platform/md5.h"
#include "platform/text.h"

namespace FuntionImpl {

std::string Md5Hex(const std::string& bytes) {
  return platform::Md5HexOfBytes(bytes.data(), bytes.size());
}

std::string Md5FileHex(const std::wstring& path) {
  std::string hex;
  if (!platform::Md5HexOfFile(path, &hex)) {
    LOG(INFO) << " Md5FileHex: cannot read " << platform::WideToUtf8(path);
  }
  return hex;
}

}  // namespace FuntionImpl
