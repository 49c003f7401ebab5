// Request addresses of the data service's banner and privacy services. Each request carries the
// MD5 of its query (up to "&verify=") followed by a fixed salt, so the service can tell our
// requests from others and refuse stale ones (the query holds the time in seconds).
// Thread-safe: pure functions, apart from GetBannerPicUrl / GetPrivacyUrl, which also read the
// clock, the settings file and the process's endpoints, and write one log line.
#pragma once

#include <cstdint>
#include <string>

#include "config/endpoints.h"
#include "system/language.h"

namespace remote {

constexpr char kSignSalt[] = "Wm4tPq9eXz2LbR7c";

// MD5 (lower-case hex) of the query text followed by the salt.
std::string SignQuery(const std::string& query);

// The signed part of each request.
std::string BannerQuery(const std::string& languageCode, int productId, int64_t timestamp);
std::string PrivacyQuery(int productId, int64_t timestamp);

// Whole addresses: "https://" + host + path + query + "&verify=" + signature, on the data
// service's test host when testEnvironment is set. Each logs its query and signature
// (" BAN: ..." / " TCP: ...").
std::string BuildBannerUrl(const Endpoints& endpoints, bool testEnvironment, int productId,
                           EnumLanguage language, int64_t timestamp);
std::string BuildPrivacyUrl(const Endpoints& endpoints, bool testEnvironment, int productId,
                            int64_t timestamp);

// The same with the current time, the TestEnv switch and the process's endpoints.
std::string GetBannerPicUrl(int productId, EnumLanguage language);
std::string GetPrivacyUrl(int productId);

// Seconds as the duration events report them: "[a~a+3]s" with a the seconds rounded down to a
// multiple of 3 (4 gives "[3~6]s"). Negative input counts as 0.
std::string DurationBucket(int64_t seconds);

}  // namespace remote
