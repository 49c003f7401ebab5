// COM for the calling thread (apartment model). Natively there is no COM to set up: the call
// reports that the thread is ready, which is what callers ask before using COM-based services
// (those services then report "not available" through their own results).
#pragma once

namespace platform {

bool InitializeComApartment();
void UninitializeCom();

}  // namespace platform
