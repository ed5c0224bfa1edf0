#pragma once
#include <optional>
#include <string>

#include "platform/win32/win.h"

namespace platform::win32 {

// The shell's folder chooser, opened at `start`, with a button for a new
// folder; nullopt when the user cancels or the choice is no file system folder.
std::optional<std::string> ChooseFolder(HWND owner, const std::string& title,
                                        const std::string& start);

}  // namespace platform::win32
