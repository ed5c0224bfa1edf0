#pragma once
#include <string>

#include "platform/registry.h"
#include "platform/system.h"

namespace app {

// Human-readable name of the running Windows version, for example
// "Microsoft Windows XP Professional Service Pack 3 (Build 2600)". Empty when
// the version record cannot be read or names an unknown platform.
std::string WindowsVersionText(platform::SystemInfo& system, platform::Registry& registry);

// The part of the text that names the system, without the build number.
std::string WindowsVersionName(const std::string& versionText);

}  // namespace app
