// The simulator's TLS identity: a self-signed certificate for 127.0.0.1 generated at every start
// into the state folder, and the server context built from it.
// Call from the starting thread; the returned context is then shared read-only by all
// connections (OpenSSL contexts are safe to use from many threads once set up). The caller
// owns the context and frees it with SSL_CTX_free after every server has stopped.
#pragma once

#include <openssl/ssl.h>

#include <string>

namespace vendorsim {

// Writes certPath and keyPath (PEM, key readable by the owner only). False with a reason on
// failure.
bool GenerateSelfSignedCertificate(const std::string& certPath, const std::string& keyPath,
                                   std::string* error);

// TLS 1.2 and later, the certificate and key loaded. Null with a reason on failure.
SSL_CTX* MakeServerContext(const std::string& certPath, const std::string& keyPath,
                           std::string* error);

}  // namespace vendorsim
