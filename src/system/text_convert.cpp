#include "system/text_convert.h"

#include "platform/text.h"

namespace FuntionImpl {

std::string Utf16ToUtf8(const std::wstring& text) {
  return platform::WideToUtf8(text);
}

}  // namespace FuntionImpl
