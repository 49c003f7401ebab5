// Authorising a program in the system firewall, so the installer's downloads are not stopped
// by a prompt. Messages go to standard output (not to the log), failures never stop the
// caller.
// Threading: any thread; initialises COM for the calling thread for the call's duration.
#pragma once

#include <string>

namespace platform {

// 0 when the program is (now) authorised, -1 when it could not be checked or added.
int AuthorizeSelfInFirewall(const std::wstring& programPath);

}  // namespace platform
