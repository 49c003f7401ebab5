#include "signature.h"

#include <openssl/evp.h>

#include <cstdio>
#include <memory>

namespace vendorsim {
namespace {

std::string ToHex(const unsigned char* data, unsigned length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(length * 2u);
  for (unsigned i = 0; i < length; ++i) {
    hex += kDigits[data[i] >> 4];
    hex += kDigits[data[i] & 0x0f];
  }
  return hex;
}

struct MdCtxFree {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

// Value of a parameter in an "a=1&b=2" text, as received; false when absent.
bool FindParam(const std::string& query, const std::string& name, std::string* value) {
  size_t pos = 0;
  while (pos <= query.size()) {
    size_t end = query.find('&', pos);
    if (end == std::string::npos) end = query.size();
    const std::string pair = query.substr(pos, end - pos);
    const size_t eq = pair.find('=');
    if (eq != std::string::npos && pair.compare(0, eq, name) == 0 && eq == name.size()) {
      *value = pair.substr(eq + 1);
      return true;
    }
    pos = end + 1;
  }
  return false;
}

bool ParseSeconds(const std::string& text, int64_t* value) {
  if (text.empty() || text.size() > 18) return false;
  int64_t result = 0;
  for (char ch : text) {
    if (ch < '0' || ch > '9') return false;
    result = result * 10 + (ch - '0');
  }
  *value = result;
  return true;
}

}  // namespace

std::string Md5Hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1) return "";
  return ToHex(digest, length);
}

bool Md5HexOfFile(const std::string& path, std::string* hex) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return false;
  std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1) return false;
  char buffer[65536];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    if (EVP_DigestUpdate(ctx.get(), buffer, got) != 1) return false;
  }
  if (std::ferror(file.get())) return false;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) return false;
  *hex = ToHex(digest, length);
  return true;
}

VerifyResult CheckSignedQuery(const std::string& rawQuery, const std::string& salt, int64_t now,
                              int64_t maxSkewSeconds) {
  VerifyResult result;
  const std::string marker = "&verify=";
  const size_t at = rawQuery.find(marker);
  if (at == std::string::npos || at == 0) {
    result.verdict = VerifyVerdict::kMissingVerify;
    return result;
  }
  result.signedText = rawQuery.substr(0, at);
  const size_t valueStart = at + marker.size();
  const size_t valueEnd = rawQuery.find('&', valueStart);
  result.received = rawQuery.substr(
      valueStart, valueEnd == std::string::npos ? std::string::npos : valueEnd - valueStart);
  result.expected = Md5Hex(result.signedText + salt);
  if (result.received != result.expected) {
    result.verdict = VerifyVerdict::kBadSignature;
    return result;
  }
  std::string stampText;
  if (!FindParam(result.signedText, "timestamp", &stampText) ||
      !ParseSeconds(stampText, &result.timestamp)) {
    result.verdict = VerifyVerdict::kMissingTimestamp;
    return result;
  }
  result.skew = now - result.timestamp;
  const int64_t distance = result.skew < 0 ? -result.skew : result.skew;
  result.verdict = distance > maxSkewSeconds ? VerifyVerdict::kStaleTimestamp : VerifyVerdict::kOk;
  return result;
}

const char* VerdictName(VerifyVerdict verdict) {
  switch (verdict) {
    case VerifyVerdict::kOk: return "ok";
    case VerifyVerdict::kMissingVerify: return "missing_verify";
    case VerifyVerdict::kBadSignature: return "bad_signature";
    case VerifyVerdict::kMissingTimestamp: return "missing_timestamp";
    case VerifyVerdict::kStaleTimestamp: return "stale_timestamp";
  }
  return "unknown";
}

}  // namespace vendorsim
