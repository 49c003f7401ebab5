// Readers of the banner and privacy services' JSON answers. A reply is accepted only when it
// is JSON of bounded size and depth, passes the "code" rule (a reply that names a member "code"
// anywhere must carry "code": 200 at its top level) and every item has the member types the
// service documents; anything else is "no content" and the reader says why. Items are the
// objects met when walking the top-level value, and the objects of an array met there (the
// service may put its list at the top level or under a member next to "code"). Also what an
// accepted item may name: the local picture file and the addresses worth fetching or opening.
// Thread-safe: pure functions.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace remote {

// Answers larger than this are not banner or privacy lists.
constexpr size_t kMaxReplyBytes = 1024 * 1024;
constexpr int kMaxReplyDepth = 16;
constexpr size_t kMaxReplyItems = 64;

struct BannerItem {
  std::string bannerUrl;
  std::string jumpUrl;
  std::string prompt;  // UTF-8
  int sort = 0;
};

struct PrivacyUrl {
  std::string field;  // "tc" license (terms), "p" privacy, others ignored
  std::string url;
};

struct PrivacyItem {
  std::string langCode;
  std::vector<PrivacyUrl> urls;
};

struct ReplyCheck {
  bool parsed = false;      // JSON within the size and depth bounds
  size_t errorLength = 0;   // length of the JSON reader's error text
  bool codeOk = false;      // the "code" rule holds
  bool itemsOk = false;     // every item has the documented member types
  std::string why;          // what was wrong, for the log
  bool ok() const { return parsed && codeOk && itemsOk; }
};

// Fill *items only when the whole reply is acceptable (check.ok()); otherwise *items is empty.
ReplyCheck ParseBannerReply(const std::string& text, std::vector<BannerItem>* items);
ReplyCheck ParsePrivacyReply(const std::string& text, std::vector<PrivacyItem>* items);

// The picture file of a banner: folder + "\" + sort + the extension of the address's path (from
// its last "."; query and fragment left out). Empty when the extension is not that of a
// picture (.png .jpg .jpeg .gif .bmp), so no address can name a file outside the folder.
std::wstring BannerPictureName(const std::wstring& folder, int sort, const std::string& url);

// Only http and https addresses are fetched or opened.
bool IsWebAddress(const std::string& url);
bool IsWebAddress(const std::wstring& url);

}  // namespace remote
