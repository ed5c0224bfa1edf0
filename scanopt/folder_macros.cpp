#include "scanopt/folder_macros.h"

#include <functional>
#include <vector>

#include "platform/text.h"

namespace scanopt {
namespace {

void ReplaceAll(std::string& text, std::string_view macro, const std::function<std::string()>& value) {
  std::size_t at = text.find(macro);
  if (at == std::string::npos) return;
  const std::string with = value();  // looked up only when the macro occurs
  for (; at != std::string::npos; at = text.find(macro, at + with.size()))
    text.replace(at, macro.size(), with);
}

}  // namespace

std::string ExpandFolderMacros(platform::Machine& m, std::string_view input) {
  std::string text(input);
  if (text.find("%%") == std::string::npos) return text;

  auto shell = [&m](int id) { return [&m, id] { return m.Sh().SpecialFolder(id); }; };
  const auto temp = [&m] {
    std::string t = m.Files().TempPath();
    if (auto nul = t.find('\0'); nul != std::string::npos) t.resize(nul);
    if (!t.empty() && t.back() == '\\') t.pop_back();
    return t;
  };
  const auto user = [&m] {
    std::string u = m.Sys().UserName();
    if (auto nul = u.find('\0'); nul != std::string::npos) u.resize(nul);
    return u.substr(0, 256);
  };
  const auto commonFiles = [&m] {
    auto key = m.Reg().Open(platform::Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                            platform::keyaccess::kRead);
    return key ? key->ReadString("CommonFilesDir").value_or("") : std::string();
  };
  const auto myDocuments = [&m] { return m.Sh().SpecialFolder(platform::csidl::kPersonal).substr(0, 260); };
  const auto root = [&m] {
    const std::string w = m.Files().WindowsDirectory();
    return w.size() >= 2 && w[1] == ':' ? w.substr(0, 2) : std::string();
  };
  namespace c = platform::csidl;
  using Lookup = std::function<std::string()>;
  const std::vector<std::pair<const char*, Lookup>> table = {
      {"%%WinTemp%%", temp},
      {"%%PersonalFolder%%", shell(c::kPersonal)},
      {"%%user%%", user},
      {"%%User%%", user},
      {"%%FavoritesFolder%%", shell(c::kFavorites)},
      {"%%StartupFolder%%", shell(c::kStartup)},
      {"%%StartmenuFolder%%", shell(c::kStartMenu)},
      {"%%DesktopFolder%%", shell(c::kDesktopDirectory)},
      {"%%CommonStartmenuFolder%%", shell(c::kCommonStartMenu)},
      {"%%CommonProgramsFolder%%", shell(c::kCommonPrograms)},
      {"%%CommonStartupFolder%%", shell(c::kCommonStartup)},
      {"%%CommonDesktopdirectoryFolder%%", shell(c::kCommonDesktopDirectory)},
      {"%%CommonAppdataFolder%%", shell(c::kCommonAppData)},
      {"%%AppdataFolder%%", shell(c::kAppData)},
      {"%%TemplatesFolder%%", shell(c::kTemplates)},
      {"%%InternetCacheFolder%%", shell(c::kInternetCache)},
      {"%%CookiesFolder%%", shell(c::kCookies)},
      {"%%HistoryFolder%%", shell(c::kHistory)},
      {"%%ProfileFolder%%", shell(c::kProfile)},
      {"%%CommonFilesFolder%%", commonFiles},
      {"%%MyDocuments%%", myDocuments},
      {"%%root%%", root},
      {"%%wt%%", temp},
      {"%%pf%%", shell(c::kPersonal)},
      {"%%User%%", user},
      {"%%user%%", user},
      {"%%ff%%", shell(c::kFavorites)},
      {"%%sf%%", shell(c::kStartup)},
      {"%%stf%%", shell(c::kStartMenu)},
      {"%%df%%", shell(c::kDesktopDirectory)},
      {"%%csf%%", shell(c::kCommonStartMenu)},
      {"%%cpf%%", shell(c::kCommonPrograms)},
      // Never matches: "%%csf%%" was replaced by the all-users Start Menu
      // just before.
      {"%%csf%%", shell(c::kCommonStartup)},
      {"%%cdf%%", shell(c::kCommonDesktopDirectory)},
      {"%%caf%%", shell(c::kCommonAppData)},
      {"%%af%%", shell(c::kAppData)},
      {"%%tf%%", shell(c::kTemplates)},
      {"%%icf%%", shell(c::kInternetCache)},
      {"%%ckf%%", shell(c::kCookies)},
      {"%%hf%%", shell(c::kHistory)},
      {"%%prf%%", shell(c::kProfile)},
      {"%%cff%%", commonFiles},
      {"%%md%%", myDocuments},
      {"%%rt%%", root},
  };
  for (const auto& [macro, lookup] : table) ReplaceAll(text, macro, lookup);
  return text;
}

}  // namespace scanopt
