#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/network.h"

namespace platform {
namespace {

bool HasDefaultRoute() {
  for (const char* table : {"/proc/net/route", "/proc/net/ipv6_route"}) {
    std::ifstream in(table);
    std::string line;
    const bool v6 = std::string(table).find("ipv6") != std::string::npos;
    bool header = !v6;
    while (std::getline(in, line)) {
      if (header) {
        header = false;
        continue;
      }
      std::istringstream fields(line);
      if (!v6) {
        std::string iface, dest, gateway, flags;
        fields >> iface >> dest >> gateway >> flags;
        if (iface != "lo" && dest == "00000000") return true;
      } else {
        std::string dest, destLen, src, srcLen, next, metric, ref, use, flags, iface;
        fields >> dest >> destLen >> src >> srcLen >> next >> metric >> ref >> use >> flags >>
            iface;
        if (iface != "lo" && destLen == "00" && dest == std::string(32, '0') &&
            next != std::string(32, '0')) {
          return true;
        }
      }
    }
  }
  return false;
}

bool HasLiveInterface() {
  struct ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return false;
  bool alive = false;
  for (struct ifaddrs* it = list; it != nullptr && !alive; it = it->ifa_next) {
    if (it->ifa_addr == nullptr) continue;
    const int family = it->ifa_addr->sa_family;
    if (family != AF_INET && family != AF_INET6) continue;
    const unsigned flags = it->ifa_flags;
    if ((flags & IFF_LOOPBACK) != 0) continue;
    if ((flags & IFF_UP) != 0 && (flags & IFF_RUNNING) != 0) alive = true;
  }
  ::freeifaddrs(list);
  return alive;
}

}  // namespace

bool IsNetworkAlive() { return HasLiveInterface() || HasDefaultRoute(); }

}  // namespace platform
