#pragma once
// Shell link (".lnk") files without a shell: read through liblnk, written in
// their smallest form (a header and a local path).
#include <optional>
#include <string>
#include <string_view>

#include "platform/offline/code_page.h"

namespace platform::offline {

// Links are small; a larger file is not read as one.
inline constexpr std::size_t kLargestShellLink = 1 << 20;

// The file a link's bytes point at, in the code page: nullopt when the
// bytes are not a shell link, empty when the link names no file (a link to
// a shell object).
std::optional<std::string> ShellLinkTarget(std::string_view bytes, const CodePage& codePage);

// A link to a local path (MS-SHLLINK: a header, then link information with
// the path in the code page and in Unicode).
std::string MakeShellLink(std::string_view target, const CodePage& codePage);

}  // namespace platform::offline
