#include "remote/service_replies.h"

#include <json/json.h>

#include <algorithm>
#include <cctype>
#include <exception>
#include <iterator>
#include <memory>

#include "platform/text.h"

namespace remote {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool ReadJson(const std::string& text, Json::Value* root, ReplyCheck* check) {
  if (text.size() > kMaxReplyBytes) {
    check->why = "reply of " + std::to_string(text.size()) + " bytes is too large";
    return false;
  }
  Json::CharReaderBuilder builder;
  builder["collectComments"] = false;
  builder["stackLimit"] = kMaxReplyDepth;
  builder["failIfExtra"] = true;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  bool ok = false;
  try {
    ok = reader->parse(text.data(), text.data() + text.size(), root, &errors);
  } catch (const std::exception& e) {  // the depth bound throws
    ok = false;
    errors = e.what();
  }
  check->errorLength = errors.size();
  check->parsed = ok;
  if (!ok) check->why = "not JSON within bounds: " + errors.substr(0, 160);
  return ok;
}

bool CodeRule(const std::string& text, const Json::Value& root, ReplyCheck* check) {
  if (text.find("\"code\"") == std::string::npos) return check->codeOk = true;
  if (root.isObject()) {
    const Json::Value& code = root["code"];
    if (code.isInt() && code.asInt() == 200) return check->codeOk = true;
  }
  check->why = "the reply names \"code\" but does not carry code 200";
  return check->codeOk = false;
}

// The objects met walking the top-level value, and those of an array met there.
bool CollectItems(const Json::Value& root, std::vector<const Json::Value*>* items,
                  std::string* why) {
  auto fromArray = [&](const Json::Value& array) {
    for (const Json::Value& v : array) {
      if (!v.isObject()) {
        *why = "a list holds something other than objects";
        return false;
      }
      items->push_back(&v);
    }
    return true;
  };
  if (root.isArray()) {
    if (!fromArray(root)) return false;
  } else if (root.isObject()) {
    for (const Json::Value& v : root) {
      if (v.isObject()) {
        items->push_back(&v);
      } else if (v.isArray()) {
        if (!fromArray(v)) return false;
      }  // scalars next to the items ("code", "msg") are not items
    }
  } else {
    *why = "the reply is neither a list nor an object";
    return false;
  }
  if (items->size() > kMaxReplyItems) {
    *why = std::to_string(items->size()) + " items are more than a reply may hold";
    return false;
  }
  return true;
}

bool Text(const Json::Value& item, const char* name, std::string* out, std::string* why) {
  const Json::Value& v = item[name];
  if (v.isNull()) {
    out->clear();
    return true;
  }
  if (!v.isString()) {
    *why = std::string("member \"") + name + "\" is not a string";
    return false;
  }
  *out = v.asString();
  return true;
}

bool ReadBanner(const Json::Value& item, BannerItem* out, std::string* why) {
  if (!Text(item, "banner_url", &out->bannerUrl, why) ||
      !Text(item, "jump_url", &out->jumpUrl, why) || !Text(item, "prompt", &out->prompt, why))
    return false;
  const Json::Value& sort = item["sort"];
  if (sort.isNull()) {
    out->sort = 0;
  } else if (sort.isInt()) {
    out->sort = sort.asInt();
  } else {
    *why = "member \"sort\" is not a 32-bit integer";
    return false;
  }
  return true;
}

bool ReadPrivacy(const Json::Value& item, PrivacyItem* out, std::string* why) {
  if (!Text(item, "lang_code", &out->langCode, why)) return false;
  const Json::Value& urls = item["urls"];
  if (urls.isNull()) return true;
  if (!urls.isArray() || urls.size() > kMaxReplyItems) {
    *why = "member \"urls\" is not a list of at most " + std::to_string(kMaxReplyItems);
    return false;
  }
  for (const Json::Value& entry : urls) {
    if (!entry.isObject()) {
      *why = "an entry of \"urls\" is not an object";
      return false;
    }
    PrivacyUrl url;
    if (!Text(entry, "field", &url.field, why) || !Text(entry, "url", &url.url, why)) return false;
    out->urls.push_back(url);
  }
  return true;
}

template <typename Item, typename ReadItem>
ReplyCheck ParseReply(const std::string& text, std::vector<Item>* items, ReadItem read) {
  items->clear();
  ReplyCheck check;
  Json::Value root;
  if (!ReadJson(text, &root, &check) || !CodeRule(text, root, &check)) return check;
  std::vector<const Json::Value*> objects;
  if (!CollectItems(root, &objects, &check.why)) return check;
  std::vector<Item> read_items;
  for (const Json::Value* object : objects) {
    Item item;
    if (!read(*object, &item, &check.why)) return check;
    read_items.push_back(std::move(item));
  }
  check.itemsOk = true;
  *items = std::move(read_items);
  return check;
}

}  // namespace

bool IsWebAddress(const std::string& url) {
  const std::string lower = Lower(url.substr(0, 8));
  return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
}

bool IsWebAddress(const std::wstring& url) { return IsWebAddress(platform::WideToUtf8(url)); }

std::wstring BannerPictureName(const std::wstring& folder, int sort, const std::string& url) {
  if (folder.empty()) return std::wstring();
  const std::string path = url.substr(0, url.find_first_of("?#"));
  const size_t dot = path.rfind('.');
  const size_t slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return std::wstring();
  const std::string extension = path.substr(dot);
  static const char* const kPictures[] = {".png", ".jpg", ".jpeg", ".gif", ".bmp"};
  const std::string lower = Lower(extension);
  if (std::none_of(std::begin(kPictures), std::end(kPictures),
                   [&](const char* known) { return lower == known; }))
    return std::wstring();
  std::wstring name = folder;
  if (name.back() != L'\\' && name.back() != L'/') name += L'\\';
  return name + std::to_wstring(sort) + platform::AnsiToWide(extension);
}

ReplyCheck ParseBannerReply(const std::string& text, std::vector<BannerItem>* items) {
  return ParseReply(text, items, ReadBanner);
}

ReplyCheck ParsePrivacyReply(const std::string& text, std::vector<PrivacyItem>* items) {
  return ParseReply(text, items, ReadPrivacy);
}

}  // namespace remote
