#pragma once
// A small Windows installation in a host folder, as a mounted volume shows
// it: the Windows folder with SOFTWARE and SYSTEM, one profile folder with
// NTUSER.DAT per user, and the keys a running Windows keeps there (version,
// profiles, folders, code page, control set). Tests, the demo and the
// benchmark plant their samples into it.
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tools/hivemake/hivemake.h"

namespace hivemake {

struct InstallationSpec {
  std::string windowsFolder = "Windows";
  char drive = 'C';
  unsigned codePage = 1252;
  // "6.1" with build 7601 and "Service Pack 1" is Windows 7 SP1.
  std::string version = "6.1";
  std::string build = "7601";
  std::string servicePack = "Service Pack 1";
  bool amd64 = true;
  std::vector<std::string> users = {"Anna"};
  // Profiles below "Users" (Vista on) or "Documents and Settings" (XP).
  std::string profilesFolder = "Users";
};

class Installation {
 public:
  // Creates the folders and the hives (not yet written: Save).
  Installation(std::filesystem::path volume, InstallationSpec spec = {});

  Hive& Software() { return *software_; }
  Hive& System() { return *system_; }
  Hive& User(const std::string& name);

  // Host path of a path on the volume ("Windows\\notepad.exe").
  std::filesystem::path Host(const std::string& volumePath) const;
  // A file on the volume with the given bytes, its folders created.
  void File(const std::string& volumePath, const std::string& bytes);
  // "C:\\Users\\Anna" and the like.
  std::string ProfileFolder(const std::string& user) const;
  std::string WindowsPath(const std::string& volumePath) const;
  // Host paths of the hive files.
  std::filesystem::path SoftwarePath() const;
  std::filesystem::path SystemPath() const;
  std::filesystem::path UserPath(const std::string& name) const;

  // Writes every hive to its file.
  void Save();

  const InstallationSpec& Spec() const { return spec_; }
  const std::filesystem::path& Volume() const { return volume_; }

 private:
  std::filesystem::path volume_;
  InstallationSpec spec_;
  std::unique_ptr<Hive> software_, system_;
  std::map<std::string, std::unique_ptr<Hive>> users_;
};

}  // namespace hivemake
