#include "system/url_host.h"

#include <gtest/gtest.h>

namespace {

TEST(UrlHost, ExtractsTheLowerCaseHost) {
  const std::pair<const char*, const char*> cases[] = {
      {"https://dl.Example.COM/setup/file.exe", "dl.example.com"},
      {"http://cdn.example.com/a/b/c.exe?x=1.2", "cdn.example.com"},
      {"https://download.example", "download.example"},  // no path at all
      {"https://download.example?x=/a.b", "download.example"},
      {"http://127.0.0.1:8080/x.exe", "127.0.0.1"},
      {"http://user:pw@Files.Example.org:443/x", "files.example.org"},
      {"http://localhost/file.exe", "localhost"},
      {"http://[::1]:9000/file", "[::1]"},
      {"https://host.example\\evil.example/x", "host.example"},
      {"", ""},
      {"not a url", ""},
      {"dl.example.com/file.exe", ""},  // no scheme: not an address
      {"https:///path/only", ""},
      {"https://", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FuntionImpl::ExtractUrlHost(std::string(c.first)), c.second) << c.first;
  }
  EXPECT_EQ(FuntionImpl::ExtractUrlHost(std::wstring(L"https://AwsCdn.Example.net/f")),
            L"awscdn.example.net");
}

TEST(UrlHost, ClassifiesDownloadHosts) {
  const std::pair<const char*, int> cases[] = {
      {"https://dl.example.com/f.exe", 10},
      {"https://cdn.example.com/f.exe", 10},
      {"https://x/f.exe", 10},  // too short to name a host
      {"garbage", 10},          // no host at all
      {"https://alicdn.example.com/f.exe", 12},
      {"https://files.kalimera.example/f.exe", 12},  // contains "ali"
      {"https://awscdn.example.com/f.exe", 13},
      {"https://awscdn.alias.example/f.exe", 12},  // "ali" is tested before "awscdn."
      {"https://download.example/f.exe", 11},
      {"https://dlx.example.com/f.exe", 11},
      {"http://127.0.0.1:8080/f.exe", 11},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FuntionImpl::ClassifyDownloadHost(std::string(c.first)), c.second) << c.first;
  }
  EXPECT_EQ(FuntionImpl::ClassifyDownloadHost(std::wstring(L"https://DL.example.com/f")), 10);
}

}  // namespace
