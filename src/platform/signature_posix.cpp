// POSIX executables have no Authenticode. The equivalent here is a signature appended to the
// file, as Linux signs kernel modules: the file's bytes, then a detached CMS (PKCS#7)
// signature of those bytes in DER, its length as four big-endian bytes, and the marker
// kMarker. A file without the marker gives today's answer (cannot be checked, not verified).
// The signature must verify with its signer's certificate, that certificate must be allowed
// to sign code and must chain up to a self-signed root carried in the signature, so no part
// of the signer's certificate (its name included) can be changed. Like WinVerifyTrust under
// wine, the root itself is not checked against a store of trusted roots: who signed is the
// publisher pin's question, and only the SHA-1 thumbprint form of the pin is safe here.
#include "platform/signature.h"

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <memory>

#include "platform/paths.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr char kMarker[] = "~Kerfo signature appended~\n";
constexpr size_t kMarkerSize = sizeof(kMarker) - 1;
// What one signed file may be: far above any installer, far below what would exhaust memory.
constexpr uint64_t kMaxSignedFile = 2ull << 30;
constexpr uint32_t kMaxSignature = 1u << 20;

struct Free {
  void operator()(BIO* b) const { BIO_free(b); }
  void operator()(CMS_ContentInfo* c) const { CMS_ContentInfo_free(c); }
  void operator()(X509_STORE* s) const { X509_STORE_free(s); }
  void operator()(STACK_OF(X509)* s) const { sk_X509_pop_free(s, X509_free); }
};

bool SelfSigned(X509* cert) {
  if (X509_NAME_cmp(X509_get_subject_name(cert), X509_get_issuer_name(cert)) != 0) return false;
  EVP_PKEY* key = X509_get0_pubkey(cert);
  return key != nullptr && X509_verify(cert, key) == 1;
}

bool ReadAll(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  const std::streamoff size = in.tellg();
  if (size < 0 || static_cast<uint64_t>(size) > kMaxSignedFile) return false;
  bytes->resize(static_cast<size_t>(size));
  in.seekg(0);
  return static_cast<bool>(in.read(&(*bytes)[0], size));
}

std::wstring CommonName(X509* cert) {
  char buf[256] = {};
  const int n = X509_NAME_get_text_by_NID(X509_get_subject_name(cert), NID_commonName, buf,
                                          sizeof(buf));
  return n > 0 ? Utf8ToWide(std::string(buf, static_cast<size_t>(n))) : std::wstring();
}

std::string Sha1Thumbprint(X509* cert) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (X509_digest(cert, EVP_sha1(), md, &n) != 1) return std::string();
  std::string hex;
  char two[3];
  for (unsigned int i = 0; i < n; ++i) {
    std::snprintf(two, sizeof(two), "%02X", md[i]);
    hex += two;
  }
  return hex;
}

SignatureCheck CheckAppendedSignature(const std::string& bytes) {
  SignatureCheck check;
  const size_t size = bytes.size();
  if (size < kMarkerSize + 4 || bytes.compare(size - kMarkerSize, kMarkerSize, kMarker) != 0) {
    check.available = false;
    check.result = kTrustProviderUnknown;
    check.lastError = static_cast<uint32_t>(kTrustProviderUnknown);
    return check;
  }
  // From here on the file claims a signature: anything wrong with it is a bad signature.
  check.available = true;
  check.result = kTrustBadDigest;
  check.lastError = static_cast<uint32_t>(kTrustBadDigest);
  const size_t lengthAt = size - kMarkerSize - 4;
  const uint32_t sigSize = (static_cast<uint32_t>(static_cast<uint8_t>(bytes[lengthAt])) << 24) |
                           (static_cast<uint32_t>(static_cast<uint8_t>(bytes[lengthAt + 1])) << 16) |
                           (static_cast<uint32_t>(static_cast<uint8_t>(bytes[lengthAt + 2])) << 8) |
                           static_cast<uint32_t>(static_cast<uint8_t>(bytes[lengthAt + 3]));
  if (sigSize == 0 || sigSize > kMaxSignature || sigSize > lengthAt) return check;
  const size_t contentSize = lengthAt - sigSize;
  std::unique_ptr<BIO, Free> sigBio(BIO_new_mem_buf(bytes.data() + contentSize,
                                                    static_cast<int>(sigSize)));
  if (!sigBio) return check;
  std::unique_ptr<CMS_ContentInfo, Free> cms(d2i_CMS_bio(sigBio.get(), nullptr));
  if (!cms) return check;
  std::unique_ptr<BIO, Free> content(BIO_new_mem_buf(bytes.data(), static_cast<int>(contentSize)));
  std::unique_ptr<X509_STORE, Free> store(X509_STORE_new());
  std::unique_ptr<STACK_OF(X509), Free> carried(CMS_get1_certs(cms.get()));
  if (!content || !store || !carried) return check;
  int roots = 0;
  for (int i = 0; i < sk_X509_num(carried.get()); ++i) {
    X509* cert = sk_X509_value(carried.get(), i);
    if (SelfSigned(cert) && X509_STORE_add_cert(store.get(), cert) == 1) ++roots;
  }
  // Code-signing certificates are not for mail: any purpose here, code signing checked below.
  if (roots == 0 || X509_STORE_set_purpose(store.get(), X509_PURPOSE_ANY) != 1) return check;
  if (CMS_verify(cms.get(), nullptr, store.get(), content.get(), nullptr, CMS_BINARY) != 1) {
    return check;
  }
  STACK_OF(X509)* signers = CMS_get0_signers(cms.get());
  if (signers == nullptr || sk_X509_num(signers) != 1) {
    sk_X509_free(signers);
    return check;
  }
  X509* signer = sk_X509_value(signers, 0);
  if ((X509_get_extended_key_usage(signer) & XKU_CODE_SIGN) == 0) {
    sk_X509_free(signers);
    return check;
  }
  check.signerName = CommonName(signer);
  check.signerSha1 = Sha1Thumbprint(signer);
  sk_X509_free(signers);
  check.result = 0;
  check.lastError = 0;
  return check;
}

SignatureCheck Unreadable() {
  SignatureCheck check;
  check.available = true;
  check.result = kTrustNoSignature;
  check.lastError = 2;  // ERROR_FILE_NOT_FOUND, as far as this check can tell
  return check;
}

}  // namespace

SignatureCheck CheckEmbeddedSignature(const std::wstring& path) {
  std::string bytes;
  if (!ReadAll(NativePathBytes(path), &bytes)) {
    return Unreadable();  // unreadable or absurdly large: nothing is verified
  }
  return CheckAppendedSignature(bytes);
}

// The held installer: its bytes are read through the open descriptor, so the file that is
// checked is the one that runs even if its name was replaced meanwhile.
SignatureCheck CheckEmbeddedSignature(const std::wstring& path, intptr_t openFile) {
  if (openFile < 0) return CheckEmbeddedSignature(path);
  const int fd = static_cast<int>(openFile);
  struct stat st {};
  if (fstat(fd, &st) != 0 || st.st_size < 0 || static_cast<uint64_t>(st.st_size) > kMaxSignedFile)
    return Unreadable();
  std::string bytes(static_cast<size_t>(st.st_size), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = pread(fd, &bytes[done], bytes.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Unreadable();
    done += static_cast<size_t>(n);
  }
  return CheckAppendedSignature(bytes);
}

}  // namespace platform
