#pragma once
// The offline machine's processes, services, shell, system record and
// network: what an installation that is not running has of each.
#include <unistd.h>

#include <functional>
#include <map>

#include "platform/offline/code_page.h"
#include "platform/offline/errors.h"
#include "platform/offline/offline_files.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/shell.h"
#include "platform/system.h"
#include "platform/net.h"

namespace platform::offline {

// Nothing runs.
class NoProcesses final : public Processes {
 public:
  std::vector<ProcessEntry> Snapshot() override { return {}; }
  std::vector<std::uint32_t> EnumerateIds() override { return {}; }
  std::optional<std::string> MainModulePath(std::uint32_t) override { return std::nullopt; }
  Status Terminate(std::uint32_t, std::uint32_t) override { return kInvalidParameter; }
  std::uint32_t CurrentPid() override { return static_cast<std::uint32_t>(::getpid()); }
};

// The rescue does not use the network.
class NoNetwork final : public Network {
 public:
  Status HttpTransfer(const HttpRequest&, const HttpSink&, const std::atomic<bool>&) override {
    return neterr::kCannotConnect;
  }
  std::unique_ptr<FtpSession> FtpLogin(const FtpServer&, Status* error) override {
    if (error) *error = neterr::kCannotConnect;
    return nullptr;
  }
};

// The version record from the hives, the running program's host path, the
// current profile's name and the installation's code page.
class OfflineSystem final : public SystemInfo {
 public:
  std::optional<OsVersion> Version() override { return version; }
  std::uint16_t NativeArchitecture() override { return architecture; }
  std::string ModulePath() override { return modulePath; }
  std::string UserName() override { return userName; }
  std::string DataFolder() override { return dataFolder; }
  std::string TextToUtf8(std::string_view text) override { return codePage->ToReportUtf8(text); }

  std::optional<OsVersion> version;
  std::uint16_t architecture = arch::kIntel;
  std::string modulePath;
  std::string userName;
  std::string dataFolder;
  const CodePage* codePage = nullptr;
};

// Folders from the hives, shortcuts through liblnk; nothing is opened.
class OfflineShell final : public Shell {
 public:
  explicit OfflineShell(OfflineFileSystem& files) : files_(files) {}
  Status Execute(std::string_view, std::string_view, std::string_view, std::string_view,
                 int) override {
    return kNotSupported;
  }
  Status ShowProperties(std::string_view) override { return kNotSupported; }
  std::string SpecialFolder(int csidl) override;
  std::optional<std::string> ShortcutTarget(std::string_view linkPath) override;
  Status CreateShortcut(std::string_view linkPath, std::string_view target) override;
  bool HasIcon(std::string_view file) override;

  std::map<int, std::string> folders;  // the current profile's, by CSIDL
  const CodePage* codePage = nullptr;

 private:
  OfflineFileSystem& files_;
};

// Services from SYSTEM's Services key of the current control set: all of
// them stopped; the start type is a value there and can be changed; start,
// stop and delete are refused (kNotSupported), and `refused` hears of each.
class OfflineServices final : public Services {
 public:
  explicit OfflineServices(Registry& registry) : registry_(registry) {}
  std::unique_ptr<ServiceManager> OpenManager(std::string_view machine, std::uint32_t access,
                                              Status* error = nullptr) override;
  // Version resources are not read from the volume.
  std::optional<VersionStrings> FileVersionStrings(std::string_view) override { return std::nullopt; }

  std::function<void(const std::string& keyName)> refused;
  // Display and key names, read at the first lookup (no service is added
  // or removed offline).
  std::optional<std::vector<std::pair<std::string, std::string>>> names_;

 private:
  Registry& registry_;
};

}  // namespace platform::offline
