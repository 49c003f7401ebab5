#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/md5.h"
#include "platform/paths.h"

namespace platform {

struct Md5::Impl {
  EVP_MD_CTX* ctx = nullptr;
  bool finished = false;
};

Md5::Md5() : impl_(new Impl) {
  impl_->ctx = EVP_MD_CTX_new();
  if (impl_->ctx && EVP_DigestInit_ex(impl_->ctx, EVP_md5(), nullptr) != 1) {
    EVP_MD_CTX_free(impl_->ctx);
    impl_->ctx = nullptr;
  }
}

Md5::~Md5() {
  if (impl_->ctx) EVP_MD_CTX_free(impl_->ctx);
}

bool Md5::ok() const {
  return impl_->ctx != nullptr && !impl_->finished;
}

bool Md5::Update(const void* data, size_t size) {
  if (!ok()) return false;
  if (size == 0) return true;
  return EVP_DigestUpdate(impl_->ctx, data, size) == 1;
}

bool Md5::Finish(uint8_t digest[16]) {
  if (!ok()) return false;
  impl_->finished = true;
  unsigned int length = 0;
  unsigned char out[EVP_MAX_MD_SIZE];
  if (EVP_DigestFinal_ex(impl_->ctx, out, &length) != 1 || length != 16) return false;
  for (int i = 0; i < 16; ++i) digest[i] = out[i];
  return true;
}

bool Md5HexOfFile(const std::wstring& path, std::string* hex) {
  hex->clear();
  int fd = ::open(NativePathBytes(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  Md5 md5;
  std::vector<char> chunk(1u << 20);
  bool ok = md5.ok();
  while (ok) {
    ssize_t n = ::read(fd, chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    ok = md5.Update(chunk.data(), static_cast<size_t>(n));
  }
  ::close(fd);
  uint8_t digest[16];
  if (!ok || !md5.Finish(digest)) return false;
  *hex = DigestToHex(digest);
  return true;
}

}  // namespace platform
