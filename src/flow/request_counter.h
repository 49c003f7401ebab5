// The request counter: how many downloads in a row ended because the maker's own hosts failed
// (result 11). Once it is above 3 the address choice leaves those hosts out. Stored as one
// digit under the installer's own key of HKEY_LOCAL_MACHINE (flow/product_keys.h).
// Threading: any thread; each call reads or writes the store afresh.
#pragma once

#include <string>

namespace flow {

// The stored count; 0 when the value is missing, unreadable or not one digit.
int ReadRequestTooMuchTimes();
// Raises the count (to 1 when it was missing or below 1, never above 9) and stores it; returns
// the new count, or -1 when it could not be stored.
int RaiseRequestTooMuchTimes();
// What the address choice asks: the count is above 3. Logs "isForbidCDN:" with 0 or 1.
bool IsForbidCdn();

// The count a stored text stands for (one digit "0".."9"; anything else is 0).
int RequestCountFromText(const std::wstring& text);

}  // namespace flow
