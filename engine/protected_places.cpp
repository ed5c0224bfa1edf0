#include "engine/protected_places.h"

#include <algorithm>
#include <utility>

#include "platform/text.h"

namespace engine {
namespace {

using platform::LowerCase;

constexpr std::string_view kShellPrograms[] = {"explorer.exe", "winlogon.exe", "userinit.exe",
                                                "csrss.exe",    "smss.exe",     "lsass.exe",
                                                "services.exe", "svchost.exe"};

constexpr const char* kShellProgramReason = "a program Windows needs to run";

// Text with every "%NAME%" of the table replaced (names ignore case); nullopt
// when a variable is left that the table does not know.
std::optional<std::string> Expand(std::string text,
                                  const std::vector<std::pair<std::string, std::string>>& vars) {
  for (const auto& [name, value] : vars) {
    if (value.empty()) continue;
    for (std::size_t at = 0; (at = LowerCase(text).find(name, at)) != std::string::npos;
         at += value.size())
      text.replace(at, name.size(), value);
  }
  if (text.find('%') != std::string::npos) return std::nullopt;
  return text;
}

// Adds a path that is not empty and not yet listed (letter case aside).
void AddIf(std::vector<std::string>& list, std::string path) {
  if (path.empty()) return;
  for (const auto& p : list)
    if (platform::SameText(p, path)) return;
  list.push_back(std::move(path));
}

// The folder holding a full local path, normalized; empty for a drive root
// or anything else.
std::string Parent(const std::string& path) {
  const auto n = NormalizeLocalPath(path);
  if (!n || n->size() <= 3) return {};
  return *NormalizeLocalPath(platform::ExtractFilePath(*n));
}

// Each place with what it is, normalized and in lower case; those that are
// no full local path are left out.
std::vector<std::pair<std::string, std::string>> PlaceList(const ProtectedPlaces& p) {
  std::vector<std::pair<std::string, std::string>> raw;
  raw.emplace_back(p.windowsDir, "the Windows folder");
  for (const auto& s : p.systemDirs) {
    raw.emplace_back(s, "the system folder");
    raw.emplace_back(s + "\\config", "the system folder's \"config\" folder");
    raw.emplace_back(s + "\\drivers", "the system folder's \"drivers\" folder");
  }
  for (const auto& f : p.programFiles) raw.emplace_back(f, "a Program Files folder");
  for (const auto& r : p.profileRoots) raw.emplace_back(r, "the folder of the user profiles");
  for (const auto& u : p.profiles) raw.emplace_back(u, "a user's profile folder");
  const std::pair<const std::string&, const char*> ownFolders[] = {
      {p.programFolder, "the program's own folder"},
      {p.dataFolder, "the folder of the program's quarantine and backups"}};
  for (const auto& [folder, what] : ownFolders) {
    if (folder.empty()) continue;
    raw.emplace_back(folder, what);
    raw.emplace_back(folder + "\\Quarantine", "the program's quarantine");
    raw.emplace_back(folder + "\\Backups", "the program's backups");
  }
  std::vector<std::pair<std::string, std::string>> out;
  for (auto& [path, reason] : raw)
    if (auto n = NormalizeLocalPath(path)) out.emplace_back(LowerCase(*n), std::move(reason));
  return out;
}

// The path with each part as the folder holding it names it (long names,
// their letter case), as far as the parts can be found; the rest as given.
// Whether a part is a junction or link is noted on the way: what lies
// through one belongs somewhere else.
struct DiskPath {
  std::string path;
  bool linkAbove = false;  // a folder above the last part is a link
  bool linkLast = false;   // the last part is
};

DiskPath OnDisk(platform::FileSystem& fs, const std::string& normal) {
  DiskPath out{normal.substr(0, 3)};
  for (std::size_t i = 3; i < normal.size();) {
    std::size_t end = normal.find('\\', i);
    if (end == std::string::npos) end = normal.size();
    const std::string part = normal.substr(i, end - i);
    platform::FindData d;
    // A wildcard would match some other name.
    if (part.find_first_of("*?<>\"") != std::string::npos || !fs.FindFirst(out.path + part, d) ||
        d.name.empty() || d.name == "." || d.name == "..") {
      out.path += normal.substr(i);
      return out;
    }
    const bool link = (d.attributes & platform::fileattr::kReparsePoint) != 0;
    out.path += d.name;
    if (end < normal.size()) {
      out.path += '\\';
      out.linkAbove = out.linkAbove || link;
    } else {
      out.linkLast = link;
    }
    i = end + 1;
  }
  return out;
}

}  // namespace

bool IsShellProgramName(std::string_view fileName) {
  const std::string name = LowerCase(fileName);
  return std::find(std::begin(kShellPrograms), std::end(kShellPrograms), name) !=
         std::end(kShellPrograms);
}

std::optional<std::string> NormalizeLocalPath(std::string_view input) {
  std::string p(input);
  std::replace(p.begin(), p.end(), '/', '\\');
  // "\\?\C:\..." and "\\.\C:\..." name the same path; "\\?\UNC\..." stays a network path.
  if (p.rfind("\\\\?\\", 0) == 0 || p.rfind("\\\\.\\", 0) == 0) p.erase(0, 4);
  const bool drive = p.size() >= 3 && ((p[0] >= 'a' && p[0] <= 'z') || (p[0] >= 'A' && p[0] <= 'Z')) &&
                     p[1] == ':' && p[2] == '\\';
  if (!drive) return std::nullopt;
  std::vector<std::string> parts;
  for (std::size_t i = 3; i <= p.size();) {
    std::size_t end = p.find('\\', i);
    if (end == std::string::npos) end = p.size();
    std::string part = p.substr(i, end - i);
    i = end + 1;
    // "name:stream" and "name::$INDEX_ALLOCATION" open the file or folder itself.
    if (auto colon = part.find(':'); colon != std::string::npos) part.resize(colon);
    if (part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
    if (!part.empty()) parts.push_back(std::move(part));
  }
  std::string out{platform::UpperChar(p[0]), ':', '\\'};
  for (std::size_t k = 0; k < parts.size(); ++k) out += (k ? "\\" : "") + parts[k];
  return out;
}

std::string FolderProtection(const ProtectedPlaces& places, std::string_view folder) {
  const auto normal = NormalizeLocalPath(folder);
  if (!normal) return "not a full path on a local drive";
  const std::string p = LowerCase(*normal);
  if (p.size() == 3) return "a drive's root folder";
  const auto list = PlaceList(places);
  for (const auto& [place, reason] : list)
    if (p == place) return reason;
  for (const auto& [place, reason] : list)
    if (place.size() > p.size() + 1 && place.compare(0, p.size(), p) == 0 && place[p.size()] == '\\')
      return "a folder that holds " + reason;
  const std::string parent = LowerCase(platform::ExcludeTrailingBackslash(platform::ExtractFilePath(p)));
  for (const auto& root : places.profileRoots)
    if (auto r = NormalizeLocalPath(root); r && LowerCase(*r) == parent) return "a user's profile folder";
  return {};
}

std::string FileProtection(const ProtectedPlaces& places, std::string_view file) {
  std::vector<std::string> folders{places.windowsDir};
  folders.insert(folders.end(), places.systemDirs.begin(), places.systemDirs.end());
  return IsProtectedShellProgram(folders, file) ? kShellProgramReason : "";
}

std::string FolderProtection(platform::FileSystem& fs, const ProtectedPlaces& places,
                             std::string_view folder) {
  const auto normal = NormalizeLocalPath(folder);
  if (!normal) return FolderProtection(places, folder);
  const DiskPath disk = OnDisk(fs, *normal);
  if (auto reason = FolderProtection(places, disk.path); !reason.empty()) return reason;
  if (disk.linkAbove || disk.linkLast) return "a folder reached through a junction or link";
  return {};
}

std::string FileProtection(platform::FileSystem& fs, const ProtectedPlaces& places,
                           std::string_view file) {
  const auto normal = NormalizeLocalPath(file);
  if (!normal) return FileProtection(places, file);
  if (!IsShellProgramName(platform::ExtractFileName(*normal))) return {};
  const DiskPath disk = OnDisk(fs, *normal);
  if (auto reason = FileProtection(places, disk.path); !reason.empty()) return reason;
  // Through a link it may well be the Windows folder's own.
  return disk.linkAbove ? kShellProgramReason : "";
}

std::vector<std::string> ShellProgramFolders(platform::FileSystem& fs) {
  const std::string windows = fs.WindowsDirectory();
  std::vector<std::string> folders;
  AddIf(folders, windows);
  AddIf(folders, fs.SystemDirectory());
  // The twin a 32-bit program is redirected from, or the 64-bit one it is shown.
  if (!windows.empty())
    for (const char* twin : {"\\system32", "\\SysWOW64", "\\Sysnative"}) AddIf(folders, windows + twin);
  return folders;
}

bool IsProtectedShellProgram(const std::vector<std::string>& shellFolders, std::string_view path) {
  const auto normal = NormalizeLocalPath(path);
  if (!normal) {
    // Where it lies cannot be told: a shell program's name is enough.
    std::string name = platform::ExtractFileName(path);
    if (auto colon = name.find(':'); colon != std::string::npos) name.resize(colon);
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    return IsShellProgramName(name);
  }
  if (!IsShellProgramName(platform::ExtractFileName(*normal))) return false;
  const std::string folder = LowerCase(platform::ExcludeTrailingBackslash(platform::ExtractFilePath(*normal)));
  return std::any_of(shellFolders.begin(), shellFolders.end(), [&](const std::string& f) {
    auto n = NormalizeLocalPath(f);
    return n && LowerCase(*n) == folder;
  });
}

ProtectedPlaces ReadProtectedPlaces(platform::Machine& machine) {
  auto& fs = machine.Files();
  ProtectedPlaces p;
  p.windowsDir = fs.WindowsDirectory();
  const auto shellFolders = ShellProgramFolders(fs);
  // The shell folders less the Windows folder: the system folder and its twins.
  for (const auto& f : shellFolders)
    if (f != p.windowsDir) p.systemDirs.push_back(f);
  const std::string drive = p.windowsDir.size() >= 2 && p.windowsDir[1] == ':' ? p.windowsDir.substr(0, 2) : "";
  const std::string profile = machine.Sh().SpecialFolder(platform::csidl::kProfile);
  const std::vector<std::pair<std::string, std::string>> vars = {
      {"%systemdrive%", drive}, {"%systemroot%", p.windowsDir}, {"%windir%", p.windowsDir},
      {"%userprofile%", profile}};

  auto& reg = machine.Reg();
  namespace access = platform::keyaccess;
  if (auto key = reg.Open(platform::Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                          access::kRead)) {
    for (const char* value : {"ProgramFilesDir", "ProgramFilesDir (x86)", "ProgramW6432Dir"})
      if (auto text = key->ReadString(value))
        if (auto path = Expand(*text, vars)) AddIf(p.programFiles, *path);
  }
  const std::string list = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
  if (auto key = reg.Open(platform::Hive::LocalMachine, list, access::kRead)) {
    if (auto text = key->ReadString("ProfilesDirectory"))
      if (auto path = Expand(*text, vars)) AddIf(p.profileRoots, *path);
    for (const auto& sid : key->SubkeyNames()) {
      auto user = reg.Open(platform::Hive::LocalMachine, list + "\\" + sid, access::kRead);
      if (!user) continue;
      if (auto text = user->ReadString("ProfileImagePath"))
        if (auto path = Expand(*text, vars)) AddIf(p.profiles, *path);
    }
  }
  AddIf(p.profiles, profile);
  if (!drive.empty()) {
    for (const char* name : {"\\Program Files", "\\Program Files (x86)"}) AddIf(p.programFiles, drive + name);
    for (const char* name : {"\\Documents and Settings", "\\Users"}) AddIf(p.profileRoots, drive + name);
  }
  // The folders holding the profiles the system names are profile roots too,
  // except for the system's own profiles inside the Windows folder.
  const std::string windows = LowerCase(NormalizeLocalPath(p.windowsDir).value_or("?"));
  for (const auto& user : std::vector<std::string>(p.profiles)) {
    const std::string parent = Parent(user);
    const std::string low = LowerCase(parent);
    if (parent.size() <= 3 || low == windows || low.rfind(windows + "\\", 0) == 0) continue;
    AddIf(p.profileRoots, parent);
  }
  p.programFolder = platform::ExcludeTrailingBackslash(platform::ExtractFilePath(machine.Sys().ModulePath()));
  p.dataFolder = platform::ExcludeTrailingBackslash(machine.Sys().DataFolder());
  return p;
}

}  // namespace engine
