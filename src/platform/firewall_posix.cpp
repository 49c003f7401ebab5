#include <cstdio>

#include "platform/firewall.h"
#include "platform/text.h"

namespace platform {

// There is no per-program firewall authorisation to ask for here (packet filters work on
// ports and addresses); say so rather than report an authorisation that never happened.
int AuthorizeSelfInFirewall(const std::wstring& programPath) {
  std::printf("Firewall authorisation of %s is not available on this system.\n",
              WideToUtf8(programPath).c_str());
  std::fflush(stdout);
  return -1;
}

}  // namespace platform
