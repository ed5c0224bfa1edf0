#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace platform {

inline constexpr int kShowNormal = 1;

// Shell special folders by their CSIDL numbers.
namespace csidl {
inline constexpr int kPersonal = 5;
inline constexpr int kFavorites = 6;
inline constexpr int kStartup = 7;
inline constexpr int kStartMenu = 11;
inline constexpr int kDesktopDirectory = 16;
inline constexpr int kTemplates = 21;
inline constexpr int kCommonStartMenu = 22;
inline constexpr int kCommonPrograms = 23;
inline constexpr int kCommonStartup = 24;
inline constexpr int kCommonDesktopDirectory = 25;
inline constexpr int kAppData = 26;
inline constexpr int kInternetCache = 32;
inline constexpr int kCookies = 33;
inline constexpr int kHistory = 34;
inline constexpr int kCommonAppData = 35;
inline constexpr int kProfile = 40;
}  // namespace csidl

class Shell {
 public:
  virtual ~Shell() = default;
  // ShellExecute: a document, program or web address with a verb ("open",
  // "properties").
  virtual Status Execute(std::string_view verb, std::string_view file, std::string_view params,
                         std::string_view directory, int show) = 0;
  // The shell's property sheet of a file (the "properties" verb through the
  // item's context menu).
  virtual Status ShowProperties(std::string_view file) = 0;
  // Path of a special folder for the current user, without trailing
  // backslash; empty when the shell does not know it.
  virtual std::string SpecialFolder(int csidl) = 0;
  // Target path of a shell link (".lnk"); nullopt when the file does not
  // load as a shell link, empty when the link has no file target.
  virtual std::optional<std::string> ShortcutTarget(std::string_view linkPath) = 0;
  virtual Status CreateShortcut(std::string_view linkPath, std::string_view target) = 0;
  // Whether the file carries an icon of its own (its first icon can be shown).
  virtual bool HasIcon(std::string_view file) = 0;
};

}  // namespace platform
