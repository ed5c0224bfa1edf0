#pragma once
// The common file dialogs of the Win32 host.
#include <optional>
#include <string>

namespace platform::win32 {

enum class FileDialogKind { Open, Save };

// Shows the common open or save dialog owned by the active window. The filter
// is "Text|*.txt|..." with '|' where Windows expects NULs. The chosen path,
// or nullopt when the user cancels.
std::optional<std::string> ShowFileDialog(FileDialogKind kind, const std::string& title,
                                          const std::string& fileName, const std::string& filter);

// Script for the next dialog, for tests and demos: it fills in the path (or
// cancels) by itself once it has shown.
void ScriptNextFileDialog(std::optional<std::string> path);
// The caption of the last dialog shown.
std::string LastFileDialogTitle();

}  // namespace platform::win32
