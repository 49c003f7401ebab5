#include "report_sdk/web_log.h"

#include <exception>
#include <mutex>

#include "platform/files.h"
#include "platform/netinfo.h"
#include "platform/paths.h"

namespace reportsdk {
namespace {

// No exception may cross into a host that calls the interface through its slots.
template <typename Fn>
int Guarded(CManagement* context, const char* slot, Fn&& fn) {
  try {
    return fn();
  } catch (const std::exception& ex) {
    context->Log(std::string(slot) + " failed: " + ex.what());
  } catch (...) {
    context->Log(std::string(slot) + " failed");
  }
  return -1;
}

std::mutex g_objectLock;
WebLog* g_object = nullptr;

}  // namespace

int WebLog::Init(int type, int mainPid, int subPid, const char* email, const char* phone,
                 const char* product, const char* productVersion, const char* userId) {
  return Guarded(context_, "Init", [&] {
    return context_->Init(type, mainPid, subPid, email, phone, product, productVersion, userId);
  });
}

int WebLog::SetClientInfo(int downloaderId, int kitType, const char* toolsLang,
                          const char* toolsVersion) {
  return Guarded(context_, "SetClientInfo", [&] {
    return context_->SetClientInfo(downloaderId, kitType, toolsLang, toolsVersion);
  });
}

int WebLog::SetExtraCommon(const char* json) {
  return Guarded(context_, "SetExtraCommon", [&] { return context_->SetExtraCommon(json); });
}

int WebLog::PostEvent(const char* json, bool bWait) {
  return Guarded(context_, "PostEvent", [&] { return context_->PostEvent(json, bWait); });
}

int WebLog::PostGA4(const char* tail, bool bWait) {
  return Guarded(context_, "PostGA4", [&] { return context_->PostGA4(tail, bWait); });
}

}  // namespace reportsdk

IWebLogNew* GetReportObj() {
  try {
    std::lock_guard<std::mutex> guard(reportsdk::g_objectLock);
    if (reportsdk::g_object == nullptr) {
      reportsdk::g_object = new reportsdk::WebLog(&reportsdk::CManagement::Instance());
    }
    return reportsdk::g_object;
  } catch (...) {
    return nullptr;
  }
}

void DestroyReportObj() {
  {
    std::lock_guard<std::mutex> guard(reportsdk::g_objectLock);
    delete reportsdk::g_object;
    reportsdk::g_object = nullptr;
  }
  // The host's context and sender live on and keep their own items: the store marks every
  // entry with the process that owns it, and the relaunched process replays only the entries
  // of processes that are gone, so no item goes out from both.
  const std::wstring self = platform::GetModulePath();
  if (!self.empty() && platform::PathExists(self)) {
    platform::StartProgramDetached(self, L"-sendrestlogs");
  }
}
