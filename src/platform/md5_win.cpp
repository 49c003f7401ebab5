#include "platform/md5.h"

// <bcrypt.h> builds on the types of <windows.h>, so their order is fixed.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

#include <vector>

namespace platform {

struct Md5::Impl {
  BCRYPT_ALG_HANDLE alg = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  std::vector<UCHAR> object;
  bool finished = false;
};

Md5::Md5() : impl_(new Impl) {
  if (BCryptOpenAlgorithmProvider(&impl_->alg, BCRYPT_MD5_ALGORITHM, nullptr, 0) != 0) {
    impl_->alg = nullptr;
    return;
  }
  DWORD objectSize = 0;
  ULONG got = 0;
  if (BCryptGetProperty(impl_->alg, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectSize),
                        sizeof(objectSize), &got, 0) != 0) {
    return;
  }
  impl_->object.resize(objectSize);
  if (BCryptCreateHash(impl_->alg, &impl_->hash, impl_->object.data(), objectSize, nullptr, 0, 0) !=
      0) {
    impl_->hash = nullptr;
  }
}

Md5::~Md5() {
  if (impl_->hash) BCryptDestroyHash(impl_->hash);
  if (impl_->alg) BCryptCloseAlgorithmProvider(impl_->alg, 0);
}

bool Md5::ok() const {
  return impl_->hash != nullptr && !impl_->finished;
}

bool Md5::Update(const void* data, size_t size) {
  if (!ok()) return false;
  const UCHAR* p = static_cast<const UCHAR*>(data);
  // BCryptHashData takes a 32-bit length; feed larger runs in slices.
  while (size > 0) {
    ULONG slice = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
    if (BCryptHashData(impl_->hash, const_cast<PUCHAR>(p), slice, 0) != 0) return false;
    p += slice;
    size -= slice;
  }
  return true;
}

bool Md5::Finish(uint8_t digest[16]) {
  if (!ok()) return false;
  impl_->finished = true;
  return BCryptFinishHash(impl_->hash, digest, 16, 0) == 0;
}

bool Md5HexOfFile(const std::wstring& path, std::string* hex) {
  hex->clear();
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  Md5 md5;
  std::vector<char> chunk(1u << 20);
  bool ok = md5.ok();
  while (ok) {
    DWORD n = 0;
    if (!ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &n, nullptr)) {
      ok = false;
      break;
    }
    if (n == 0) break;
    ok = md5.Update(chunk.data(), n);
  }
  CloseHandle(file);
  uint8_t digest[16];
  if (!ok || !md5.Finish(digest)) return false;
  *hex = DigestToHex(digest);
  return true;
}

}  // namespace platform
