#include "platform/offline/offline_machine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "platform/offline/hive.h"
#include "platform/offline/offline_files.h"
#include "platform/offline/offline_parts.h"
#include "platform/offline/offline_registry.h"
#include "platform/text.h"

namespace platform::offline {
namespace {

constexpr const char* kCurrentVersion = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const char* kProfileList = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr const char* kWindowsVersion = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr const char* kSessionEnvironment =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr const char* kUserShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

using Environment = std::map<std::string, std::string>;  // by lower-case name

std::string StatusText(Status s) {
  switch (s) {
    case kFileNotFound:
    case kPathNotFound:
      return "it is missing";
    case kAccessDenied:
      return "access is denied";
    default:
      return "error " + std::to_string(s);
  }
}

// %NAME% replaced by the environment's values, names without regard to
// case; unknown names stay.
std::string Expand(std::string text, const Environment& env) {
  for (int round = 0; round < 8 && text.find('%') != std::string::npos; ++round) {
    std::string out;
    bool changed = false;
    std::size_t i = 0;
    while (i < text.size()) {
      const std::size_t open = text.find('%', i);
      if (open == std::string::npos) break;
      const std::size_t close = text.find('%', open + 1);
      if (close == std::string::npos) break;
      out.append(text, i, open - i);
      auto it = env.find(LowerCase(text.substr(open + 1, close - open - 1)));
      if (it != env.end()) {
        out += it->second;
        changed = true;
        i = close + 1;
      } else {
        out += '%';
        i = open + 1;
      }
    }
    out.append(text, std::min(i, text.size()), std::string::npos);
    text = std::move(out);
    if (!changed || text.size() > 32768) break;
  }
  return text;
}

std::optional<std::string> ReadText(Registry& reg, Hive hive, const std::string& key,
                                    const std::string& name) {
  auto k = reg.Open(hive, key, keyaccess::kRead);
  return k ? k->ReadString(name) : std::nullopt;
}

// Shell folders of a profile: the value names of "User Shell Folders", and
// where Windows puts them when the value is missing (XP, then Vista on).
struct FolderRule {
  int csidl;
  const char* value;
  bool common;
  const char* xp;
  const char* vista;
};
constexpr FolderRule kFolders[] = {
    {csidl::kPersonal, "Personal", false, "%USERPROFILE%\\My Documents", "%USERPROFILE%\\Documents"},
    {csidl::kFavorites, "Favorites", false, "%USERPROFILE%\\Favorites", "%USERPROFILE%\\Favorites"},
    {csidl::kStartup, "Startup", false, "%USERPROFILE%\\Start Menu\\Programs\\Startup",
     "%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"},
    {csidl::kStartMenu, "Start Menu", false, "%USERPROFILE%\\Start Menu",
     "%APPDATA%\\Microsoft\\Windows\\Start Menu"},
    {csidl::kDesktopDirectory, "Desktop", false, "%USERPROFILE%\\Desktop", "%USERPROFILE%\\Desktop"},
    {csidl::kTemplates, "Templates", false, "%USERPROFILE%\\Templates",
     "%APPDATA%\\Microsoft\\Windows\\Templates"},
    {csidl::kAppData, "AppData", false, "%USERPROFILE%\\Application Data",
     "%USERPROFILE%\\AppData\\Roaming"},
    {csidl::kInternetCache, "Cache", false, "%USERPROFILE%\\Local Settings\\Temporary Internet Files",
     "%USERPROFILE%\\AppData\\Local\\Microsoft\\Windows\\Temporary Internet Files"},
    {csidl::kCookies, "Cookies", false, "%USERPROFILE%\\Cookies",
     "%APPDATA%\\Microsoft\\Windows\\Cookies"},
    {csidl::kHistory, "History", false, "%USERPROFILE%\\Local Settings\\History",
     "%USERPROFILE%\\AppData\\Local\\Microsoft\\Windows\\History"},
    {csidl::kCommonStartMenu, "Common Start Menu", true, "%ALLUSERSPROFILE%\\Start Menu",
     "%ProgramData%\\Microsoft\\Windows\\Start Menu"},
    {csidl::kCommonPrograms, "Common Programs", true, "%ALLUSERSPROFILE%\\Start Menu\\Programs",
     "%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs"},
    {csidl::kCommonStartup, "Common Startup", true, "%ALLUSERSPROFILE%\\Start Menu\\Programs\\Startup",
     "%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"},
    {csidl::kCommonDesktopDirectory, "Common Desktop", true, "%ALLUSERSPROFILE%\\Desktop",
     "%PUBLIC%\\Desktop"},
    {csidl::kCommonAppData, "Common AppData", true, "%ALLUSERSPROFILE%\\Application Data",
     "%ProgramData%"},
};

std::uint16_t SuiteMask(const std::vector<std::string>& suites) {
  static const std::pair<const char*, std::uint16_t> kSuites[] = {
      {"Small Business", 0x0001}, {"Enterprise", 0x0002},  {"BackOffice", 0x0004},
      {"CommunicationServer", 0x0008}, {"Terminal Server", 0x0010},
      {"Small Business(Restricted)", 0x0020}, {"EmbeddedNT", 0x0040}, {"DataCenter", 0x0080},
      {"Personal", 0x0200}, {"Blade", 0x0400}, {"Storage Server", 0x2000},
      {"Compute Server", 0x4000}};
  std::uint16_t mask = 0;
  for (const auto& s : suites)
    for (const auto& [name, bit] : kSuites)
      if (SameText(s, name)) mask |= bit;
  return mask;
}

}  // namespace

struct OfflineMachine::OpenHive {
  std::string winPath;
  std::string key;  // the lower-case path the file system names it by
  std::string label;
  std::string sid;  // a profile's hive: its SID
  bool dirty = false;
  std::unique_ptr<HiveFile> file;
};

OfflineMachine::OfflineMachine() = default;
OfflineMachine::~OfflineMachine() = default;

Registry& OfflineMachine::Reg() { return *registry_; }
FileSystem& OfflineMachine::Files() { return *files_; }
Processes& OfflineMachine::Procs() { return *processes_; }
SystemInfo& OfflineMachine::Sys() { return *system_; }
Shell& OfflineMachine::Sh() { return *shell_; }
Services& OfflineMachine::Svc() { return *services_; }
Network& OfflineMachine::Net() { return *network_; }

std::unique_ptr<OfflineMachine> OfflineMachine::Open(const OfflineOptions& options,
                                                     std::string* error, Failure* failure) {
  std::unique_ptr<OfflineMachine> m(new OfflineMachine);
  std::string text;
  Failure why = Failure::None;
  if (!m->Load(options, &text, &why)) {
    if (error) *error = text;
    if (failure) *failure = why;
    return nullptr;
  }
  if (failure) *failure = Failure::None;
  return m;
}

std::unique_ptr<HiveFile> OfflineMachine::OpenHiveFile(const std::string& winPath,
                                                       const std::string& label, bool writable,
                                                       std::string* error) {
  Status st = kOk;
  const int fd = files_->OpenForLibrary(winPath, false, &st);
  if (fd < 0) {
    *error = "the registry hive " + label + " cannot be opened: " + StatusText(st);
    return nullptr;
  }
  std::unique_ptr<HiveFile> hive;
  struct stat info {};
  char head[4096] = {};
  if (::fstat(fd, &info) != 0 || static_cast<std::uint64_t>(info.st_size) > kLargestHive) {
    *error = "the registry hive " + label + " cannot be read: it is larger than 1 GiB";
  } else {
    const ssize_t got = ::pread(fd, head, sizeof head, 0);
    hive = HiveFile::Open("/proc/self/fd/" + std::to_string(fd), label, writable, codePage_.get(),
                          error);
    if (hive) {
      OpenHive h;
      h.winPath = winPath;
      h.key = LowerCase(NormalizePath(winPath));
      h.label = label;
      h.dirty = ReadHiveHeader(std::string_view(head, got > 0 ? static_cast<std::size_t>(got) : 0)).Dirty();
      hives_.push_back(std::move(h));
    }
  }
  ::close(fd);
  return hive;
}

bool OfflineMachine::Load(const OfflineOptions& options, std::string* error, Failure* failure) {
  auto fail = [&](Failure f, std::string text) {
    *failure = f;
    *error = std::move(text);
    return false;
  };
  const int fd = ::open(options.volume.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return fail(Failure::Volume, "cannot open the folder " + options.volume + ": " + std::strerror(errno));
  codePage_ = std::make_unique<CodePage>(CodePage::Windows1252());
  files_ = std::make_unique<OfflineFileSystem>(fd, 'C', codePage_.get(), options.writable);
  registry_ = std::make_unique<OfflineRegistry>();
  processes_ = std::make_unique<NoProcesses>();
  system_ = std::make_unique<OfflineSystem>();
  shell_ = std::make_unique<OfflineShell>(*files_);
  services_ = std::make_unique<OfflineServices>(*registry_);
  network_ = std::make_unique<NoNetwork>();
  system_->codePage = shell_->codePage = codePage_.get();
  services_->refused = [this](const std::string& keyName) {
    const std::string notice = "The service " + keyName +
                               " cannot be started or stopped: Windows is not running on this "
                               "installation.";
    if (std::find(warnings_.begin(), warnings_.end(), notice) == warnings_.end())
      warnings_.push_back(notice);
  };
  system_->modulePath = codePage_->FromUtf8(options.programPath, false);
  files_->AllowHostFolder(ExtractFilePath(options.programPath));
  for (const auto& f : options.hostFiles) files_->AllowHostFile(f);

  // The Windows folder: where the hives are, under its usual name or any
  // other at the volume's root.
  auto hasHives = [&](const std::string& folder) {
    return FileExists(*files_, "C:\\" + folder + "\\System32\\config\\SOFTWARE") &&
           FileExists(*files_, "C:\\" + folder + "\\System32\\config\\SYSTEM");
  };
  std::string windows;
  for (const char* usual : {"Windows", "WINNT"})
    if (windows.empty() && hasHives(usual)) windows = usual;
  if (windows.empty()) {
    FindData d;
    if (auto h = files_->FindFirst("C:\\*", d)) {
      do
        if (d.IsDirectory() && !(d.attributes & fileattr::kReparsePoint) && hasHives(d.name))
          windows = d.name;
      while (windows.empty() && h->Next(d));
    }
  }
  if (windows.empty())
    return fail(Failure::NotWindows,
                "not a Windows installation: " + options.volume +
                    " has no Windows folder with the registry hives System32\\config\\SOFTWARE "
                    "and SYSTEM");

  const std::string config = "C:\\" + windows + "\\System32\\config\\";
  std::string text;
  auto software = OpenHiveFile(config + "SOFTWARE", windows + "\\System32\\config\\SOFTWARE",
                               options.writable, &text);
  if (!software) return fail(Failure::BadHive, text);
  auto system = OpenHiveFile(config + "SYSTEM", windows + "\\System32\\config\\SYSTEM",
                             options.writable, &text);
  if (!system) return fail(Failure::BadHive, text);
  hives_[0].file = std::move(software);
  hives_[1].file = std::move(system);
  HiveFile* sw = hives_[0].file.get();
  HiveFile* sy = hives_[1].file.get();

  // The current control set, as SYSTEM's Select key names it.
  std::string controlSet = "ControlSet001";
  {
    registry_->SetMachineHives(sw, sy, controlSet);
    auto select = registry_->Open(Hive::LocalMachine, "SYSTEM\\Select", keyaccess::kRead);
    if (auto current = select ? select->ReadDword("Current") : std::nullopt; current && *current < 1000) {
      char name[32];
      std::snprintf(name, sizeof name, "ControlSet%03u", *current);
      if (registry_->Open(Hive::LocalMachine, std::string("SYSTEM\\") + name, keyaccess::kRead))
        controlSet = name;
    }
    registry_->SetMachineHives(sw, sy, controlSet);
  }

  // The installation's ANSI code page.
  if (auto acp = ReadText(*registry_, Hive::LocalMachine,
                          "SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage", "ACP")) {
    const unsigned number = static_cast<unsigned>(std::strtoul(acp->c_str(), nullptr, 10));
    if (auto cp = CodePage::Load(number)) {
      *codePage_ = *cp;
    } else if (number != 1252) {
      warnings_.push_back("The installation's code page " + *acp +
                          " is not a single-byte one: names are read as Windows-1252, and what "
                          "does not fit is shown as it is.");
    }
  }
  files_->SetCodePage(codePage_.get());
  sw->SetCodePage(codePage_.get());
  sy->SetCodePage(codePage_.get());
  system_->modulePath = codePage_->FromUtf8(options.programPath, false);

  // The drive and Windows folder as SystemRoot names them.
  std::string windowsDir = "C:\\" + windows;
  if (auto root = ReadText(*registry_, Hive::LocalMachine, kCurrentVersion, "SystemRoot")) {
    const std::string norm = NormalizePath(*root);
    if (norm.size() > 3 && SameText(ExtractFileName(norm), windows) &&
        ExtractFilePath(norm).size() == 3) {
      drive_ = norm[0];
      windowsDir = norm;
    }
  }
  files_->SetDrive(drive_);
  if (!options.dataFolderName.empty())
    system_->dataFolder = std::string(1, drive_) + ":\\" + options.dataFolderName;
  const std::string systemDir = windowsDir + "\\system32";

  // The version record and the processor.
  {
    auto cv = registry_->Open(Hive::LocalMachine, kCurrentVersion, keyaccess::kRead);
    OsVersion v;
    v.platformId = 2;
    bool known = false;
    if (cv) {
      if (auto major = cv->ReadDword("CurrentMajorVersionNumber")) {
        v.major = *major;
        v.minor = cv->ReadDword("CurrentMinorVersionNumber").value_or(0);
        known = true;
      } else if (auto text = cv->ReadString("CurrentVersion")) {
        v.major = static_cast<std::uint32_t>(std::strtoul(text->c_str(), nullptr, 10));
        const auto dot = text->find('.');
        v.minor = dot == std::string::npos ? 0 : static_cast<std::uint32_t>(std::strtoul(text->c_str() + dot + 1, nullptr, 10));
        known = v.major > 0;
      }
      auto build = cv->ReadString("CurrentBuildNumber");
      if (!build) build = cv->ReadString("CurrentBuild");
      v.build = build ? static_cast<std::uint32_t>(std::strtoul(build->c_str(), nullptr, 10)) : 0;
      v.servicePack = cv->ReadString("CSDVersion").value_or("");
      const auto digit = v.servicePack.find_first_of("0123456789");
      if (digit != std::string::npos)
        v.servicePackMajor = static_cast<std::uint16_t>(std::strtoul(v.servicePack.c_str() + digit, nullptr, 10));
    }
    if (auto options = registry_->Open(Hive::LocalMachine,
                                       "SYSTEM\\CurrentControlSet\\Control\\ProductOptions",
                                       keyaccess::kRead)) {
      const std::string type = options->ReadString("ProductType").value_or("WinNT");
      v.productType = SameText(type, "LanmanNT") ? 2 : SameText(type, "ServerNT") ? 3 : 1;
      v.suiteMask = SuiteMask(options->ReadMultiString("ProductSuite").value_or(std::vector<std::string>{}));
    } else {
      v.productType = 1;
    }
    if (known) system_->version = v;
    const std::string cpu =
        ReadText(*registry_, Hive::LocalMachine, kSessionEnvironment, "PROCESSOR_ARCHITECTURE").value_or("x86");
    system_->architecture = SameText(cpu, "AMD64") ? arch::kAmd64 : SameText(cpu, "IA64") ? 6
                            : SameText(cpu, "ARM64")                     ? 12
                                                                         : arch::kIntel;
  }
  files_->SetFolders(windowsDir, systemDir, windowsDir + "\\Temp\\");

  ReadProfiles(options.user);
  if (!options.user.empty() && profiles_.empty()) {
    std::string names;
    ReadProfiles("");
    for (const auto& p : profiles_) names += (names.empty() ? "" : ", ") + p.name;
    return fail(Failure::NoSuchUser, "there is no profile " + options.user +
                                         " on this installation" +
                                         (names.empty() ? "" : "; its profiles: " + names));
  }
  std::vector<std::pair<std::string, HiveFile*>> users;
  for (const auto& p : profiles_) {
    const std::string label = p.folder.substr(3) + "\\NTUSER.DAT";
    auto hive = OpenHiveFile(p.folder + "\\NTUSER.DAT", label, options.writable, &text);
    if (!hive) return fail(Failure::BadHive, text);
    hives_.back().sid = p.sid;
    hives_.back().file = std::move(hive);
    users.emplace_back(p.sid, hives_.back().file.get());
  }
  registry_->SetUserHives(users);
  // As on Windows, a loaded hive's file is neither deleted nor written over;
  // an undo may replace one with no pending change, which is read again.
  files_->held = [this](const std::string& key, bool replace) {
    for (const auto& h : hives_)
      if (h.key == key) return replace && h.file && !h.file->Changed() ? kOk : kSharingViolation;
    return kOk;
  };
  files_->replaced = [this](const std::string& key) { HiveReplaced(key); };
  for (const auto& h : hives_)
    if (h.dirty)
      warnings_.push_back("The registry hive " + h.label +
                          " was not closed cleanly (Windows crashed or lost power): its newest "
                          "changes are still in its transaction logs and may be missing here.");
  if (!profiles_.empty()) SelectProfile(profiles_.front().name);
  return true;
}

void OfflineMachine::ReadProfiles(const std::string& onlyUser) {
  profiles_.clear();
  Environment env;
  env["systemdrive"] = std::string(1, drive_) + ":";
  env["systemroot"] = env["windir"] = files_->WindowsDirectory();
  auto list = registry_->Open(Hive::LocalMachine, kProfileList, keyaccess::kRead);
  if (!list) return;
  for (const auto& sid : list->SubkeyNames()) {
    // The service accounts' profiles start nobody's programs.
    if (sid == "S-1-5-18" || sid == "S-1-5-19" || sid == "S-1-5-20") continue;
    auto key = registry_->Open(Hive::LocalMachine, std::string(kProfileList) + "\\" + sid, keyaccess::kRead);
    auto path = key ? key->ReadString("ProfileImagePath") : std::nullopt;
    if (!path) continue;
    Profile p;
    p.sid = sid;
    p.folder = NormalizePath(Expand(*path, env));
    p.name = ExtractFileName(p.folder);
    if (p.folder.size() <= 3 || p.folder[0] != drive_) continue;
    if (!onlyUser.empty() && !SameText(p.name, onlyUser) && !SameText(p.sid, onlyUser)) continue;
    if (!FileExists(*files_, p.folder + "\\NTUSER.DAT")) {
      if (onlyUser.empty())
        warnings_.push_back("The profile " + p.name + " has no NTUSER.DAT: its settings are not scanned.");
      continue;
    }
    profiles_.push_back(std::move(p));
  }
}

void OfflineMachine::AllowHostFile(const std::string& hostPath) { files_->AllowHostFile(hostPath); }

const Profile* OfflineMachine::CurrentProfile() const {
  return current_ >= 0 ? &profiles_[static_cast<std::size_t>(current_)] : nullptr;
}

bool OfflineMachine::SelectProfile(const std::string& name) {
  int index = -1;
  for (std::size_t i = 0; i < profiles_.size(); ++i)
    if (SameText(profiles_[i].name, name)) index = static_cast<int>(i);
  if (index < 0) return false;
  current_ = index;
  const Profile& p = profiles_[static_cast<std::size_t>(index)];
  for (const auto& h : hives_)
    if (h.sid == p.sid) registry_->SetCurrentUser(h.file.get());
  system_->userName = p.name;
  ReadFolders();
  return true;
}

void OfflineMachine::ReadFolders() {
  const Profile* p = CurrentProfile();
  auto& reg = *registry_;
  const std::string windowsDir = files_->WindowsDirectory();
  const bool xp = system_->version && system_->version->major < 6;
  Environment env;
  if (auto key = reg.Open(Hive::LocalMachine, kSessionEnvironment, keyaccess::kRead))
    for (const auto& name : key->ValueNames())
      if (auto v = key->ReadString(name)) env[LowerCase(name)] = *v;
  env["systemdrive"] = std::string(1, drive_) + ":";
  env["systemroot"] = env["windir"] = windowsDir;
  const std::string programFiles = Expand(
      ReadText(reg, Hive::LocalMachine, kWindowsVersion, "ProgramFilesDir").value_or("%SystemDrive%\\Program Files"), env);
  env["programfiles"] = programFiles;
  env["commonprogramfiles"] = Expand(
      ReadText(reg, Hive::LocalMachine, kWindowsVersion, "CommonFilesDir").value_or(programFiles + "\\Common Files"), env);
  if (auto x86 = ReadText(reg, Hive::LocalMachine, kWindowsVersion, "ProgramFilesDir (x86)"))
    env["programfiles(x86)"] = Expand(*x86, env);
  const std::string profiles = Expand(
      ReadText(reg, Hive::LocalMachine, kProfileList, "ProfilesDirectory").value_or(xp ? "%SystemDrive%\\Documents and Settings" : "%SystemDrive%\\Users"), env);
  const std::string programData =
      Expand(ReadText(reg, Hive::LocalMachine, kProfileList, "ProgramData").value_or("%SystemDrive%\\ProgramData"), env);
  env["programdata"] = programData;
  env["allusersprofile"] =
      xp ? profiles + "\\" + ReadText(reg, Hive::LocalMachine, kProfileList, "AllUsersProfile").value_or("All Users")
         : programData;
  env["public"] = Expand(ReadText(reg, Hive::LocalMachine, kProfileList, "Public").value_or(profiles + "\\Public"), env);
  if (p) {
    env["userprofile"] = p->folder;
    env["username"] = p->name;
    env["homedrive"] = p->folder.substr(0, 2);
    env["homepath"] = p->folder.substr(2);
    auto userFolder = [&](const char* value, const std::string& fallback) {
      auto v = ReadText(reg, Hive::CurrentUser, kUserShellFolders, value);
      if (!v) v = ReadText(reg, Hive::CurrentUser, kShellFolders, value);
      return Expand(v.value_or(fallback), env);
    };
    env["appdata"] = userFolder("AppData", xp ? "%USERPROFILE%\\Application Data" : "%USERPROFILE%\\AppData\\Roaming");
    env["localappdata"] = userFolder("Local AppData", xp ? "%USERPROFILE%\\Local Settings\\Application Data"
                                                         : "%USERPROFILE%\\AppData\\Local");
    if (auto key = reg.Open(Hive::CurrentUser, "Environment", keyaccess::kRead))
      for (const auto& name : key->ValueNames())
        if (auto v = key->ReadString(name)) env[LowerCase(name)] = *v;
  }

  std::map<int, std::string> folders;
  for (const auto& rule : kFolders) {
    if (!rule.common && !p) continue;
    const Hive hive = rule.common ? Hive::LocalMachine : Hive::CurrentUser;
    const std::string base = rule.common ? std::string("SOFTWARE\\") + (kUserShellFolders + 9) : kUserShellFolders;
    const std::string plain = rule.common ? std::string("SOFTWARE\\") + (kShellFolders + 9) : kShellFolders;
    auto v = ReadText(reg, hive, base, rule.value);
    if (!v || v->empty()) v = ReadText(reg, hive, plain, rule.value);
    std::string path = Expand(v && !v->empty() ? *v : std::string(xp ? rule.xp : rule.vista), env);
    folders[rule.csidl] = ExcludeTrailingBackslash(NormalizePath(path).empty() ? path : NormalizePath(path));
  }
  if (p) folders[csidl::kProfile] = p->folder;
  shell_->folders = std::move(folders);

  std::string temp = windowsDir + "\\Temp";
  if (env.count("temp")) temp = Expand(env["temp"], env);
  if (!NormalizePath(temp).empty()) temp = NormalizePath(temp);
  files_->SetFolders(windowsDir, windowsDir + "\\system32", IncludeTrailingBackslash(temp));
}

void OfflineMachine::HiveReplaced(const std::string& key) {
  for (auto& h : hives_) {
    if (h.key != key || !h.file) continue;
    Status st = kOk;
    std::string error;
    const int fd = files_->OpenForLibrary(h.winPath, false, &st);
    if (fd < 0) {
      error = "the registry hive " + h.label + " cannot be opened: " + StatusText(st);
    } else {
      char head[4096] = {};
      const ssize_t got = ::pread(fd, head, sizeof head, 0);
      if (h.file->Reload("/proc/self/fd/" + std::to_string(fd), &error))
        h.dirty = ReadHiveHeader(std::string_view(head, got > 0 ? static_cast<std::size_t>(got) : 0)).Dirty();
      ::close(fd);
    }
    if (!error.empty())
      warnings_.push_back("The registry hive " + h.label +
                          " was put back but cannot be read again (" + error +
                          "): what this run shows of it is what it held before.");
  }
}

void OfflineMachine::ValuePlace(Hive& hive, std::string& key, std::string_view name) {
  registry_->PlaceOf(hive, key, name);
}

std::vector<std::string> OfflineMachine::DirtyHives() const {
  std::vector<std::string> out;
  for (const auto& h : hives_)
    if (h.dirty) out.push_back(h.label);
  return out;
}

std::vector<OfflineMachine::HiveState> OfflineMachine::Hives() const {
  std::vector<HiveState> out;
  for (const auto& h : hives_) out.push_back({h.label, h.winPath, h.file && h.file->Changed()});
  return out;
}

Status OfflineMachine::CommitHives(std::string* error, const KeepHive& keep) {
  std::vector<const OpenHive*> changed;
  for (const auto& h : hives_)
    if (h.file && h.file->Changed()) changed.push_back(&h);
  // Every changed hive is written to a new file first; only when all of them
  // are complete does any original get replaced.
  std::vector<std::string> written;
  auto dropWritten = [&] {
    for (const auto& t : written) files_->DeleteFile(t);
  };
  for (const OpenHive* h : changed) {
    const std::string temp = ReplacementTempPath(h->winPath);
    Status st = kOk;
    const int fd = files_->OpenForLibrary(temp, true, &st);
    if (fd < 0) {
      dropWritten();
      if (error) *error = "the registry hive " + h->label + " cannot be written: " + StatusText(st);
      return st;
    }
    written.push_back(temp);
    st = h->file->Commit("/proc/self/fd/" + std::to_string(fd), error);
    if (st == kOk && ::fsync(fd) != 0) {
      st = kAccessDenied;
      if (error) *error = "the registry hive " + h->label + " cannot be written: " + std::strerror(errno);
    }
    ::close(fd);
    if (st != kOk) {
      dropWritten();
      return st;
    }
  }
  if (keep) {
    for (const OpenHive* h : changed) {
      if (!keep(h->winPath, ReplacementTempPath(h->winPath), error)) {
        dropWritten();
        return kAccessDenied;
      }
    }
  }
  for (const OpenHive* h : changed) {
    const Status st = files_->RenameOver(ReplacementTempPath(h->winPath), h->winPath);
    if (st != kOk) {
      if (error) *error = "the registry hive " + h->label + " cannot be replaced: " + StatusText(st);
      return st;
    }
  }
  return kOk;
}

}  // namespace platform::offline
