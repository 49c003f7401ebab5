#include <windows.h>
#include <netfw.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <string>

#include "platform/firewall.h"
#include "platform/text.h"

namespace platform {
namespace {

const CLSID kClsidNetFwMgr = {0x304ce942, 0x6e39, 0x40d8,
                              {0x94, 0x3a, 0xb9, 0x13, 0xc4, 0x0c, 0x9c, 0xd4}};
const CLSID kClsidNetFwAuthorizedApplication = {
    0xec9846b3, 0x2762, 0x4a6b, {0xa2, 0x14, 0x6a, 0xcb, 0x60, 0x34, 0x62, 0xd2}};

std::string Utf8(const wchar_t* text) { return WideToUtf8(text); }

template <class T>
void Release(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

// A BSTR that frees itself.
class Bstr {
 public:
  explicit Bstr(const wchar_t* text) : value_(SysAllocString(text)) {}
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return value_; }

 private:
  BSTR value_;
};

HRESULT WindowsFirewallInitialize(INetFwProfile** profile) {
  *profile = nullptr;
  INetFwMgr* manager = nullptr;
  INetFwPolicy* policy = nullptr;
  HRESULT hr = CoCreateInstance(kClsidNetFwMgr, nullptr, CLSCTX_INPROC_SERVER,
                                __uuidof(INetFwMgr), reinterpret_cast<void**>(&manager));
  if (FAILED(hr)) {
    std::printf("CoCreateInstance failed: 0x%08lx\n", static_cast<unsigned long>(hr));
  } else if (FAILED(hr = manager->get_LocalPolicy(&policy))) {
    std::printf("get_LocalPolicy failed: 0x%08lx\n", static_cast<unsigned long>(hr));
  } else if (FAILED(hr = policy->get_CurrentProfile(profile))) {
    std::printf("get_CurrentProfile failed: 0x%08lx\n", static_cast<unsigned long>(hr));
    *profile = nullptr;
  }
  Release(policy);
  Release(manager);
  return hr;
}

HRESULT WindowsFirewallAppIsEnabled(INetFwProfile* profile, const wchar_t* path, bool* enabled) {
  *enabled = false;
  INetFwAuthorizedApplications* apps = nullptr;
  INetFwAuthorizedApplication* app = nullptr;
  HRESULT hr = profile->get_AuthorizedApplications(&apps);
  if (FAILED(hr)) {
    std::printf("get_AuthorizedApplications failed: 0x%08lx\n", static_cast<unsigned long>(hr));
    return hr;
  }
  Bstr name(path);
  if (!name.get()) {
    hr = E_OUTOFMEMORY;
    std::printf("SysAllocString failed: 0x%08lx\n", static_cast<unsigned long>(hr));
    Release(apps);
    return hr;
  }
  if (SUCCEEDED(apps->Item(name.get(), &app))) {
    VARIANT_BOOL on = VARIANT_FALSE;
    hr = app->get_Enabled(&on);
    if (FAILED(hr)) {
      std::printf("get_Enabled failed: 0x%08lx\n", static_cast<unsigned long>(hr));
    } else if (on != VARIANT_FALSE) {
      *enabled = true;
      std::printf("Authorized application %s is enabled in the firewall.\n", Utf8(path).c_str());
    } else {
      std::printf("Authorized application %s is disabled in the firewall.\n", Utf8(path).c_str());
    }
  } else {
    // Not in the list: not enabled, and no failure.
    hr = S_OK;
    std::printf("Authorized application %s is disabled in the firewall.\n", Utf8(path).c_str());
  }
  Release(app);
  Release(apps);
  return hr;
}

HRESULT AddAuthorizedApplication(INetFwProfile* profile, const wchar_t* path) {
  INetFwAuthorizedApplications* apps = nullptr;
  INetFwAuthorizedApplication* app = nullptr;
  HRESULT hr = profile->get_AuthorizedApplications(&apps);
  if (FAILED(hr)) {
    std::printf("get_AuthorizedApplications failed: 0x%08lx\n", static_cast<unsigned long>(hr));
    return hr;
  }
  hr = CoCreateInstance(kClsidNetFwAuthorizedApplication, nullptr, CLSCTX_INPROC_SERVER,
                        __uuidof(INetFwAuthorizedApplication), reinterpret_cast<void**>(&app));
  if (FAILED(hr)) {
    std::printf("CoCreateInstance failed: 0x%08lx\n", static_cast<unsigned long>(hr));
    Release(apps);
    return hr;
  }
  Bstr image(path);
  Bstr name(L"Vlm_setup1.0.0.1");
  if (FAILED(hr = app->put_ProcessImageFileName(image.get()))) {
    std::printf("put_ProcessImageFileName failed: 0x%08lx\n", static_cast<unsigned long>(hr));
  } else if (FAILED(hr = app->put_Name(name.get()))) {
    std::printf("put_Name failed: 0x%08lx\n", static_cast<unsigned long>(hr));
  } else {
    app->put_Scope(NET_FW_SCOPE_ALL);
    app->put_IpVersion(NET_FW_IP_VERSION_ANY);
    app->put_Enabled(VARIANT_TRUE);
    if (FAILED(hr = apps->Add(app))) {
      std::printf("Add failed: 0x%08lx\n", static_cast<unsigned long>(hr));
    } else {
      std::printf("Authorized application %s is now enabled in the firewall.\n", Utf8(path).c_str());
    }
  }
  Release(app);
  Release(apps);
  return hr;
}

}  // namespace

int AuthorizeSelfInFirewall(const std::wstring& programPath) {
  const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const bool initialised = SUCCEEDED(init);
  if (FAILED(init) && init != RPC_E_CHANGED_MODE) {
    std::printf("CoInitializeEx failed: 0x%08lx\n", static_cast<unsigned long>(init));
    std::fflush(stdout);
    return -1;
  }
  int result = 0;
  INetFwProfile* profile = nullptr;
  HRESULT hr = WindowsFirewallInitialize(&profile);
  if (FAILED(hr) || !profile) {
    std::printf("WindowsFirewallInitialize failed: 0x%08lx\n", static_cast<unsigned long>(hr));
    result = -1;
  } else {
    bool enabled = false;
    hr = WindowsFirewallAppIsEnabled(profile, programPath.c_str(), &enabled);
    if (FAILED(hr)) {
      std::printf("WindowsFirewallAppIsEnabled failed: 0x%08lx\n", static_cast<unsigned long>(hr));
    }
    // A program not found enabled is added; a failure there is printed and otherwise ignored.
    if (!enabled) AddAuthorizedApplication(profile, programPath.c_str());
  }
  Release(profile);
  if (initialised) CoUninitialize();
  std::fflush(stdout);
  return result;
}

}  // namespace platform
