#include <algorithm>

#include "platform/sim/sim_machine.h"
#include "platform/text.h"

namespace platform::sim {
namespace {

// What a user without administrator rights is granted.
constexpr std::uint32_t kUserManagerAccess = 0x20015;  // connect, enumerate, lock status, read
constexpr std::uint32_t kUserServiceAccess = 0x2018D;  // queries, dependents, interrogate, read

// ENUM_SERVICE_STATUSA of the 32-bit program; its texts share the buffer.
constexpr std::uint32_t kEnumRecordBytes = 36;

std::uint32_t ConfigBytes(const SimService& s) {
  return static_cast<std::uint32_t>(36 + s.binaryPath.size() + 1 + 1 + 1 + 12 + 1 +
                                    s.displayName.size() + 1);
}

}  // namespace

class SimServiceHandle final : public ServiceHandle {
 public:
  SimServiceHandle(SimServices& owner, std::shared_ptr<SimService> s, std::uint32_t access)
      : owner_(owner), s_(std::move(s)), access_(access) {}

  Status QueryStatus(ServiceStatus& out) override {
    std::lock_guard lock(owner_.mutex_);
    if (!(access_ & svc::kQueryStatus)) return kAccessDenied;
    if (s_->statusError != kOk) return s_->statusError;
    Advance();
    out = Current();
    return kOk;
  }

  Status QueryConfigSize(std::uint32_t& bytesNeeded) override {
    std::lock_guard lock(owner_.mutex_);
    if (!(access_ & svc::kQueryConfig)) return kAccessDenied;
    bytesNeeded = ConfigBytes(*s_);
    return s_->configSizeError;
  }

  Status QueryConfig(std::uint32_t bufferBytes, ServiceConfig& out) override {
    std::lock_guard lock(owner_.mutex_);
    if (!(access_ & svc::kQueryConfig)) return kAccessDenied;
    if (s_->configError != kOk) return s_->configError;
    if (bufferBytes < ConfigBytes(*s_)) return svc::kInsufficientBuffer;
    out = {};
    out.serviceType = s_->type;
    out.startType = s_->startType;
    out.errorControl = 1;
    out.binaryPathName = s_->binaryPath;
    out.serviceStartName = "LocalSystem";
    out.displayName = s_->displayName;
    return kOk;
  }

  Status Start() override {
    std::lock_guard lock(owner_.mutex_);
    if (!(access_ & svc::kStart)) return kAccessDenied;
    owner_.log_.push_back("Start " + s_->keyName);
    if (s_->state != svc::kStopped) return svc::kServiceAlreadyRunning;
    if (s_->startType == svc::kDisabled) return svc::kServiceDisabled;
    if (s_->startError != kOk) return s_->startError;
    Begin(svc::kStartPending, svc::kRunning);
    return kOk;
  }

  Status Control(std::uint32_t control, ServiceStatus& status) override {
    std::lock_guard lock(owner_.mutex_);
    if (control != svc::kControlStop) return kInvalidParameter;
    if (!(access_ & svc::kStop)) return kAccessDenied;
    owner_.log_.push_back("Stop " + s_->keyName);
    if (s_->state == svc::kStopped) return svc::kServiceNotActive;
    if (s_->stopError != kOk) return s_->stopError;
    Begin(svc::kStopPending, svc::kStopped);
    status = Current();
    return kOk;
  }

  Status ChangeStartType(std::uint32_t startType) override {
    std::lock_guard lock(owner_.mutex_);
    if (!(access_ & svc::kChangeConfig)) return kAccessDenied;
    if (startType > svc::kDisabled) return kInvalidParameter;
    owner_.log_.push_back("Config " + s_->keyName + " " + std::to_string(startType));
    s_->startType = startType;
    return kOk;
  }

  Status Delete() override {
    std::lock_guard lock(owner_.mutex_);
    if (!(access_ & svc::kDelete)) return kAccessDenied;
    auto& t = owner_.table_;
    auto it = std::find(t.begin(), t.end(), s_);
    if (it == t.end()) return svc::kServiceMarkedForDelete;
    t.erase(it);
    return kOk;
  }

 private:
  void Begin(std::uint32_t pending, std::uint32_t target) {
    if (s_->pendingQueries == 0) {
      s_->state = target;
      s_->checkPoint = 0;
      return;
    }
    s_->state = pending;
    s_->target = target;
    s_->checkPoint = s_->checkPointStays ? 0 : 1;
    s_->remaining = s_->pendingQueries;
  }
  // Each look at a pending service moves it on by one step.
  void Advance() {
    if (s_->target == 0 || s_->remaining < 0) return;
    if (s_->checkPointGoesBack) {
      s_->checkPoint = s_->checkPoint > 1 ? 0 : s_->checkPoint + 1;
      return;
    }
    if (s_->remaining > 0) {
      --s_->remaining;
      if (!s_->checkPointStays) ++s_->checkPoint;
      return;
    }
    s_->state = s_->endsAs ? s_->endsAs : s_->target;
    s_->target = 0;
    s_->checkPoint = 0;
  }
  ServiceStatus Current() const {
    ServiceStatus st;
    st.serviceType = s_->type;
    st.currentState = s_->state;
    st.controlsAccepted = s_->state == svc::kRunning ? 1 : 0;
    st.checkPoint = s_->checkPoint;
    st.waitHint = s_->waitHint;
    return st;
  }

  SimServices& owner_;
  std::shared_ptr<SimService> s_;
  std::uint32_t access_;
};

class SimServiceManager final : public ServiceManager {
 public:
  SimServiceManager(SimServices& owner, std::uint32_t access) : owner_(owner), access_(access) {}

  std::vector<ServiceEntry> Enumerate(std::uint32_t typeMask, std::uint32_t stateMask,
                                      std::uint32_t bufferBytes, Status* error) override {
    std::lock_guard lock(owner_.mutex_);
    std::vector<ServiceEntry> out;
    auto fail = [&](Status s) {
      if (error) *error = s;
      return out;
    };
    if (!(access_ & svc::kManagerEnumerate)) return fail(kAccessDenied);
    auto sorted = owner_.table_;
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
      return LowerCase(a->keyName) < LowerCase(b->keyName);
    });
    std::uint32_t used = 0;
    for (const auto& s : sorted) {
      if (!(s->type & typeMask)) continue;
      const bool active = s->state != svc::kStopped;
      if (!(stateMask & (active ? svc::kStateActive : svc::kStateInactive))) continue;
      const auto bytes = static_cast<std::uint32_t>(kEnumRecordBytes + s->keyName.size() + 1 +
                                                    s->displayName.size() + 1);
      if (used + bytes > bufferBytes) return fail(kMoreData);
      used += bytes;
      ServiceEntry e;
      e.keyName = s->keyName;
      e.displayName = s->displayName;
      e.status.serviceType = s->type;
      e.status.currentState = s->state;
      e.status.checkPoint = s->checkPoint;
      e.status.waitHint = s->waitHint;
      out.push_back(std::move(e));
    }
    return fail(kOk);
  }

  std::unique_ptr<ServiceHandle> OpenService(std::string_view keyName, std::uint32_t access,
                                             Status* error) override {
    std::lock_guard lock(owner_.mutex_);
    auto fail = [&](Status s) {
      if (error) *error = s;
      return nullptr;
    };
    auto s = owner_.Find(keyName);
    if (!s) return fail(svc::kServiceDoesNotExist);
    if (s->openError != kOk) return fail(s->openError);
    if (!owner_.admin_ && (access & ~kUserServiceAccess)) return fail(kAccessDenied);
    if (error) *error = kOk;
    return std::make_unique<SimServiceHandle>(owner_, s, access);
  }

  Status KeyName(std::string_view displayName, std::uint32_t bufferChars,
                 std::string& keyName) override {
    std::lock_guard lock(owner_.mutex_);
    for (const auto& s : owner_.table_) {
      if (!SameText(s->displayName, displayName)) continue;
      if (s->keyName.size() + 1 > bufferChars) return svc::kInsufficientBuffer;
      keyName = s->keyName;
      return kOk;
    }
    return svc::kServiceDoesNotExist;
  }

  std::unique_ptr<ServiceHandle> CreateService(std::string_view keyName,
                                               std::string_view displayName,
                                               std::string_view binaryPath,
                                               std::uint32_t startType, Status* error) override {
    std::lock_guard lock(owner_.mutex_);
    auto fail = [&](Status s) {
      if (error) *error = s;
      return nullptr;
    };
    if (!(access_ & svc::kManagerCreateService)) return fail(kAccessDenied);
    if (owner_.Find(keyName)) return fail(svc::kServiceExists);
    SimService s;
    s.keyName = std::string(keyName);
    s.displayName = std::string(displayName);
    s.binaryPath = std::string(binaryPath);
    s.startType = startType;
    owner_.Add(std::move(s));
    if (error) *error = kOk;
    return std::make_unique<SimServiceHandle>(owner_, owner_.Find(keyName), svc::kAllAccess);
  }

 private:
  SimServices& owner_;
  std::uint32_t access_;
};

std::unique_ptr<ServiceManager> SimServices::OpenManager(std::string_view machine,
                                                         std::uint32_t access, Status* error) {
  std::lock_guard lock(mutex_);
  Status s = kOk;
  if (!machine.empty())
    s = 1722;  // RPC_S_SERVER_UNAVAILABLE: the simulation has no network
  else if (!admin_ && (access & ~kUserManagerAccess))
    s = kAccessDenied;
  if (error) *error = s;
  if (s != kOk) return nullptr;
  return std::make_unique<SimServiceManager>(*this, access);
}

std::optional<VersionStrings> SimServices::FileVersionStrings(std::string_view path) {
  std::lock_guard lock(mutex_);
  auto it = versions_.find(LowerCase(SimFileSystem::Normalize(path)));
  if (it == versions_.end()) return std::nullopt;
  return it->second;
}

void SimServices::SetVersionStrings(std::string_view path, VersionStrings strings) {
  std::lock_guard lock(mutex_);
  versions_[LowerCase(SimFileSystem::Normalize(path))] = std::move(strings);
}

SimService& SimServices::Add(SimService s) {
  std::lock_guard lock(mutex_);
  table_.push_back(std::make_shared<SimService>(std::move(s)));
  return *table_.back();
}

SimService* SimServices::Get(std::string_view keyName) { return Find(keyName).get(); }

std::shared_ptr<SimService> SimServices::Find(std::string_view keyName) {
  std::lock_guard lock(mutex_);
  for (const auto& s : table_)
    if (SameText(s->keyName, keyName)) return s;
  return nullptr;
}

}  // namespace platform::sim
