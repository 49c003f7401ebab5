// The system's own "fetch this address into that file" download, used for small side files
// (banner pictures) before the download engine is tried. Windows: URLDownloadToFileW of urlmon
// (delay-loaded). POSIX: libcurl with certificate checks on, redirects followed and the size
// bounded, which is what the system download offers there.
// Threading: any thread; each call is one synchronous transfer. The file at path is replaced;
// after a failure nothing is left at path.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Bytes a side download may bring at most; a longer answer is a failure.
constexpr int64_t kMaxUrlDownloadBytes = 16 * 1024 * 1024;

// 0 when the whole answer of url is at path; otherwise the system's error code (an HRESULT on
// Windows, a CURLcode or -1 for an HTTP status of 400 and above on POSIX).
long DownloadUrlToFile(const std::wstring& url, const std::wstring& path);

}  // namespace platform
