// Download address hosts: extracting the host of a URL and classifying it for the analytics
// label of the address in use. Thread-safe: pure.
#pragma once

#include <string>

namespace FuntionImpl {

// The host of "scheme://[user@]host[:port][/path][?query][#fragment]" in lower case, without
// user information or port; empty when the text has no "://" or no host after it.
std::string ExtractUrlHost(const std::string& url);
std::wstring ExtractUrlHost(const std::wstring& url);

// Host kinds: 10 the maker's own hosts ("dl.", "cdn.") and hosts too short to name anything,
// 12 the secondary CDN ("alicdn." or any host containing "ali"), 13 "awscdn.", 11 the rest.
int ClassifyHost(const std::string& host);
// ClassifyHost of the URL's host.
int ClassifyDownloadHost(const std::string& url);
int ClassifyDownloadHost(const std::wstring& url);

}  // namespace FuntionImpl
