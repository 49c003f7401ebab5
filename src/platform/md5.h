// MD5 digests (RFC 1321): incremental over byte runs, and over whole files read in chunks so a
// large download is never held in memory. Windows hashes with BCrypt, POSIX with OpenSSL EVP.
// Thread-safety: one Md5 object belongs to one thread at a time; the free functions are
// thread-safe. Md5 owns its hashing context and releases it when destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class Md5 {
 public:
  Md5();
  ~Md5();
  Md5(const Md5&) = delete;
  Md5& operator=(const Md5&) = delete;

  // False when the system could not set up the hash; Update and Finish then fail too.
  bool ok() const;
  bool Update(const void* data, size_t size);
  // Writes the 16-byte digest. The object is spent afterwards: further calls fail.
  bool Finish(uint8_t digest[16]);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// 32 lower-case hexadecimal characters of a 16-byte digest.
std::string DigestToHex(const uint8_t digest[16]);

// Digest of a byte run as lower-case hex; empty only when the system hash is unavailable.
std::string Md5HexOfBytes(const void* data, size_t size);

// Streams the file through MD5 in 1 MiB chunks. False (and *hex empty) when the file cannot be
// opened or read to its end.
bool Md5HexOfFile(const std::wstring& path, std::string* hex);

}  // namespace platform
