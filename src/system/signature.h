// VerifyEmbeddedSignature: the Authenticode check of the downloaded installer, with the
// optional publisher pin of the build (KERFO_PUBLISHER_PIN).
//
// The check never fails as such: every outcome other than a verified signature (of the pinned
// publisher, when a pin is set) is false, and each outcome is logged on one line
// " VerifyEmbeddedSignature result is <result>, <message>". On a platform without Authenticode
// the message says that the file could not be checked. Thread-safe; called by the install flow.
#pragma once

#include <cstdint>
#include <string>

#include "platform/held_file.h"
#include "platform/signature.h"

namespace FuntionImpl {

// True only when the file's embedded signature is verified and its signer matches the build's
// publisher pin (if any).
bool VerifyEmbeddedSignature(const std::wstring& path);
// The same for a held file, read through its open handle.
bool VerifyEmbeddedSignature(const platform::HeldFile& file);

// The same with an explicit pin: "" for none, 40 hexadecimal digits (blanks and colons allowed)
// for a SHA-1 thumbprint, anything else for the exact subject common name. message, when
// given, receives the logged message.
bool VerifyEmbeddedSignatureWithPin(const std::wstring& path, const std::string& pin,
                                    std::string* message, intptr_t openFile = -1);

// The message of a verification outcome for the file (UTF-8), as logged.
std::string SignatureMessage(const platform::SignatureCheck& check, const std::string& pathUtf8);

// True when the signer of a verified check matches the pin ("" matches every signer).
bool SignerMatchesPin(const platform::SignatureCheck& check, const std::string& pin);

}  // namespace FuntionImpl
