// Whether the machine has a network connection, asked before and during a download.
//
// Windows asks the System Event Notification Service (IsNetworkAlive of sensapi.dll, loaded from
// the system folder at run time; a system without it counts as connected, since nothing then
// says otherwise). POSIX looks at the interfaces and routes: connected when an interface other
// than loopback is up and running with an address, or when the routing table has a default
// route. A host whose only interface is loopback counts as not connected, as Windows answers
// there too; tests that run on such a host inject the network state instead.
// Thread-safe: every call asks the system afresh.
#pragma once

namespace platform {

bool IsNetworkAlive();

}  // namespace platform
