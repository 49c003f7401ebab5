#include "tls.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

#include <cstdio>
#include <memory>

namespace vendorsim {
namespace {

std::string OpenSslError(const std::string& what) {
  const unsigned long code = ERR_get_error();
  char text[256] = {0};
  if (code != 0) ERR_error_string_n(code, text, sizeof text);
  ERR_clear_error();
  return what + (code != 0 ? std::string(": ") + text : std::string());
}

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertFree {
  void operator()(X509* cert) const { X509_free(cert); }
};
struct FileClose {
  void operator()(FILE* file) const { std::fclose(file); }
};

bool AddExtension(X509* cert, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (ext == nullptr) return false;
  const bool ok = X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  return ok;
}

}  // namespace

bool GenerateSelfSignedCertificate(const std::string& certPath, const std::string& keyPath,
                                   std::string* error) {
  // RSA rather than EC: the TLS stack the Windows build meets under wine handles it everywhere.
  std::unique_ptr<EVP_PKEY, KeyFree> key(EVP_RSA_gen(2048));
  if (!key) {
    *error = OpenSslError("cannot generate the key");
    return false;
  }
  std::unique_ptr<X509, CertFree> cert(X509_new());
  if (!cert) {
    *error = OpenSslError("cannot create the certificate");
    return false;
  }
  unsigned char serial[8];
  if (RAND_bytes(serial, sizeof serial) != 1) {
    *error = OpenSslError("no random serial");
    return false;
  }
  serial[0] &= 0x7f;  // positive
  BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
  const bool serialOk = bn != nullptr && BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
  BN_free(bn);
  X509_NAME* name = X509_get_subject_name(cert.get());
  const bool ok =
      serialOk && X509_set_version(cert.get(), 2) == 1 &&
      X509_gmtime_adj(X509_getm_notBefore(cert.get()), -86400L) != nullptr &&
      X509_gmtime_adj(X509_getm_notAfter(cert.get()), 30L * 86400L) != nullptr &&
      X509_set_pubkey(cert.get(), key.get()) == 1 &&
      X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                                 reinterpret_cast<const unsigned char*>("Kerfo vendor simulator"),
                                 -1, -1, 0) == 1 &&
      X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                 reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1,
                                 0) == 1 &&
      X509_set_issuer_name(cert.get(), name) == 1 &&
      AddExtension(cert.get(), NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost") &&
      AddExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE") &&
      AddExtension(cert.get(), NID_ext_key_usage, "serverAuth") &&
      X509_sign(cert.get(), key.get(), EVP_sha256()) > 0;
  if (!ok) {
    *error = OpenSslError("cannot build the certificate");
    return false;
  }
  {
    const mode_t old = umask(077);
    std::unique_ptr<FILE, FileClose> keyFile(std::fopen(keyPath.c_str(), "wb"));
    umask(old);
    if (!keyFile || PEM_write_PrivateKey(keyFile.get(), key.get(), nullptr, nullptr, 0, nullptr,
                                         nullptr) != 1) {
      *error = OpenSslError("cannot write " + keyPath);
      return false;
    }
  }
  std::unique_ptr<FILE, FileClose> certFile(std::fopen(certPath.c_str(), "wb"));
  if (!certFile || PEM_write_X509(certFile.get(), cert.get()) != 1) {
    *error = OpenSslError("cannot write " + certPath);
    return false;
  }
  return true;
}

SSL_CTX* MakeServerContext(const std::string& certPath, const std::string& keyPath,
                           std::string* error) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (ctx == nullptr) {
    *error = OpenSslError("cannot create the TLS context");
    return nullptr;
  }
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_options(ctx, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION);
  SSL_CTX_set_mode(ctx, SSL_MODE_AUTO_RETRY);
  if (SSL_CTX_use_certificate_file(ctx, certPath.c_str(), SSL_FILETYPE_PEM) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx, keyPath.c_str(), SSL_FILETYPE_PEM) != 1 ||
      SSL_CTX_check_private_key(ctx) != 1) {
    *error = OpenSslError("cannot load the certificate");
    SSL_CTX_free(ctx);
    return nullptr;
  }
  return ctx;
}

}  // namespace vendorsim
