#include <windows.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstdio>

#include "platform/signature.h"

namespace platform {
namespace {

// Hash-only, revocation of the end certificate, no policy usage.
constexpr DWORD kProviderFlags =
    WTD_HASH_ONLY_FLAG | WTD_REVOCATION_CHECK_END_CERT | WTD_NO_POLICY_USAGE_FLAG;
static_assert(kProviderFlags == 0x224, "provider flags of the generic verification");

void ReadSigner(HANDLE state, SignatureCheck* check) {
  CRYPT_PROVIDER_DATA* data = ::WTHelperProvDataFromStateData(state);
  if (data == nullptr) return;
  CRYPT_PROVIDER_SGNR* signer = ::WTHelperGetProvSignerFromChain(data, 0, FALSE, 0);
  if (signer == nullptr || signer->csCertChain == 0 || signer->pasCertChain == nullptr) return;
  PCCERT_CONTEXT cert = signer->pasCertChain[0].pCert;
  if (cert == nullptr) return;
  wchar_t name[256] = {};
  char oid[] = szOID_COMMON_NAME;
  const DWORD n =
      ::CertGetNameStringW(cert, CERT_NAME_ATTR_TYPE, 0, oid, name, sizeof(name) / sizeof(name[0]));
  if (n > 1) check->signerName.assign(name, n - 1);
  BYTE hash[20] = {};
  DWORD size = sizeof(hash);
  if (::CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, hash, &size) &&
      size == sizeof(hash)) {
    char hex[3];
    for (BYTE b : hash) {
      std::snprintf(hex, sizeof(hex), "%02X", b);
      check->signerSha1 += hex;
    }
  }
}

}  // namespace

SignatureCheck CheckEmbeddedSignature(const std::wstring& path) {
  return CheckEmbeddedSignature(path, -1);
}

SignatureCheck CheckEmbeddedSignature(const std::wstring& path, intptr_t openFile) {
  SignatureCheck check;
  check.available = true;

  WINTRUST_FILE_INFO file = {};
  file.cbStruct = sizeof(file);
  file.pcwszFilePath = path.c_str();
  if (openFile != -1) file.hFile = reinterpret_cast<HANDLE>(openFile);

  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  WINTRUST_DATA trust = {};
  trust.cbStruct = sizeof(trust);
  trust.dwUIChoice = WTD_UI_NONE;
  trust.fdwRevocationChecks = WTD_REVOKE_NONE;
  trust.dwUnionChoice = WTD_CHOICE_FILE;
  trust.pFile = &file;
  trust.dwStateAction = WTD_STATEACTION_VERIFY;
  trust.dwProvFlags = kProviderFlags;

  const LONG status = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &trust);
  check.lastError = ::GetLastError();
  check.result = static_cast<int32_t>(status);
  if (status == 0 && trust.hWVTStateData != nullptr) ReadSigner(trust.hWVTStateData, &check);

  trust.dwStateAction = WTD_STATEACTION_CLOSE;
  ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &trust);
  return check;
}

}  // namespace platform
