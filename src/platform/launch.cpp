#include "platform/launch.h"

namespace platform {

std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine) {
  std::vector<std::wstring> args;
  const size_t n = commandLine.size();
  size_t i = 0;
  while (true) {
    while (i < n && (commandLine[i] == L' ' || commandLine[i] == L'\t')) ++i;
    if (i >= n) break;
    std::wstring arg;
    bool quoted = false;
    while (i < n && (quoted || (commandLine[i] != L' ' && commandLine[i] != L'\t'))) {
      if (commandLine[i] == L'\\') {
        size_t slashes = 0;
        while (i < n && commandLine[i] == L'\\') ++slashes, ++i;
        if (i < n && commandLine[i] == L'"') {
          arg.append(slashes / 2, L'\\');
          if (slashes % 2) {
            arg += L'"';
            ++i;
          }
        } else {
          arg.append(slashes, L'\\');
        }
      } else if (commandLine[i] == L'"') {
        // "" inside quotes is a literal quote (and the quotes go on).
        if (quoted && i + 1 < n && commandLine[i + 1] == L'"') {
          arg += L'"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += commandLine[i++];
      }
    }
    args.push_back(arg);
  }
  return args;
}

}  // namespace platform
