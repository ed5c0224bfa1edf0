#pragma once
// The places no rule may remove: drive roots, the Windows and system
// folders, Program Files, the user profiles, the program's own folder, and
// the programs Windows runs on. A wrong or hostile rule in a downloaded
// database must never cost the user a working Windows, so every scan, Fix and
// the Report Manager ask here before they act.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/machine.h"

namespace engine {

// The folders of one machine, as its platform names them.
struct ProtectedPlaces {
  std::string windowsDir;
  std::vector<std::string> systemDirs;    // the system folder and its 64-bit or 32-bit twin
  std::vector<std::string> programFiles;  // every Program Files folder
  std::vector<std::string> profileRoots;  // "Documents and Settings", "Users"
  std::vector<std::string> profiles;      // the profile folders the system names
  std::string programFolder;              // the running program's, without its backslash
  std::string dataFolder;                 // its quarantine's and backups' when not there
};

// Read from the file system (Windows and system folders), the registry
// (Program Files, the profile list) and the shell (the user's profile), with
// the standard names on the Windows drive added, so a value that is missing
// or changed protects no less.
ProtectedPlaces ReadProtectedPlaces(platform::Machine& machine);

// explorer.exe, winlogon.exe, userinit.exe, csrss.exe, smss.exe, lsass.exe,
// services.exe and svchost.exe, letter case aside.
bool IsShellProgramName(std::string_view fileName);

// A full local path as Windows resolves it, without touching the disk: "/"
// is "\", repeated separators count once, "." and ".." parts are resolved,
// trailing dots and blanks of each part dropped and a "\\?\" or "\\.\"
// prefix taken off. "C:\" for a drive root, no closing backslash otherwise.
// nullopt for anything else: a network path, a relative one ("C:foo",
// "temp\x"), a device.
std::optional<std::string> NormalizeLocalPath(std::string_view path);

// Why no rule may remove the folder, and the scans may not walk it; empty
// when one may. Besides the places themselves a folder that holds one of
// them, any direct child of a profile root and anything that is not a full
// local path are protected.
std::string FolderProtection(const ProtectedPlaces& places, std::string_view folder);
// Why the file must stay: a shell program in the Windows or system folder
// (or one whose folder cannot be told); empty otherwise.
std::string FileProtection(const ProtectedPlaces& places, std::string_view file);

// The same for paths on this machine: short (8.3) names and letter case are
// first resolved to the names the folders hold, and a folder that is a
// junction or link is protected (its contents belong elsewhere).
std::string FolderProtection(platform::FileSystem& fs, const ProtectedPlaces& places,
                             std::string_view folder);
std::string FileProtection(platform::FileSystem& fs, const ProtectedPlaces& places,
                           std::string_view file);

// The Windows folder and the system folders, where the shell programs live.
std::vector<std::string> ShellProgramFolders(platform::FileSystem& fs);
// Whether the path is a shell program in one of those folders.
bool IsProtectedShellProgram(const std::vector<std::string>& shellFolders, std::string_view path);

}  // namespace engine
