#pragma once
// Win32 error codes the offline machine gives besides the common ones.
#include "platform/status.h"

namespace platform::offline {

// ERROR_WRITE_PROTECT: the volume is read-only (mounted so, or opened for a
// scan).
inline constexpr Status kWriteProtect = 19;
// ERROR_NOT_SUPPORTED: what has no meaning on an installation that is not
// running (starting a service, opening a document), or a change that would
// damage a hive.
inline constexpr Status kNotSupported = 50;

}  // namespace platform::offline
