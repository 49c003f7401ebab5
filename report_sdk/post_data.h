// PostDataError: the one HTTP routine of the report SDK — a POST with fixed headers, limits and
// the optional proxy of "proxy.txt" beside the executable — and the proxy file reader.
// Threading: every call uses its own libcurl easy handle; safe from any thread once libcurl's
// global initialisation has run (the sender does it before its first request).
// Ownership: nothing is kept between calls.
#pragma once

#include <functional>
#include <string>

namespace reportsdk {

// The proxy named by the file: its first whitespace-separated word; empty when the file is
// missing, empty, unreadable or unreasonably large.
std::string ReadProxyFile(const std::wstring& path);

// POSTs body to url and returns the HTTP status (0 when no response came). A transfer failure or
// a status other than 200 and 204 is logged as "PostDataError: %d, %s, %d". Only http and https
// are spoken, also across redirects. proxyFile may be empty (no proxy).
long PostDataError(const std::string& url, const std::string& body, const std::wstring& proxyFile,
                   const std::function<void(const std::string&)>& log);

}  // namespace reportsdk
