#include "platform/offline/offline_parts.h"

#include "platform/offline/shell_link.h"
#include "platform/text.h"

namespace platform::offline {

std::string OfflineShell::SpecialFolder(int csidl) {
  auto it = folders.find(csidl);
  return it == folders.end() ? std::string() : it->second;
}

std::optional<std::string> OfflineShell::ShortcutTarget(std::string_view linkPath) {
  std::string bytes;
  if (ReadWholeFile(files_, linkPath, bytes, kLargestShellLink) != kOk) return std::nullopt;
  return ShellLinkTarget(bytes, *codePage);
}

Status OfflineShell::CreateShortcut(std::string_view linkPath, std::string_view target) {
  return WriteFileReplacing(files_, linkPath, MakeShellLink(target, *codePage));
}

bool OfflineShell::HasIcon(std::string_view file) {
  const std::string ext = LowerCase(ExtractFileExt(file));
  return FileExists(files_, file) &&
         (ext == ".exe" || ext == ".dll" || ext == ".ico" || ext == ".cpl" || ext == ".scr");
}

namespace {

constexpr const char* kServicesKey = "SYSTEM\\CurrentControlSet\\Services";
// ENUM_SERVICE_STATUSA of the 32-bit program; its texts share the buffer.
constexpr std::uint32_t kEnumRecordBytes = 36;

struct ServiceInfo {
  std::string keyName;
  std::string displayName;
  ServiceConfig config;
};

std::optional<ServiceInfo> ReadService(Registry& registry, const std::string& keyName) {
  auto key = registry.Open(Hive::LocalMachine, std::string(kServicesKey) + "\\" + keyName,
                           keyaccess::kRead);
  if (!key) return std::nullopt;
  auto type = key->ReadDword("Type");
  if (!type) return std::nullopt;  // a key of settings, not a service
  ServiceInfo s;
  s.keyName = keyName;
  // A display name kept in a resource ("@file,-id") cannot be read offline.
  auto display = key->ReadString("DisplayName");
  s.displayName = display && !display->empty() && (*display)[0] != '@' ? *display : keyName;
  s.config.serviceType = *type;
  s.config.startType = key->ReadDword("Start").value_or(svc::kDemandStart);
  s.config.errorControl = key->ReadDword("ErrorControl").value_or(1);
  s.config.binaryPathName = key->ReadString("ImagePath").value_or("");
  s.config.loadOrderGroup = key->ReadString("Group").value_or("");
  s.config.serviceStartName = key->ReadString("ObjectName").value_or("");
  s.config.displayName = s.displayName;
  return s;
}

std::uint32_t ConfigBytes(const ServiceConfig& c) {
  return static_cast<std::uint32_t>(36 + c.binaryPathName.size() + 1 + c.loadOrderGroup.size() + 1 +
                                    1 + c.serviceStartName.size() + 1 + c.displayName.size() + 1);
}

class OfflineServiceHandle final : public ServiceHandle {
 public:
  OfflineServiceHandle(OfflineServices& owner, Registry& registry, ServiceInfo s,
                       std::uint32_t access)
      : owner_(owner), registry_(registry), s_(std::move(s)), access_(access) {}

  Status QueryStatus(ServiceStatus& out) override {
    if (!(access_ & svc::kQueryStatus)) return kAccessDenied;
    out = {};
    out.serviceType = s_.config.serviceType;
    out.currentState = svc::kStopped;
    return kOk;
  }
  Status QueryConfigSize(std::uint32_t& bytesNeeded) override {
    if (!(access_ & svc::kQueryConfig)) return kAccessDenied;
    bytesNeeded = ConfigBytes(s_.config);
    return svc::kInsufficientBuffer;
  }
  Status QueryConfig(std::uint32_t bufferBytes, ServiceConfig& out) override {
    if (!(access_ & svc::kQueryConfig)) return kAccessDenied;
    if (bufferBytes < ConfigBytes(s_.config)) return svc::kInsufficientBuffer;
    out = s_.config;
    return kOk;
  }
  Status Start() override { return Refuse(svc::kStart); }
  Status Control(std::uint32_t, ServiceStatus&) override { return Refuse(svc::kStop); }
  Status ChangeStartType(std::uint32_t startType) override {
    if (!(access_ & svc::kChangeConfig)) return kAccessDenied;
    if (startType > svc::kDisabled) return kInvalidParameter;
    Status err = kOk;
    auto key = registry_.Open(Hive::LocalMachine, std::string(kServicesKey) + "\\" + s_.keyName,
                              keyaccess::kAllAccess, &err);
    if (!key) return err;
    const Status s = key->WriteDword("Start", startType);
    if (s == kOk) s_.config.startType = startType;
    return s;
  }
  Status Delete() override { return Refuse(svc::kDelete); }

 private:
  Status Refuse(std::uint32_t needed) {
    if (!(access_ & needed)) return kAccessDenied;
    if (owner_.refused) owner_.refused(s_.keyName);
    return kNotSupported;
  }
  OfflineServices& owner_;
  Registry& registry_;
  ServiceInfo s_;
  std::uint32_t access_;
};

class OfflineServiceManager final : public ServiceManager {
 public:
  OfflineServiceManager(OfflineServices& owner, Registry& registry) : owner_(owner), registry_(registry) {}

  std::vector<ServiceEntry> Enumerate(std::uint32_t typeMask, std::uint32_t stateMask,
                                      std::uint32_t bufferBytes, Status* error) override {
    std::vector<ServiceEntry> out;
    if (error) *error = kOk;
    if (!(stateMask & svc::kStateInactive)) return out;  // nothing is running
    std::uint32_t used = 0;
    for (const auto& s : All()) {
      if (!(s.config.serviceType & typeMask)) continue;
      const auto bytes =
          static_cast<std::uint32_t>(kEnumRecordBytes + s.keyName.size() + 1 + s.displayName.size() + 1);
      if (used + bytes > bufferBytes) {
        if (error) *error = kMoreData;
        return out;
      }
      used += bytes;
      ServiceEntry e;
      e.keyName = s.keyName;
      e.displayName = s.displayName;
      e.status.serviceType = s.config.serviceType;
      e.status.currentState = svc::kStopped;
      out.push_back(std::move(e));
    }
    return out;
  }
  std::unique_ptr<ServiceHandle> OpenService(std::string_view keyName, std::uint32_t access,
                                             Status* error) override {
    // The service as its key is spelt, whatever the letter case asked for.
    std::string name(keyName);
    for (const auto& [display, key] : Names())
      if (SameText(key, keyName)) name = key;
    auto s = ReadService(registry_, name);
    if (!s) {
      if (error) *error = svc::kServiceDoesNotExist;
      return nullptr;
    }
    if (error) *error = kOk;
    return std::make_unique<OfflineServiceHandle>(owner_, registry_, std::move(*s), access);
  }
  Status KeyName(std::string_view displayName, std::uint32_t bufferChars,
                 std::string& keyName) override {
    for (const auto& [display, key] : Names()) {
      if (!SameText(display, displayName)) continue;
      if (key.size() + 1 > bufferChars) return svc::kInsufficientBuffer;
      keyName = key;
      return kOk;
    }
    return svc::kServiceDoesNotExist;
  }
  std::unique_ptr<ServiceHandle> CreateService(std::string_view, std::string_view, std::string_view,
                                               std::uint32_t, Status* error) override {
    if (error) *error = kNotSupported;
    return nullptr;
  }

 private:
  // Asked once per listed service: the names are read once.
  const std::vector<std::pair<std::string, std::string>>& Names() {
    if (!owner_.names_) {
      owner_.names_.emplace();
      for (const auto& s : All()) owner_.names_->emplace_back(s.displayName, s.keyName);
    }
    return *owner_.names_;
  }
  std::vector<ServiceInfo> All() {
    std::vector<ServiceInfo> out;
    auto key = registry_.Open(Hive::LocalMachine, kServicesKey, keyaccess::kRead);
    if (!key) return out;
    for (const auto& name : key->SubkeyNames())
      if (auto s = ReadService(registry_, name)) out.push_back(std::move(*s));
    return out;
  }
  OfflineServices& owner_;
  Registry& registry_;
};

}  // namespace

std::unique_ptr<ServiceManager> OfflineServices::OpenManager(std::string_view machine,
                                                             std::uint32_t, Status* error) {
  if (!machine.empty()) {
    if (error) *error = 1722;  // RPC_S_SERVER_UNAVAILABLE
    return nullptr;
  }
  if (error) *error = kOk;
  return std::make_unique<OfflineServiceManager>(*this, registry_);
}

}  // namespace platform::offline
