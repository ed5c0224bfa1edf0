#include "tools/hivemake/installation.h"

#include <fstream>
#include <stdexcept>

namespace hivemake {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCurrentVersion = "Microsoft\\Windows NT\\CurrentVersion";
constexpr const char* kShellFolders = "Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kUserShellFolders =
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

std::string Slashes(std::string path) {
  for (auto& c : path)
    if (c == '\\') c = '/';
  return path;
}

}  // namespace

Installation::Installation(fs::path volume, InstallationSpec spec)
    : volume_(std::move(volume)), spec_(std::move(spec)) {
  const std::string win = spec_.windowsFolder;
  const std::string drive = std::string(1, spec_.drive) + ":";
  fs::create_directories(Host(win + "\\System32\\config"));
  fs::create_directories(Host(win + "\\Temp"));
  software_ = std::make_unique<Hive>(Hive::Create(SoftwarePath().string(), "CMI-CreateHive{SOFTWARE}"));
  system_ = std::make_unique<Hive>(Hive::Create(SystemPath().string(), "CMI-CreateHive{SYSTEM}"));

  const bool xp = spec_.version.rfind("5.", 0) == 0;
  auto& sw = *software_;
  sw.String(kCurrentVersion, "SystemRoot", drive + "\\" + win)
      .String(kCurrentVersion, "CurrentVersion", spec_.version)
      .String(kCurrentVersion, "CurrentBuildNumber", spec_.build)
      .String(kCurrentVersion, "CSDVersion", spec_.servicePack)
      .String(kCurrentVersion, "ProductName", xp ? "Microsoft Windows XP" : "Windows 7 Professional");
  sw.String("Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", drive + "\\Program Files")
      .String("Microsoft\\Windows\\CurrentVersion", "CommonFilesDir",
              drive + "\\Program Files\\Common Files");
  const std::string profiles = std::string(kCurrentVersion) + "\\ProfileList";
  sw.ExpandString(profiles, "ProfilesDirectory", "%SystemDrive%\\" + spec_.profilesFolder);
  if (xp) {
    sw.String(profiles, "AllUsersProfile", "All Users");
  } else {
    sw.ExpandString(profiles, "ProgramData", "%SystemDrive%\\ProgramData")
        .ExpandString(profiles, "Public", "%SystemDrive%\\" + spec_.profilesFolder + "\\Public");
  }
  sw.ExpandString(profiles + "\\S-1-5-18", "ProfileImagePath", "%systemroot%\\system32\\config\\systemprofile");
  const std::string common = xp ? drive + "\\" + spec_.profilesFolder + "\\All Users"
                                : drive + "\\ProgramData\\Microsoft\\Windows";
  sw.String(kShellFolders, "Common Startup", common + "\\Start Menu\\Programs\\Startup")
      .String(kShellFolders, "Common Start Menu", common + "\\Start Menu")
      .String(kShellFolders, "Common Programs", common + "\\Start Menu\\Programs")
      .String(kShellFolders, "Common AppData", xp ? common + "\\Application Data" : drive + "\\ProgramData");
  fs::create_directories(Host(common.substr(3) + "\\Start Menu\\Programs\\Startup"));

  auto& sy = *system_;
  sy.Dword("Select", "Current", 1).Dword("Select", "Default", 1).Dword("Select", "LastKnownGood", 2);
  sy.String("ControlSet001\\Control\\Nls\\CodePage", "ACP", std::to_string(spec_.codePage))
      .String("ControlSet001\\Control\\Nls\\CodePage", "OEMCP", "850");
  sy.String("ControlSet001\\Control\\ProductOptions", "ProductType", "WinNT");
  const std::string env = "ControlSet001\\Control\\Session Manager\\Environment";
  sy.String(env, "PROCESSOR_ARCHITECTURE", spec_.amd64 ? "AMD64" : "x86")
      .ExpandString(env, "TEMP", "%SystemRoot%\\TEMP")
      .ExpandString(env, "windir", "%SystemRoot%");
  // An older control set the Select key does not name.
  sy.String("ControlSet002\\Control\\Nls\\CodePage", "ACP", "1251");

  int rid = 1000;
  for (const auto& user : spec_.users) {
    const std::string sid = "S-1-5-21-1004336348-1177238915-682003330-" + std::to_string(rid++);
    sw.ExpandString(profiles + "\\" + sid, "ProfileImagePath",
                    "%SystemDrive%\\" + spec_.profilesFolder + "\\" + user);
    fs::create_directories(UserPath(user).parent_path());
    auto hive = std::make_unique<Hive>(Hive::Create(UserPath(user).string(), "CMI-CreateHive{NTUSER}"));
    const std::string home = ProfileFolder(user);
    const std::string appData = home + (xp ? "\\Application Data" : "\\AppData\\Roaming");
    const std::string startMenu = xp ? home + "\\Start Menu" : appData + "\\Microsoft\\Windows\\Start Menu";
    const std::string userShell = std::string("Software\\") + kUserShellFolders;
    const std::string shell = std::string("Software\\") + kShellFolders;
    hive->ExpandString(userShell, "AppData",
                       xp ? "%USERPROFILE%\\Application Data" : "%USERPROFILE%\\AppData\\Roaming")
        .ExpandString(userShell, "Personal", xp ? "%USERPROFILE%\\My Documents" : "%USERPROFILE%\\Documents")
        .ExpandString(userShell, "Startup",
                      xp ? "%USERPROFILE%\\Start Menu\\Programs\\Startup"
                         : "%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup");
    hive->String(shell, "Startup", startMenu + "\\Programs\\Startup")
        .String(shell, "Start Menu", startMenu)
        .String(shell, "AppData", appData);
    hive->ExpandString("Environment", "TEMP",
                       xp ? "%USERPROFILE%\\Local Settings\\Temp" : "%USERPROFILE%\\AppData\\Local\\Temp");
    hive->Key("Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    fs::create_directories(Host(startMenu.substr(3) + "\\Programs\\Startup"));
    fs::create_directories(Host(home.substr(3) + (xp ? "\\Local Settings\\Temp" : "\\AppData\\Local\\Temp")));
    users_[user] = std::move(hive);
  }
  sw.Key("Microsoft\\Windows\\CurrentVersion\\Run");
}

Hive& Installation::User(const std::string& name) {
  auto it = users_.find(name);
  if (it == users_.end()) throw std::runtime_error("hivemake: no user " + name);
  return *it->second;
}

fs::path Installation::Host(const std::string& volumePath) const {
  return volume_ / Slashes(volumePath);
}

void Installation::File(const std::string& volumePath, const std::string& bytes) {
  const fs::path p = Host(volumePath);
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

std::string Installation::ProfileFolder(const std::string& user) const {
  return WindowsPath(spec_.profilesFolder + "\\" + user);
}

std::string Installation::WindowsPath(const std::string& volumePath) const {
  return std::string(1, spec_.drive) + ":\\" + volumePath;
}

fs::path Installation::SoftwarePath() const { return Host(spec_.windowsFolder + "\\System32\\config\\SOFTWARE"); }
fs::path Installation::SystemPath() const { return Host(spec_.windowsFolder + "\\System32\\config\\SYSTEM"); }
fs::path Installation::UserPath(const std::string& name) const {
  return Host(spec_.profilesFolder + "\\" + name + "\\NTUSER.DAT");
}

void Installation::Save() {
  software_->Save();
  system_->Save();
  for (auto& [name, hive] : users_) hive->Save();
}

}  // namespace hivemake
