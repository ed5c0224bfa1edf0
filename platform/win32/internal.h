#pragma once
#include <memory>

#include "platform/machine.h"
#include "platform/win32/win.h"

namespace ui {
class Component;
}

namespace platform::win32 {

std::unique_ptr<Registry> CreateRegistry();
std::unique_ptr<FileSystem> CreateFileSystem();
std::unique_ptr<Processes> CreateProcesses();
std::unique_ptr<SystemInfo> CreateSystemInfo();
std::unique_ptr<Shell> CreateShell();
std::unique_ptr<Services> CreateServices();

// Shows a popup menu of the control model at the mouse cursor and clicks the
// item the user chooses.
void TrackPopupMenuAtCursor(HWND owner, ui::Component& menu);
std::unique_ptr<Network> CreateNetwork();

}  // namespace platform::win32
