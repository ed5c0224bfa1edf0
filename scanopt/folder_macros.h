#pragma once
// The folder macros of rule paths ("%%WinTemp%%", "%%pf%%", ...): each is
// replaced by that folder of the machine for the logged-on user.
#include <string>
#include <string_view>

#include "platform/machine.h"

namespace scanopt {

// The text with every macro replaced, in the fixed order of the macro
// table; exact case only. A folder that cannot be found gives the empty
// text. Folders are looked up afresh at each call.
std::string ExpandFolderMacros(platform::Machine& machine, std::string_view text);

}  // namespace scanopt
