#include "platform/signature.h"

namespace platform {

// No Authenticode provider exists here; the caller logs that the file was not checked.
SignatureCheck CheckEmbeddedSignature(const std::wstring& /*path*/) {
  SignatureCheck check;
  check.available = false;
  check.result = kTrustProviderUnknown;
  check.lastError = static_cast<uint32_t>(kTrustProviderUnknown);
  return check;
}

SignatureCheck CheckEmbeddedSignature(const std::wstring& path, intptr_t /*openFile*/) {
  return CheckEmbeddedSignature(path);
}

}  // namespace platform
