// Privacy service answers with any content: a refused answer says why and yields no item; an
// accepted one stays within the item and address bounds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "remote/service_replies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<remote::PrivacyItem> items;
  const remote::ReplyCheck check = remote::ParsePrivacyReply(text, &items);
  if (!check.ok()) {
    if (!items.empty() || check.why.empty()) __builtin_trap();
    return 0;
  }
  if (items.size() > remote::kMaxReplyItems) __builtin_trap();
  for (const remote::PrivacyItem& item : items) {
    if (item.urls.size() > remote::kMaxReplyItems) __builtin_trap();
  }
  return 0;
}
