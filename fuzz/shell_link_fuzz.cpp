// A shell link (".lnk") of any bytes read through liblnk, as the offline
// machine resolves Startup folder shortcuts.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/offline/shell_link.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const auto cp = platform::offline::CodePage::Windows1252();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (auto target = platform::offline::ShellLinkTarget(bytes, cp)) {
    // What a link can name is bounded by the link itself.
    if (target->size() > 8 * size + 64) __builtin_trap();
    cp.ToReportUtf8(*target);
  }
  return 0;
}
