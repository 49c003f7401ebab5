// MD5 digests and the "verify" signature check of the simulated data service.
// Pure functions, no state: safe from any thread. Nothing is owned.
#pragma once

#include <cstdint>
#include <string>

namespace vendorsim {

// 32 lower-case hexadecimal digits of the MD5 of the bytes.
std::string Md5Hex(const std::string& bytes);

// MD5 of a whole file; false when it cannot be read.
bool Md5HexOfFile(const std::string& path, std::string* hex);

enum class VerifyVerdict {
  kOk,
  kMissingVerify,     // no "&verify=" (or nothing signed before it)
  kBadSignature,      // the digest does not match the signed text
  kMissingTimestamp,  // no usable decimal "timestamp" among the signed parameters
  kStaleTimestamp,    // timestamp further from now than the allowed skew
};

struct VerifyResult {
  VerifyVerdict verdict = VerifyVerdict::kMissingVerify;
  std::string signedText;   // the query before "&verify=", as received
  std::string expected;     // MD5 of signedText + salt
  std::string received;     // the verify value
  int64_t timestamp = 0;
  int64_t skew = 0;         // now - timestamp
};

// Checks a raw (not percent-decoded) query: the signed text is everything before "&verify=",
// the signature is MD5(signed text + salt) in lower-case hex, and the "timestamp" parameter
// must lie within maxSkewSeconds of now in either direction.
VerifyResult CheckSignedQuery(const std::string& rawQuery, const std::string& salt, int64_t now,
                              int64_t maxSkewSeconds);

const char* VerdictName(VerifyVerdict verdict);

}  // namespace vendorsim
