#include "system/signature.h"

#include <easylogging++.h>

#include <cctype>
#include <cstdio>

#include "build_options.h"
#include "platform/text.h"

namespace FuntionImpl {
namespace {

// The messages fit the 256 characters of the original buffer; a long path is cut there too.
constexpr size_t kMessageChars = 256;

std::string Format(const char* format, const std::string& text) {
  char buf[kMessageChars] = {};
  std::snprintf(buf, sizeof(buf), format, text.c_str());
  return buf;
}

// The thumbprint form of a pin, upper-case, or "" when the pin is not one.
std::string ThumbprintOfPin(const std::string& pin) {
  std::string hex;
  for (char ch : pin) {
    if (ch == ' ' || ch == ':') continue;
    if (!std::isxdigit(static_cast<unsigned char>(ch))) return std::string();
    hex += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  }
  return hex.size() == 40 ? hex : std::string();
}

}  // namespace

std::string SignatureMessage(const platform::SignatureCheck& check, const std::string& path) {
  if (!check.available) {
    return Format("Authenticode signatures cannot be checked on this platform; the file \"%s\" "
                  "is not verified.",
                  path);
  }
  switch (check.result) {
    case 0:
      return Format("The file \"%s\" is signed and the signature was verified.", path);
    case platform::kTrustNoSignature: {
      const int32_t last = static_cast<int32_t>(check.lastError);
      if (last == platform::kTrustNoSignature || last == platform::kTrustSubjectFormUnknown ||
          last == platform::kTrustProviderUnknown) {
        return Format("The file \"%s\" is not signed.", path);
      }
      return Format("An unknown error occurred trying to verify the signature of the \"%s\" file.",
                    path);
    }
    case platform::kTrustExplicitDistrust:
      return "The signature is present, but specifically disallowed.";
    case platform::kTrustSubjectNotTrusted:
      return "The signature is present, but not trusted.";
    case platform::kCryptSecuritySettings:
      return "CRYPT_E_SECURITY_SETTINGS - The hash representing the subject or the publisher "
             "wasn't explicitly trusted by the admin and admin policy has disabled user trust. "
             "No signature, publisher or timestamp errors.";
    default: {
      char buf[kMessageChars] = {};
      std::snprintf(buf, sizeof(buf), "Error is: 0x%x.", static_cast<unsigned>(check.result));
      return buf;
    }
  }
}

bool SignerMatchesPin(const platform::SignatureCheck& check, const std::string& pin) {
  if (pin.empty()) return true;
  const std::string thumbprint = ThumbprintOfPin(pin);
  if (!thumbprint.empty()) return !check.signerSha1.empty() && check.signerSha1 == thumbprint;
  return !check.signerName.empty() && platform::WideToUtf8(check.signerName) == pin;
}

bool VerifyEmbeddedSignatureWithPin(const std::wstring& path, const std::string& pin,
                                    std::string* message, intptr_t openFile) {
  const platform::SignatureCheck check = platform::CheckEmbeddedSignature(path, openFile);
  const std::string pathText = platform::WideToUtf8(path);
  bool verified = check.available && check.result == 0;
  std::string text = SignatureMessage(check, pathText);
  if (verified && !SignerMatchesPin(check, pin)) {
    // A valid signature of someone else counts as no valid signature at all.
    verified = false;
    text = Format("The file \"%s\" is signed, but not by the expected publisher", pathText) +
           " (signer \"" + platform::WideToUtf8(check.signerName) + "\", SHA-1 " +
           (check.signerSha1.empty() ? std::string("unknown") : check.signerSha1) + ").";
  }
  LOG(INFO) << " VerifyEmbeddedSignature result is " << check.result << ", " << text;
  if (message != nullptr) *message = text;
  return verified;
}

bool VerifyEmbeddedSignature(const std::wstring& path) {
  return VerifyEmbeddedSignatureWithPin(path, KERFO_PUBLISHER_PIN, nullptr);
}

bool VerifyEmbeddedSignature(const platform::HeldFile& file) {
  if (!file.IsHeld()) return false;
  return VerifyEmbeddedSignatureWithPin(file.Path(), KERFO_PUBLISHER_PIN, nullptr,
                                        file.NativeHandle());
}

}  // namespace FuntionImpl
