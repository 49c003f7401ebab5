// The desktop shell as the installer window uses it: opening a web page, showing a file in
// the file manager, starting this program again hidden, the folder chooser and a plain
// system message box.
// Threading: window thread (the folder chooser and the message box are modal).
#pragma once

#include <string>

namespace platform {

// ShellExecuteW "open" of a page or file. False when the shell refused (logged).
bool ShellOpen(const std::wstring& target);
// The file manager with the file selected ("explorer.exe" with "/select, <file>").
bool ShowInFileManager(const std::wstring& file);
// Starts the own executable hidden with the arguments (ShellExecuteW "open", SW_HIDE).
bool StartSelfHidden(const std::wstring& arguments);

// The system's folder chooser (SHBrowseForFolderW with the given flags), owned by the
// foreground window. False when the user cancelled, the choice has no file-system path, or
// this system has no such dialog (logged).
bool BrowseForFolder(unsigned flags, std::wstring* folder);

// A plain system message box with an OK button; returns when it is closed. Where there is
// no window system the text goes to the log instead.
void ShowPlainMessageBox(void* ownerHandle, const std::wstring& text,
                         const std::wstring& caption);

// The system's program-files folder ("C:\Program Files (x86)" for this 32-bit program on
// 64-bit Windows; POSIX: $ProgramFiles when set, else /opt). No trailing separator.
std::wstring ProgramFilesFolder();

}  // namespace platform
