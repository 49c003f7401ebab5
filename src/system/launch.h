// Starting the installed product once the install has finished. With the administrator flag
// the product is created as a child (it inherits the installer's rights); without it the
// desktop shell starts it, so it runs with the user's own rights and not as a child of the
// elevated installer.
// Threading: any thread (the install thread or the launch splash's worker).
#pragma once

#include <functional>
#include <string>

namespace FuntionImpl {

// Records an event ("Other", "StartWindowError", label); the caller passes the event log.
using LaunchEventSink =
    std::function<void(const char* category, const char* action, const std::string& label)>;

// quotedPath: the product executable in double quotes. 0 started, -1 failed (logged and
// recorded as "StartWindowError" with the error number).
int StartTargetMainExe(const std::wstring& quotedPath, int adminFlag,
                       const LaunchEventSink& events = nullptr);

// The working folder of the administrator path: the text from the second character of the
// quoted path up to and including its last "\" (empty when it has none).
std::wstring LaunchWorkingFolder(const std::wstring& quotedPath);

}  // namespace FuntionImpl
