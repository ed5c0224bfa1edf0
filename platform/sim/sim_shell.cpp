#include "platform/sim/sim_machine.h"
#include "platform/text.h"

namespace platform::sim {
namespace {

// A simulated shortcut: the link signature of real ".lnk" files, then the
// target path.
constexpr std::string_view kLinkMagic("L\0\0\0KVXSIMLINK\n", 16);

}  // namespace

SimShell::SimShell(SimFileSystem& files) : files_(files) {
  const std::string profile = "C:\\Documents and Settings\\User";
  const std::string all = "C:\\Documents and Settings\\All Users";
  folders_ = {
      {csidl::kPersonal, profile + "\\My Documents"},
      {csidl::kFavorites, profile + "\\Favorites"},
      {csidl::kStartup, profile + "\\Start Menu\\Programs\\Startup"},
      {csidl::kStartMenu, profile + "\\Start Menu"},
      {csidl::kDesktopDirectory, profile + "\\Desktop"},
      {csidl::kTemplates, profile + "\\Templates"},
      {csidl::kCommonStartMenu, all + "\\Start Menu"},
      {csidl::kCommonPrograms, all + "\\Start Menu\\Programs"},
      {csidl::kCommonStartup, all + "\\Start Menu\\Programs\\Startup"},
      {csidl::kCommonDesktopDirectory, all + "\\Desktop"},
      {csidl::kAppData, profile + "\\Application Data"},
      {csidl::kInternetCache, profile + "\\Local Settings\\Temporary Internet Files"},
      {csidl::kCookies, profile + "\\Cookies"},
      {csidl::kHistory, profile + "\\Local Settings\\History"},
      {csidl::kCommonAppData, all + "\\Application Data"},
      {csidl::kProfile, profile},
  };
}

Status SimShell::Execute(std::string_view verb, std::string_view file, std::string_view params,
                         std::string_view directory, int show) {
  calls_.push_back({std::string(verb), std::string(file), std::string(params),
                    std::string(directory), show});
  return fail_;
}

Status SimShell::ShowProperties(std::string_view file) {
  calls_.push_back({"properties", std::string(file), "", "", kShowNormal});
  if (fail_ != kOk) return fail_;
  return files_.GetAttributes(file) == FileSystem::kInvalidAttributes ? kFileNotFound : kOk;
}

std::string SimShell::SpecialFolder(int id) {
  auto it = folders_.find(id);
  return it == folders_.end() ? std::string() : it->second;
}

std::optional<std::string> SimShell::ShortcutTarget(std::string_view linkPath) {
  std::string bytes;
  if (ReadWholeFile(files_, linkPath, bytes) != kOk || bytes.size() > 4096 ||
      bytes.compare(0, kLinkMagic.size(), kLinkMagic) != 0)
    return std::nullopt;
  return bytes.substr(kLinkMagic.size());
}

Status SimShell::CreateShortcut(std::string_view linkPath, std::string_view target) {
  return WriteWholeFile(files_, linkPath, std::string(kLinkMagic) + std::string(target));
}

bool SimShell::HasIcon(std::string_view file) {
  const std::string ext = LowerCase(ExtractFileExt(file));
  return FileExists(files_, file) &&
         (ext == ".exe" || ext == ".dll" || ext == ".ico" || ext == ".cpl" || ext == ".scr");
}

}  // namespace platform::sim
