#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/win32/internal.h"
#include "platform/win32/win.h"

namespace platform::win32 {
namespace {

Status LastError() { return static_cast<Status>(GetLastError()); }

ServiceStatus FromWin(const SERVICE_STATUS& s) {
  return {s.dwServiceType, s.dwCurrentState, s.dwControlsAccepted, s.dwWin32ExitCode,
          s.dwServiceSpecificExitCode, s.dwCheckPoint, s.dwWaitHint};
}

std::string Text(const char* s) { return s ? s : ""; }

// Owns one service control handle.
class ScHandle {
 public:
  explicit ScHandle(SC_HANDLE h) : h_(h) {}
  ~ScHandle() {
    if (h_) CloseServiceHandle(h_);
  }
  ScHandle(const ScHandle&) = delete;
  ScHandle& operator=(const ScHandle&) = delete;
  SC_HANDLE get() const { return h_; }

 private:
  SC_HANDLE h_;
};

class Win32Service final : public ServiceHandle {
 public:
  explicit Win32Service(SC_HANDLE h) : h_(h) {}

  Status QueryStatus(ServiceStatus& out) override {
    SERVICE_STATUS s{};
    if (!QueryServiceStatus(h_.get(), &s)) return LastError();
    out = FromWin(s);
    return kOk;
  }

  Status QueryConfigSize(std::uint32_t& bytesNeeded) override {
    DWORD needed = 0;
    if (QueryServiceConfigA(h_.get(), nullptr, 0, &needed)) return kOk;
    bytesNeeded = needed;
    return LastError();
  }

  Status QueryConfig(std::uint32_t bufferBytes, ServiceConfig& out) override {
    // QUERY_SERVICE_CONFIG wants pointer alignment; the texts follow it.
    std::vector<std::uint64_t> buf(bufferBytes / 8 + 1);
    auto* c = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buf.data());
    DWORD needed = 0;
    if (!QueryServiceConfigA(h_.get(), c, bufferBytes, &needed)) return LastError();
    out.serviceType = c->dwServiceType;
    out.startType = c->dwStartType;
    out.errorControl = c->dwErrorControl;
    out.binaryPathName = Text(c->lpBinaryPathName);
    out.loadOrderGroup = Text(c->lpLoadOrderGroup);
    out.serviceStartName = Text(c->lpServiceStartName);
    out.displayName = Text(c->lpDisplayName);
    return kOk;
  }

  Status Start() override { return StartServiceA(h_.get(), 0, nullptr) ? kOk : LastError(); }

  Status Control(std::uint32_t control, ServiceStatus& status) override {
    SERVICE_STATUS s{};
    if (!ControlService(h_.get(), control, &s)) return LastError();
    status = FromWin(s);
    return kOk;
  }

  Status ChangeStartType(std::uint32_t startType) override {
    return ChangeServiceConfigA(h_.get(), SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE,
                                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)
               ? kOk
               : LastError();
  }

  Status Delete() override { return DeleteService(h_.get()) ? kOk : LastError(); }

 private:
  ScHandle h_;
};

class Win32ServiceManager final : public ServiceManager {
 public:
  explicit Win32ServiceManager(SC_HANDLE h) : h_(h) {}

  std::vector<ServiceEntry> Enumerate(std::uint32_t typeMask, std::uint32_t stateMask,
                                      std::uint32_t bufferBytes, Status* error) override {
    std::vector<ServiceEntry> out;
    std::vector<std::uint64_t> buf(bufferBytes / 8 + 1);
    auto* records = reinterpret_cast<ENUM_SERVICE_STATUSA*>(buf.data());
    DWORD needed = 0, returned = 0, resume = 0;
    BOOL ok = EnumServicesStatusA(h_.get(), typeMask, stateMask, records, bufferBytes, &needed,
                                  &returned, &resume);
    if (error) *error = ok ? kOk : LastError();
    for (DWORD i = 0; i < returned; ++i)
      out.push_back({Text(records[i].lpServiceName), Text(records[i].lpDisplayName),
                     FromWin(records[i].ServiceStatus)});
    return out;
  }

  std::unique_ptr<ServiceHandle> OpenService(std::string_view keyName, std::uint32_t access,
                                             Status* error) override {
    const std::string name(keyName);
    SC_HANDLE h = OpenServiceA(h_.get(), name.c_str(), access);
    if (error) *error = h ? kOk : LastError();
    if (!h) return nullptr;
    return std::make_unique<Win32Service>(h);
  }

  Status KeyName(std::string_view displayName, std::uint32_t bufferChars,
                 std::string& keyName) override {
    const std::string name(displayName);
    std::vector<char> buf(bufferChars + 1, '\0');
    DWORD size = bufferChars;
    if (!GetServiceKeyNameA(h_.get(), name.c_str(), buf.data(), &size)) return LastError();
    keyName = buf.data();
    return kOk;
  }

  std::unique_ptr<ServiceHandle> CreateService(std::string_view keyName,
                                               std::string_view displayName,
                                               std::string_view binaryPath,
                                               std::uint32_t startType, Status* error) override {
    const std::string key(keyName), display(displayName), path(binaryPath);
    SC_HANDLE h = CreateServiceA(h_.get(), key.c_str(), display.c_str(), SERVICE_ALL_ACCESS,
                                 SERVICE_WIN32_OWN_PROCESS, startType, SERVICE_ERROR_NORMAL,
                                 path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    if (error) *error = h ? kOk : LastError();
    if (!h) return nullptr;
    return std::make_unique<Win32Service>(h);
  }

 private:
  ScHandle h_;
};

class Win32Services final : public Services {
 public:
  std::unique_ptr<ServiceManager> OpenManager(std::string_view machine, std::uint32_t access,
                                              Status* error) override {
    const std::string m(machine);
    SC_HANDLE h = OpenSCManagerA(m.empty() ? nullptr : m.c_str(), nullptr, access);
    if (error) *error = h ? kOk : LastError();
    if (!h) return nullptr;
    return std::make_unique<Win32ServiceManager>(h);
  }

  std::optional<VersionStrings> FileVersionStrings(std::string_view path) override {
    const std::string p(path);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(p.c_str(), &ignored);
    if (!size) return std::nullopt;
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(p.c_str(), 0, size, data.data())) return std::nullopt;
    struct Translation {
      WORD language, codePage;
    };
    Translation* t = nullptr;
    UINT len = 0;
    if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&t),
                        &len) ||
        len < sizeof(Translation))
      return std::nullopt;
    char prefix[40];
    std::snprintf(prefix, sizeof(prefix), "\\StringFileInfo\\%04x%04x\\", t->language,
                  t->codePage);
    VersionStrings out;
    for (const char* key : kVersionKeys) {
      char* value = nullptr;
      UINT chars = 0;
      const std::string query = prefix + std::string(key);
      if (VerQueryValueA(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &chars) &&
          value)
        out.values[key] = std::string(value, strnlen(value, chars));
    }
    return out;
  }
};

}  // namespace

std::unique_ptr<Services> CreateServices() { return std::make_unique<Win32Services>(); }

}  // namespace platform::win32
