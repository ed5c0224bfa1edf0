#pragma once
// The offline machine: a Windows installation that is not running, seen from
// Linux. Its volume is a mounted folder, shown under the drive letter of the
// installation's SystemRoot with Windows' name rules; its registry is the
// installation's hive files, read and changed through hivex; its folders,
// version and services come from those hives. Nothing of it runs: the process
// list is empty, services neither start nor stop, the shell opens nothing.
// Links and junctions on the volume are never followed.
//
// Besides the volume, the program's own files on the host are reachable
// under their host paths ("/opt/kvx/files.dat"): the program's folder and
// the files named to it; no other host path is.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/machine.h"
#include "platform/offline/code_page.h"
#include "platform/offline/errors.h"

namespace platform::offline {

class HiveFile;
class OfflineFileSystem;
class OfflineRegistry;
class OfflineServices;
class OfflineShell;
class OfflineSystem;
class NoNetwork;
class NoProcesses;

// One user profile of the installation (SOFTWARE's ProfileList).
struct Profile {
  std::string name;    // the profile folder's name, as the user name
  std::string sid;
  std::string folder;  // Windows path of the profile folder
};

struct OfflineOptions {
  std::string volume;       // host folder where the Windows volume is mounted
  std::string programPath;  // host path of the running program
  // Hives opened for changes, and the volume changed (a fix); otherwise
  // nothing on the volume is written.
  bool writable = false;
  // Host files the program may read and write besides its own folder (the
  // database, report and log named on its command line), with their
  // replacement names.
  std::vector<std::string> hostFiles;
  // Only this profile's hive is opened ("" for every profile).
  std::string user;
  // The folder at the volume's root where the program keeps its quarantine
  // and backups (no rule may remove it); empty: none.
  std::string dataFolderName;
};

class OfflineMachine final : public Machine {
 public:
  // Why Open failed.
  enum class Failure { None, NotWindows, NoSuchUser, BadHive, Volume };

  // Null with *error (a sentence for the user) when the folder is not a
  // Windows installation or one of its hives cannot be opened.
  static std::unique_ptr<OfflineMachine> Open(const OfflineOptions& options, std::string* error,
                                              Failure* failure = nullptr);
  ~OfflineMachine() override;

  Registry& Reg() override;
  FileSystem& Files() override;
  Processes& Procs() override;
  SystemInfo& Sys() override;
  Shell& Sh() override;
  Services& Svc() override;
  Network& Net() override;

  const std::vector<Profile>& Profiles() const { return profiles_; }
  // Makes a profile the current user: HKEY_CURRENT_USER, the user's folders
  // and name. False when no profile has that name.
  bool SelectProfile(const std::string& name);
  const Profile* CurrentProfile() const;

  const CodePage& Text() const { return *codePage_; }
  // One more host file the program may write (a log named after a profile).
  void AllowHostFile(const std::string& hostPath);
  // The drive letter of the volume and the Windows folder.
  char Drive() const { return drive_; }
  // Sentences for the user about how the installation is read (a dirty
  // hive, a code page that is not a single-byte one, ...).
  const std::vector<std::string>& Warnings() const { return warnings_; }
  // The hives that were not closed cleanly (their labels).
  std::vector<std::string> DirtyHives() const;
  // Labels and Windows paths of every open hive, and whether it changed.
  struct HiveState {
    std::string label;
    std::string path;  // on the volume
    bool changed = false;
  };
  std::vector<HiveState> Hives() const;
  // Writes every changed hive to a new file beside it and, only when all of
  // them were written and `keep` (when given) kept each original, renames
  // each over its original. kOk and no change when nothing changed;
  // otherwise nothing is renamed and *error says what failed.
  using KeepHive = std::function<bool(const std::string& hivePath, const std::string& newFile,
                                      std::string* error)>;
  Status CommitHives(std::string* error, const KeepHive& keep = {});
  // Where a registry value lives for good (OfflineRegistry::PlaceOf): what
  // the undo journal records, so that a backup made for one profile goes
  // back into that profile's hive.
  void ValuePlace(Hive& hive, std::string& key, std::string_view name);

 private:
  OfflineMachine();
  struct OpenHive;
  bool Load(const OfflineOptions& options, std::string* error, Failure* failure);
  std::unique_ptr<HiveFile> OpenHiveFile(const std::string& winPath, const std::string& label,
                                         bool writable, std::string* error);
  void ReadProfiles(const std::string& onlyUser);
  // A hive's file was replaced on the volume (by an undo): read it again.
  void HiveReplaced(const std::string& key);
  void ReadFolders();

  std::unique_ptr<CodePage> codePage_;
  char drive_ = 'C';
  std::vector<Profile> profiles_;
  int current_ = -1;
  std::vector<std::string> warnings_;
  std::vector<OpenHive> hives_;

  std::unique_ptr<OfflineFileSystem> files_;
  std::unique_ptr<OfflineRegistry> registry_;
  std::unique_ptr<NoProcesses> processes_;
  std::unique_ptr<OfflineSystem> system_;
  std::unique_ptr<OfflineShell> shell_;
  std::unique_ptr<OfflineServices> services_;
  std::unique_ptr<NoNetwork> network_;
};

}  // namespace platform::offline
