// The system-independent half of the MD5 helpers.
#include "platform/md5.h"

namespace platform {

std::string DigestToHex(const uint8_t digest[16]) {
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(32);
  for (int i = 0; i < 16; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 15]);
  }
  return hex;
}

std::string Md5HexOfBytes(const void* data, size_t size) {
  Md5 md5;
  uint8_t digest[16];
  if (!md5.Update(data, size) || !md5.Finish(digest)) return std::string();
  return DigestToHex(digest);
}

}  // namespace platform
