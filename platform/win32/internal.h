#pragma once
#include <memory>

#include "platform/machine.h"
#include "platform/win32/win.h"

namespace platform::win32 {

std::unique_ptr<Registry> CreateRegistry();
std::unique_ptr<FileSystem> CreateFileSystem();
std::unique_ptr<Processes> CreateProcesses();
std::unique_ptr<SystemInfo> CreateSystemInfo();
std::unique_ptr<Shell> CreateShell();
std::unique_ptr<Services> CreateServices();
std::unique_ptr<Network> CreateNetwork();

}  // namespace platform::win32
