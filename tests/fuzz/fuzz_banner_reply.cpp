// Banner service answers with any content: a refused answer says why and yields no item; an
// accepted one stays within the item bound, and no item names a picture file outside the
// download folder.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "remote/service_replies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<remote::BannerItem> items;
  const remote::ReplyCheck check = remote::ParseBannerReply(text, &items);
  if (!check.ok()) {
    if (!items.empty() || check.why.empty()) __builtin_trap();
    return 0;
  }
  if (items.size() > remote::kMaxReplyItems) __builtin_trap();
  const std::wstring folder = L"C:\\dl\\run\\";
  for (const remote::BannerItem& item : items) {
    const std::wstring name = remote::BannerPictureName(folder, item.sort, item.bannerUrl);
    if (name.empty()) continue;
    if (name.compare(0, folder.size(), folder) != 0) __builtin_trap();
    const std::wstring rest = name.substr(folder.size());
    if (rest.find_first_of(L"\\/:") != std::wstring::npos || rest.find(L"..") != std::wstring::npos)
      __builtin_trap();
  }
  return 0;
}
