#include "config/endpoints.h"

#include <easylogging++.h>

#include <cstddef>
#include <string>

#include "build_options.h"
#include "config/endpoint_defaults.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/paths.h"

namespace {

const wchar_t kEndpointsFileName[] = L"endpoints.ini";
const wchar_t kEndpointsSection[] = L"Endpoints";
const size_t kMaxHostLength = 253;
const size_t kMaxLabelLength = 63;

bool IsAsciiAlnum(char ch) {
  return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
}

bool IsHexDigit(char ch) {
  return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
}

bool IsPlausiblePort(const std::string& port) {
  if (port.empty() || port.size() > 5) return false;
  unsigned value = 0;
  for (char ch : port) {
    if (ch < '0' || ch > '9') return false;
    value = value * 10u + static_cast<unsigned>(ch - '0');
  }
  return value >= 1u && value <= 65535u;
}

bool IsPlausibleHostName(const std::string& name) {
  if (name.empty()) return false;
  size_t labelLength = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    const char ch = name[i];
    if (ch == '.') {
      if (labelLength == 0) return false;  // "..", or a leading "."
      labelLength = 0;
      continue;
    }
    if (!IsAsciiAlnum(ch) && ch != '-') return false;
    if (++labelLength > kMaxLabelLength) return false;
  }
  return labelLength != 0;  // no trailing "."
}

bool IsPlausibleIpv6(const std::string& address) {
  if (address.size() < 2 || address.size() > 45) return false;
  int colons = 0;
  for (char ch : address) {
    if (ch == ':') {
      ++colons;
    } else if (!IsHexDigit(ch) && ch != '.') {  // "." for an embedded IPv4 tail
      return false;
    }
  }
  return colons >= 2 && colons <= 7;
}

// Keeps a rejected value readable and harmless in the log: printable ASCII only, bounded.
std::string ForLog(const std::wstring& value) {
  std::string out;
  for (wchar_t ch : value) {
    if (out.size() >= 80) {
      out += "...";
      break;
    }
    out += (ch >= 0x20 && ch < 0x7f) ? static_cast<char>(ch) : '?';
  }
  return out;
}

// "host:port   ; what it is" keeps only the host: a host name never holds ";" or "#", and the
// settings readers of the two platforms disagree on inline comments (Windows keeps them).
std::wstring WithoutInlineComment(const std::wstring& value) {
  std::wstring out = value.substr(0, value.find_first_of(L";#"));
  while (!out.empty() && (out.back() == L' ' || out.back() == L'\t')) out.pop_back();
  return out;
}

void Overlay(const std::wstring& iniPath, const wchar_t* key, std::string* field) {
  const std::wstring value =
      WithoutInlineComment(platform::ReadIniString(iniPath, kEndpointsSection, key, L""));
  if (value.empty()) return;
  std::string ascii;
  ascii.reserve(value.size());
  bool isAscii = true;
  for (wchar_t ch : value) {
    if (ch == 0 || static_cast<unsigned long>(ch) >= 0x7fu) {
      isAscii = false;
      break;
    }
    ascii += static_cast<char>(ch);
  }
  if (!isAscii || !IsPlausibleHost(ascii)) {
    LOG(INFO) << " Endpoints: ignored " << ForLog(key) << "=" << ForLog(value) << ", keeping "
              << *field;
    return;
  }
  *field = ascii;
}

}  // namespace

bool IsPlausibleHost(const std::string& value) {
  if (value.empty() || value.size() > kMaxHostLength) return false;
  if (value.front() == '[') {
    const size_t close = value.find(']');
    if (close == std::string::npos || !IsPlausibleIpv6(value.substr(1, close - 1))) return false;
    const std::string rest = value.substr(close + 1);
    if (rest.empty()) return true;
    return rest.front() == ':' && IsPlausiblePort(rest.substr(1));
  }
  const size_t colon = value.find(':');
  if (colon == std::string::npos) return IsPlausibleHostName(value);
  return IsPlausibleHostName(value.substr(0, colon)) && IsPlausiblePort(value.substr(colon + 1));
}

Endpoints DefaultEndpoints() {
  Endpoints e;
  e.configService = KERFO_HOST_CONFIG;
  e.configServiceChina = KERFO_HOST_CONFIG_CN;
  e.dataService = KERFO_HOST_DATA;
  e.dataServiceTest = KERFO_HOST_DATA_TEST;
  e.alertService = KERFO_HOST_ALERT;
  e.alertServiceTest = KERFO_HOST_ALERT_TEST;
  e.collector = KERFO_HOST_COLLECTOR;
  e.collectorTest = KERFO_HOST_COLLECTOR_TEST;
  e.ga4 = KERFO_HOST_GA4;
  e.logUpload = KERFO_HOST_LOG_UPLOAD;
  e.logUploadTest = KERFO_HOST_LOG_UPLOAD_TEST;
  return e;
}

Endpoints LoadEndpoints(const std::wstring& iniPath) {
  Endpoints e = DefaultEndpoints();
  if (iniPath.empty() || !platform::PathExists(iniPath)) return e;
  LOG(INFO) << " Endpoints: reading overrides";
  Overlay(iniPath, L"ConfigService", &e.configService);
  Overlay(iniPath, L"ConfigServiceChina", &e.configServiceChina);
  Overlay(iniPath, L"DataService", &e.dataService);
  Overlay(iniPath, L"DataServiceTest", &e.dataServiceTest);
  Overlay(iniPath, L"AlertService", &e.alertService);
  Overlay(iniPath, L"AlertServiceTest", &e.alertServiceTest);
  Overlay(iniPath, L"Collector", &e.collector);
  Overlay(iniPath, L"CollectorTest", &e.collectorTest);
  Overlay(iniPath, L"Ga4", &e.ga4);
  Overlay(iniPath, L"LogUpload", &e.logUpload);
  Overlay(iniPath, L"LogUploadTest", &e.logUploadTest);
  return e;
}

Endpoints EndpointsForBuild(const std::wstring& iniPath, bool shippingBuild) {
  if (!shippingBuild) return LoadEndpoints(iniPath);
  // The elevated installer runs from a folder anyone can write: in a shipping build a file
  // there must not choose the configuration service, and so the installer that gets run.
  if (!iniPath.empty() && platform::PathExists(iniPath)) {
    LOG(INFO) << " Endpoints: shipping build, endpoints.ini beside the executable ignored";
  }
  return DefaultEndpoints();
}

const Endpoints& GetEndpoints() {
  // A function-local static is initialised exactly once even when threads race to it.
  static const Endpoints endpoints = EndpointsForBuild(
      platform::GetModuleDir() + kEndpointsFileName, KERFO_SHIPPING_BUILD != 0);
  return endpoints;
}
