#include "platform/child_process.h"

namespace platform {

std::vector<std::wstring> SplitCommandLineVerbatim(const std::wstring& commandLine) {
  std::vector<std::wstring> args;
  std::wstring current;
  bool inWord = false;
  bool quoted = false;
  for (wchar_t ch : commandLine) {
    if (ch == L'"') {
      quoted = !quoted;
      inWord = true;  // "" is an empty argument
    } else if (!quoted && (ch == L' ' || ch == L'\t')) {
      if (inWord) args.push_back(current);
      current.clear();
      inWord = false;
    } else {
      current += ch;
      inWord = true;
    }
  }
  if (inWord) args.push_back(current);
  return args;
}

}  // namespace platform
