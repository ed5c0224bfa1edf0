#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace platform {

// The extended version record (OSVERSIONINFOEX).
struct OsVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
  std::uint32_t platformId = 0;  // 0 Win32s, 1 9x, 2 NT
  std::string servicePack;       // szCSDVersion
  std::uint16_t servicePackMajor = 0;
  std::uint16_t servicePackMinor = 0;
  std::uint16_t suiteMask = 0;
  std::uint8_t productType = 0;  // 1 workstation, 2 domain controller, 3 server
};

namespace arch {
inline constexpr std::uint16_t kIntel = 0;
inline constexpr std::uint16_t kAmd64 = 9;
}  // namespace arch

class SystemInfo {
 public:
  virtual ~SystemInfo() = default;
  // nullopt when the system does not give the extended record.
  virtual std::optional<OsVersion> Version() = 0;
  virtual std::uint16_t NativeArchitecture() = 0;
  // Full path of the running program.
  virtual std::string ModulePath() = 0;
  virtual std::string UserName() = 0;
  // Where the program keeps its quarantine and backups when that is not its
  // own folder (a rescue from outside keeps them on the volume it cleans),
  // without the closing backslash; empty: the program's folder.
  virtual std::string DataFolder() { return {}; }
  // The system code page's text as UTF-8, for reports.
  virtual std::string TextToUtf8(std::string_view text) { return Cp1252ToUtf8(text); }
};

}  // namespace platform
