#include "flow/request_counter.h"

#include <easylogging++.h>

#include "flow/product_keys.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace flow {
namespace {

constexpr int kMaxCount = 9;  // one digit

bool ReadStored(std::wstring* text) {
  return platform::ReadRegistryString(platform::RegistryRoot::kLocalMachine, kRequestCounterKey,
                                      kRequestCounterValue, 260, text);
}

}  // namespace

int RequestCountFromText(const std::wstring& text) {
  if (text.size() != 1 || text[0] < L'0' || text[0] > L'9') return 0;
  return text[0] - L'0';
}

int ReadRequestTooMuchTimes() {
  std::wstring text;
  if (!ReadStored(&text)) return 0;
  const int count = RequestCountFromText(text);
  if (count == 0 && text != L"0") {
    LOG(INFO) << " RequestTooMuchTimes unreadable, counted as 0: "
              << platform::WideToUtf8(text.substr(0, 16));
  }
  return count;
}

int RaiseRequestTooMuchTimes() {
  const int old = ReadRequestTooMuchTimes();
  const int count = old < 1 ? 1 : (old >= kMaxCount ? kMaxCount : old + 1);
  const std::wstring text(1, static_cast<wchar_t>(L'0' + count));
  if (!platform::WriteRegistryString(platform::RegistryRoot::kLocalMachine, kRequestCounterKey,
                                     kRequestCounterValue, text)) {
    LOG(INFO) << " RequestTooMuchTimes not stored, count stays " << old;
    return -1;
  }
  LOG(INFO) << " RequestTooMuchTimes raised to " << count;
  return count;
}

bool IsForbidCdn() {
  const bool forbid = ReadRequestTooMuchTimes() > 3;
  LOG(INFO) << "isForbidCDN:" << (forbid ? 1 : 0);
  return forbid;
}

}  // namespace flow
