// MD5 digests as 32 lower-case hexadecimal characters: the installer check and the service
// signatures. Thread-safe: each call has its own hashing state.
#pragma once

#include <string>

namespace FuntionImpl {

// Digest of the bytes.
std::string Md5Hex(const std::string& bytes);

// Digest of a file, read in chunks; empty when the file cannot be read to its end.
std::string Md5FileHex(const std::wstring& path);

}  // namespace FuntionImpl
