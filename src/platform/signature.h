// The Authenticode check of a file's embedded signature, and the identity of its signer.
//
// Windows asks WinVerifyTrust with the generic verify action, keeps the verification state long
// enough to read the signer's certificate (subject common name and SHA-1 thumbprint), then closes
// the state with a second call. POSIX has no Authenticode: its equivalent is a CMS signature
// appended to the file (signature_posix.cpp says how; scripts/make-test-ca --sign-appended
// makes one), checked with OpenSSL, with the signer's name and thumbprint as on Windows; a
// file without one gives available false and TRUST_E_PROVIDER_UNKNOWN, never verified.
// Thread-safe: every call stands alone.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

constexpr int32_t kTrustNoSignature = static_cast<int32_t>(0x800B0100);         // TRUST_E_NOSIGNATURE
constexpr int32_t kTrustSubjectFormUnknown = static_cast<int32_t>(0x800B0003);  // TRUST_E_SUBJECT_FORM_UNKNOWN
constexpr int32_t kTrustProviderUnknown = static_cast<int32_t>(0x800B0001);     // TRUST_E_PROVIDER_UNKNOWN
constexpr int32_t kTrustExplicitDistrust = static_cast<int32_t>(0x800B0111);    // TRUST_E_EXPLICIT_DISTRUST
constexpr int32_t kTrustSubjectNotTrusted = static_cast<int32_t>(0x800B0004);   // TRUST_E_SUBJECT_NOT_TRUSTED
constexpr int32_t kTrustBadDigest = static_cast<int32_t>(0x80096010);           // TRUST_E_BAD_DIGEST
constexpr int32_t kCryptSecuritySettings = static_cast<int32_t>(0x80092026);    // CRYPT_E_SECURITY_SETTINGS

struct SignatureCheck {
  bool available = false;     // the platform can check Authenticode at all
  int32_t result = kTrustProviderUnknown;  // WinVerifyTrust's result; 0 verified
  uint32_t lastError = 0;     // the thread's last error right after the verification
  std::wstring signerName;    // common name of the signing certificate (when verified)
  std::string signerSha1;     // its SHA-1 thumbprint, 40 upper-case hexadecimal digits
};

SignatureCheck CheckEmbeddedSignature(const std::wstring& path);
// The same check read through a handle the caller holds open (HeldFile::NativeHandle), so the
// bytes checked are the bytes of that open file; -1 reads by path.
SignatureCheck CheckEmbeddedSignature(const std::wstring& path, intptr_t openFile);

}  // namespace platform
