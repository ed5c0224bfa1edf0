#pragma once
// A simulated Windows machine for tests and demos: drive letters mapped onto
// host folders with Windows path rules, an in-memory registry, a process table,
// a version record and a shell that records what it was asked to open. It
// reproduces the failures real Windows gives (access denied on machine-wide
// keys for a normal user, files held by running programs, processes that
// cannot be opened).
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/machine.h"

struct stat;

namespace platform::sim {

class SimMachine;

class SimRegistry final : public Registry {
 public:
  struct Node;
  SimRegistry();
  ~SimRegistry() override;
  std::unique_ptr<RegistryKey> Open(Hive hive, std::string_view path, std::uint32_t access,
                                    Status* error = nullptr) override;
  std::unique_ptr<RegistryKey> Create(Hive hive, std::string_view path, std::uint32_t access,
                                      Status* error = nullptr) override;
  Status DeleteKey(Hive hive, std::string_view path) override;

  // A normal user may read but not change machine-wide keys.
  void SetUserIsAdmin(bool admin) { admin_ = admin; }
  // Makes one key refuse every open, as a key with a restrictive ACL does.
  void DenyKey(Hive hive, std::string_view path);
  // A full registry: every value written from now on fails.
  void FailValueWrites(bool on) { *full_ = on; }

 private:
  std::shared_ptr<Node> Find(Hive hive, std::string_view path, bool create, Status* error);
  bool Writes(std::uint32_t access) const;
  std::recursive_mutex mutex_;
  std::map<Hive, std::shared_ptr<Node>> roots_;
  std::set<std::string> denied_;
  bool admin_ = true;
  std::shared_ptr<bool> full_ = std::make_shared<bool>(false);
};

struct SimProcess {
  std::uint32_t pid = 0;
  std::uint32_t parentPid = 0;
  std::string imagePath;     // full path of the main module
  std::string snapshotName;  // what Tool Help records
  bool canOpen = true;       // query and memory read
  bool canTerminate = true;
};

class SimProcesses final : public Processes {
 public:
  std::vector<ProcessEntry> Snapshot() override;
  std::vector<std::uint32_t> EnumerateIds() override;
  std::optional<std::string> MainModulePath(std::uint32_t pid) override;
  Status Terminate(std::uint32_t pid, std::uint32_t exitCode) override;
  std::uint32_t CurrentPid() override { return currentPid_; }

  // Starts a program: adds it to the table and returns its identifier.
  std::uint32_t Start(std::string_view imagePath);
  SimProcess* Get(std::uint32_t pid);
  // Adds the two pseudo-processes real Windows lists first.
  void AddSystemProcesses();
  void SetCurrentPid(std::uint32_t pid) { currentPid_ = pid; }
  bool IsRunningImage(std::string_view path);
  struct Terminated {
    std::uint32_t pid;
    std::string imagePath;
    std::uint32_t exitCode;
  };
  const std::vector<Terminated>& TerminatedLog() const { return terminated_; }

 private:
  std::recursive_mutex mutex_;
  std::vector<SimProcess> table_;
  std::vector<Terminated> terminated_;
  std::uint32_t nextPid_ = 1000;
  std::uint32_t currentPid_ = 0;
};

// Safe to call from several threads at once, as the real file system is
// (each open file and search by one thread at a time).
class SimFileSystem final : public FileSystem {
 public:
  explicit SimFileSystem(SimProcesses& processes) : processes_(processes) {}

  std::unique_ptr<FindHandle> FindFirst(std::string_view pattern, FindData& first,
                                        Status* error = nullptr) override;
  std::unique_ptr<File> Open(std::string_view path, OpenMode mode, Status* error = nullptr) override;
  std::unique_ptr<MappedView> MapReadOnly(std::string_view path, Status* error = nullptr) override;
  Status CopyFile(std::string_view from, std::string_view to, bool failIfExists) override;
  Status MoveFile(std::string_view from, std::string_view to) override;
  Status ReplaceFile(std::string_view from, std::string_view to) override;
  Status DeleteFile(std::string_view path) override;
  std::uint32_t GetAttributes(std::string_view path) override;
  Status SetAttributes(std::string_view path, std::uint32_t attributes) override;
  Status SetLastWriteTime(std::string_view path, FileTime time) override;
  Status CreateDirectory(std::string_view path) override;
  Status RemoveDirectory(std::string_view path) override;
  std::string WindowsDirectory() override { return windowsDir_; }
  std::string SystemDirectory() override { return systemDir_; }
  std::string TempPath() override { return tempPath_; }
  std::vector<std::string> LogicalDrives() override;
  std::uint32_t DriveType(std::string_view root) override;

  // Drive letter onto a host folder (created if missing).
  void MapDrive(char letter, const std::filesystem::path& hostRoot);
  void SetWindowsDirectory(std::string dir) { windowsDir_ = std::move(dir); }
  void SetSystemDirectory(std::string dir) { systemDir_ = std::move(dir); }
  void SetTempPath(std::string dir) { tempPath_ = std::move(dir); }
  // Mapped drives are fixed disks unless given another type here.
  void SetDriveType(char letter, std::uint32_t type) {
    std::unique_lock lock(mutex_);
    driveTypes_[UpperDrive(letter)] = type;
  }
  // A file opened by another program without sharing: opening it for writing
  // and deleting it fail with a sharing violation.
  void Lock(std::string_view path) {
    const std::string key = Key(path);
    std::unique_lock lock(mutex_);
    locked_.insert(key);
  }
  void Unlock(std::string_view path) {
    const std::string key = Key(path);
    std::unique_lock lock(mutex_);
    locked_.erase(key);
  }
  // A full disk: every file opened for writing whose path starts with the
  // given path (a file or a whole folder) takes only `afterBytes` bytes, then
  // each write fails with ERROR_DISK_FULL.
  void FailWrites(std::string_view pathPrefix, std::uint64_t afterBytes = 0) {
    const std::string key = Key(pathPrefix);
    std::unique_lock lock(mutex_);
    failWrites_[key] = afterBytes;
  }
  void ClearWriteFailures() {
    std::unique_lock lock(mutex_);
    failWrites_.clear();
  }
  // A failing disk: every file opened for reading whose path starts with the
  // given path gives only `afterBytes` bytes, then each read returns nothing.
  void FailReads(std::string_view pathPrefix, std::uint64_t afterBytes = 0) {
    const std::string key = Key(pathPrefix);
    std::unique_lock lock(mutex_);
    failReads_[key] = afterBytes;
  }
  // A folder the user may read but not change (an ACL without write rights):
  // creating, writing, replacing, renaming and deleting anything in it fail
  // with access denied.
  void DenyChanges(std::string_view folder) {
    const std::string key = Key(folder);
    std::unique_lock lock(mutex_);
    denied_.insert(key);
  }

  // Host path of a Windows path; empty when its drive is not mapped. Names
  // are matched without regard to case against what exists: one lstat when
  // the name is written as it exists, otherwise a listing of its folder,
  // kept while the folder is unchanged (and once it is settled, asked first:
  // a missing name costs one look at the folder).
  std::filesystem::path HostPath(std::string_view winPath);
  // Normalised absolute Windows path ("C:\a\b"), empty when malformed.
  static std::string Normalize(std::string_view winPath);

 private:
  std::string Key(std::string_view path) { return LowerCaseKey(Normalize(path)); }
  // What HostPath learnt on the way: the entry exists, or its folder exists
  // without it.
  enum class Found { Unknown, Exists, MissingInFolder };
  // The host path of a normalised path; st (when given) holds the entry's
  // lstat when found is Exists.
  std::string HostOf(const std::string& norm, Found* found, struct stat* st);
  // What a host folder's listing says of a name (letter case ignored);
  // settledOnly asks only a listing that settled before, and looks at
  // nothing when there is none.
  enum class NameAnswer { Unknown, NoFolder, Absent, Present };
  // The folder's text must be followed by a NUL.
  NameAnswer LookUpName(std::string_view folder, std::string_view name, bool settledOnly,
                        std::string& real);
  struct FolderStamp {
    std::int64_t mtime = INT64_MIN;  // nanoseconds
    std::uint64_t dev = 0, ino = 0;
    bool operator==(const FolderStamp&) const = default;
  };
  // Whether a folder last changed so long ago that any change from now on
  // gives it another stamp.
  static bool Settled(const FolderStamp& stamp);
  static std::string LowerCaseKey(std::string_view s);
  std::uint32_t StoredAttributes(const std::string& key);
  bool IsLocked(const std::string& key);
  bool InDeniedFolder(const std::string& key);
  std::uint64_t FailureLimit(const std::map<std::string, std::uint64_t>& failures,
                             const std::string& key);

  SimProcesses& processes_;
  static char UpperDrive(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
  std::shared_mutex mutex_;  // guards the maps below, not the names
  std::map<char, std::filesystem::path> drives_;
  std::map<char, std::uint32_t> driveTypes_;
  std::map<std::string, std::uint32_t> attributes_;  // by lower-case path
  std::set<std::string> locked_;
  std::set<std::string> denied_;  // folders, by lower-case path
  std::map<std::string, std::uint64_t> failWrites_;  // by lower-case path prefix
  std::map<std::string, std::uint64_t> failReads_;   // by lower-case path prefix
  // Names of host folders by lower case, kept while the folder is unchanged.
  struct FolderNames {
    FolderStamp stamp;
    bool settled = false;
    std::unordered_map<std::string, std::string> byLowerName;
  };
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::mutex namesMutex_;
  std::unordered_map<std::string, FolderNames, TextHash, std::equal_to<>> folderNames_;
  std::string lowerName_;  // under namesMutex_
  std::string windowsDir_ = "C:\\WINDOWS";
  std::string systemDir_ = "C:\\WINDOWS\\system32";
  std::string tempPath_ = "C:\\TEMP\\";
};

class SimSystem final : public SystemInfo {
 public:
  SimSystem();
  std::optional<OsVersion> Version() override { return version_; }
  std::uint16_t NativeArchitecture() override { return arch_; }
  std::string ModulePath() override { return modulePath_; }
  std::string UserName() override { return userName_; }

  void SetVersion(std::optional<OsVersion> v) { version_ = std::move(v); }
  void SetNativeArchitecture(std::uint16_t a) { arch_ = a; }
  void SetModulePath(std::string p) { modulePath_ = std::move(p); }
  void SetUserName(std::string n) { userName_ = std::move(n); }

  static OsVersion WindowsXpSp3();

 private:
  std::optional<OsVersion> version_;
  std::uint16_t arch_ = arch::kIntel;
  std::string modulePath_ = "C:\\Program Files\\Klaruvex Pro\\klaruvex.exe";
  std::string userName_ = "User";
};

// Special folders of a Windows XP profile for the user "User"; shortcuts are
// small files in the simulation's own link format.
class SimShell final : public Shell {
 public:
  explicit SimShell(SimFileSystem& files);
  struct Call {
    std::string verb, file, params, directory;
    int show;
  };
  Status Execute(std::string_view verb, std::string_view file, std::string_view params,
                 std::string_view directory, int show) override;
  Status ShowProperties(std::string_view file) override;
  std::string SpecialFolder(int csidl) override;
  std::optional<std::string> ShortcutTarget(std::string_view linkPath) override;
  Status CreateShortcut(std::string_view linkPath, std::string_view target) override;
  bool HasIcon(std::string_view file) override;

  const std::vector<Call>& Calls() const { return calls_; }
  void FailWith(Status s) { fail_ = s; }
  // An empty path makes the lookup of that folder fail.
  void SetSpecialFolder(int csidl, std::string path) { folders_[csidl] = std::move(path); }

 private:
  SimFileSystem& files_;
  std::vector<Call> calls_;
  std::map<int, std::string> folders_;
  Status fail_ = kOk;
};

// One service of the simulated service control manager, with the ways real
// services misbehave.
struct SimService {
  std::string keyName;
  std::string displayName;
  std::string binaryPath;
  std::uint32_t type = svc::kOwnProcess;
  std::uint32_t startType = svc::kDemandStart;
  std::uint32_t state = svc::kStopped;
  std::uint32_t checkPoint = 0;
  std::uint32_t waitHint = 0;
  // A start or stop is still pending at this many status queries, its check
  // point rising by one each time; -1: pending for ever, check point fixed.
  int pendingQueries = 0;
  bool checkPointGoesBack = false;  // while pending the check point rises once, then falls
  // A pending start or stop ends in this state instead of the one asked for
  // (a program that crashes while it starts); 0 for none.
  std::uint32_t endsAs = 0;
  // While pending the check point stays 0: a service that reports no progress.
  bool checkPointStays = false;
  Status startError = kOk;          // StartService fails with this
  Status stopError = kOk;           // ControlService fails with this
  Status openError = kOk;           // OpenService fails with this
  Status configSizeError = svc::kInsufficientBuffer;  // the size probe's answer
  Status configError = kOk;         // the configuration read fails with this
  Status statusError = kOk;         // status queries fail with this
  // Pending work.
  std::uint32_t target = 0;
  int remaining = 0;
};

class SimServiceManager;
class SimServiceHandle;

class SimServices final : public Services {
 public:
  std::unique_ptr<ServiceManager> OpenManager(std::string_view machine, std::uint32_t access,
                                              Status* error = nullptr) override;
  std::optional<VersionStrings> FileVersionStrings(std::string_view path) override;

  SimService& Add(SimService s);
  SimService* Get(std::string_view keyName);
  // A normal user connects, enumerates and queries, but may not change.
  void SetUserIsAdmin(bool admin) { admin_ = admin; }
  bool UserIsAdmin() const { return admin_; }
  // The version resource of a file; a file without one has no entry.
  void SetVersionStrings(std::string_view path, VersionStrings strings);
  // Calls made through the manager, "Start key", "Stop key", "Config key 3".
  const std::vector<std::string>& Log() const { return log_; }


 private:
  friend class SimServiceManager;
  friend class SimServiceHandle;
  std::shared_ptr<SimService> Find(std::string_view keyName);
  std::recursive_mutex mutex_;
  std::vector<std::shared_ptr<SimService>> table_;
  std::map<std::string, VersionStrings> versions_;  // by lower-case path
  std::vector<std::string> log_;
  bool admin_ = true;
};

// The host's real network (loopback servers in tests).
class SimNetwork final : public Network {
 public:
  Status HttpTransfer(const HttpRequest& request, const HttpSink& sink,
                      const std::atomic<bool>& stop) override;
  std::unique_ptr<FtpSession> FtpLogin(const FtpServer& server, Status* error) override;
};

class SimMachine final : public Machine {
 public:
  SimMachine() : files_(procs_), shell_(files_) {}
  Registry& Reg() override { return reg_; }
  FileSystem& Files() override { return files_; }
  Processes& Procs() override { return procs_; }
  SystemInfo& Sys() override { return sys_; }
  Shell& Sh() override { return shell_; }
  Services& Svc() override { return services_; }
  Network& Net() override { return net_; }

  SimRegistry& SimReg() { return reg_; }
  SimFileSystem& SimFiles() { return files_; }
  SimProcesses& SimProcs() { return procs_; }
  SimSystem& SimSys() { return sys_; }
  SimShell& SimSh() { return shell_; }
  SimServices& SimSvc() { return services_; }

 private:
  SimRegistry reg_;
  SimProcesses procs_;
  SimFileSystem files_;
  SimSystem sys_;
  SimShell shell_;
  SimServices services_;
  SimNetwork net_;
};

}  // namespace platform::sim
