#include "uikit/image.h"

#include "uikit/logging.h"

#include <algorithm>
#include <cwctype>

#include "platform/text.h"
#include "uikit/resource_package.h"

namespace uikit {

ImageCache::ImageCache(ResourcePackage& package, IImageDecoder& decoder)
    : package_(package), decoder_(decoder) {}

std::wstring ImageCache::Key(const std::wstring& name) {
  std::wstring key = name;
  for (wchar_t& c : key) {
    c = c == L'\\' ? L'/' : static_cast<wchar_t>(std::towlower(c));
  }
  while (!key.empty() && key.front() == L'/') key.erase(0, 1);
  return key;
}

ImagePtr ImageCache::Get(const std::wstring& name) {
  if (name.empty()) return nullptr;
  std::lock_guard<std::mutex> guard(lock_);
  return LoadLocked(Key(name), name, true);
}

bool ImageCache::Has(const std::wstring& name) {
  if (name.empty()) return false;
  std::lock_guard<std::mutex> guard(lock_);
  return LoadLocked(Key(name), name, false) != nullptr;
}

int ImageCache::Density(const std::wstring& name) {
  std::lock_guard<std::mutex> guard(lock_);
  return doubled_.count(Key(name)) ? 2 : 1;
}

void ImageCache::Register(const std::wstring& name, ImagePtr image) {
  if (name.empty()) return;
  std::lock_guard<std::mutex> guard(lock_);
  const std::wstring key = Key(name);
  if (image) {
    registered_[key] = std::move(image);
  } else {
    registered_.erase(key);
  }
}

void ImageCache::Remove(const std::wstring& name) {
  std::lock_guard<std::mutex> guard(lock_);
  const std::wstring key = Key(name);
  registered_.erase(key);
  loaded_.erase(key);
  failed_.erase(key);
  doubled_.erase(key);
}

void ImageCache::DropLoaded() {
  std::lock_guard<std::mutex> guard(lock_);
  loaded_.clear();
  failed_.clear();
  doubled_.clear();
}

void ImageCache::SetHighDensity(bool preferDoubleSize) {
  std::lock_guard<std::mutex> guard(lock_);
  if (highDensity_ == preferDoubleSize) return;
  highDensity_ = preferDoubleSize;
  loaded_.clear();
  failed_.clear();
  doubled_.clear();
}

ImagePtr ImageCache::LoadLocked(const std::wstring& key, const std::wstring& name,
                                bool logMiss) {
  auto reg = registered_.find(key);
  if (reg != registered_.end()) return reg->second;
  auto hit = loaded_.find(key);
  if (hit != loaded_.end()) return hit->second;
  if (failed_.count(key)) {
    if (logMiss && missLogged_.insert(key).second) {
      LOG(INFO) << " Image not available: " << platform::WideToUtf8(name);
    }
    return nullptr;
  }

  std::string bytes;
  if (highDensity_) {
    const size_t slash = name.find_last_of(L"\\/");
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) {
      const std::wstring doubled = name.substr(0, dot) + L"@2x" + name.substr(dot);
      if (package_.HasFile(doubled) && package_.ReadFile(doubled, &bytes)) {
        ImagePtr image = decoder_.Decode(bytes);
        if (image) {
          loaded_[key] = image;
          doubled_.insert(key);
          return image;
        }
        LOG(INFO) << " Image does not decode: " << platform::WideToUtf8(doubled);
      }
    }
  }
  bytes.clear();
  ImagePtr image;
  if (!package_.HasFile(name)) {
    if (logMiss) LOG(INFO) << " Image missing from the skin: " << platform::WideToUtf8(name);
  } else if (package_.ReadFile(name, &bytes)) {
    image = decoder_.Decode(bytes);
    if (!image && logMiss) {
      LOG(INFO) << " Image does not decode: " << platform::WideToUtf8(name);
    }
  }
  if (!image) {
    failed_.insert(key);
    if (logMiss) missLogged_.insert(key);
    return nullptr;
  }
  loaded_[key] = image;
  return image;
}

}  // namespace uikit
