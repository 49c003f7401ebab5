// A report interface that records what the event log hands it and answers with scripted codes.
// Use from the test thread; every slot locks, so events from other threads are kept too.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "report_sdk/web_log_new.h"

namespace testsupport {

class FakeReport : public IWebLogNew {
 public:
  struct Call {
    std::string slot;  // "Init", "SetClientInfo", "SetExtraCommon", "PostEvent", "PostGA4"
    std::string text;  // the JSON or tail
    bool wait = false;
    std::vector<std::string> args;
  };

  int Init(int type, int mainPid, int subPid, const char* email, const char* phone,
           const char* product, const char* productVersion, const char* userId) override {
    return Add({"Init",
                "",
                false,
                {std::to_string(type), std::to_string(mainPid), std::to_string(subPid), S(email),
                 S(phone), S(product), S(productVersion), S(userId)}});
  }
  int SetClientInfo(int downloaderId, int kitType, const char* toolsLang,
                    const char* toolsVersion) override {
    return Add(
        {"SetClientInfo",
         "",
         false,
         {std::to_string(downloaderId), std::to_string(kitType), S(toolsLang), S(toolsVersion)}});
  }
  int SetExtraCommon(const char* json) override { return Add({"SetExtraCommon", S(json)}); }
  int PostEvent(const char* json, bool bWait) override {
    return Add({"PostEvent", S(json), bWait, {}});
  }
  int PostGA4(const char* tail, bool bWait) override {
    return Add({"PostGA4", S(tail), bWait, {}});
  }

  // Results for the next posting calls, in order; 0 once they run out.
  void Script(std::vector<int> codes) {
    std::lock_guard<std::mutex> guard(lock_);
    codes_.assign(codes.begin(), codes.end());
  }
  std::vector<Call> Calls(const std::string& slot = std::string()) const {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<Call> out;
    for (const Call& call : calls_) {
      if (slot.empty() || call.slot == slot) out.push_back(call);
    }
    return out;
  }
  void Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    calls_.clear();
  }

 private:
  static std::string S(const char* text) { return text ? text : ""; }
  int Add(Call call) {
    std::lock_guard<std::mutex> guard(lock_);
    const bool posting = call.slot == "PostEvent" || call.slot == "PostGA4";
    calls_.push_back(std::move(call));
    if (!posting || codes_.empty()) return 0;
    const int code = codes_.front();
    codes_.pop_front();
    return code;
  }

  mutable std::mutex lock_;
  std::vector<Call> calls_;
  std::deque<int> codes_;
};

}  // namespace testsupport
