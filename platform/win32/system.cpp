#include "platform/win32/internal.h"
#include "platform/win32/machine.h"
#include "platform/win32/win.h"

namespace platform::win32 {
namespace {

class Win32System final : public SystemInfo {
 public:
  std::optional<OsVersion> Version() override {
    OSVERSIONINFOEXA v{};
    v.dwOSVersionInfoSize = sizeof(v);  // 156 bytes
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&v))) return std::nullopt;
    OsVersion o;
    o.major = v.dwMajorVersion;
    o.minor = v.dwMinorVersion;
    o.build = v.dwBuildNumber;
    o.platformId = v.dwPlatformId;
    o.servicePack = v.szCSDVersion;
    o.servicePackMajor = v.wServicePackMajor;
    o.servicePackMinor = v.wServicePackMinor;
    o.suiteMask = v.wSuiteMask;
    o.productType = v.wProductType;
    return o;
  }

  std::uint16_t NativeArchitecture() override {
    using GetNative = void(WINAPI*)(LPSYSTEM_INFO);
    static const auto fn = reinterpret_cast<GetNative>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetNativeSystemInfo")));
    SYSTEM_INFO si{};
    if (fn)
      fn(&si);
    else
      GetSystemInfo(&si);
    return si.wProcessorArchitecture;
  }

  std::string ModulePath() override {
    std::string buf(MAX_PATH, '\0');
    for (;;) {
      DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
      if (n == 0) return {};
      if (n < buf.size()) {
        buf.resize(n);
        return buf;
      }
      buf.resize(buf.size() * 2);
    }
  }

  std::string UserName() override {
    char buf[257];
    DWORD n = sizeof(buf);
    return GetUserNameA(buf, &n) ? std::string(buf) : std::string();
  }
};

class Win32Machine final : public Machine {
 public:
  Registry& Reg() override { return *reg_; }
  FileSystem& Files() override { return *files_; }
  Processes& Procs() override { return *procs_; }
  SystemInfo& Sys() override { return *sys_; }
  Shell& Sh() override { return *shell_; }
  Services& Svc() override { return *services_; }
  Network& Net() override { return *net_; }

 private:
  std::unique_ptr<Registry> reg_ = CreateRegistry();
  std::unique_ptr<FileSystem> files_ = CreateFileSystem();
  std::unique_ptr<Processes> procs_ = CreateProcesses();
  std::unique_ptr<SystemInfo> sys_ = std::make_unique<Win32System>();
  std::unique_ptr<Shell> shell_ = CreateShell();
  std::unique_ptr<Services> services_ = CreateServices();
  std::unique_ptr<Network> net_ = CreateNetwork();
};

}  // namespace

std::unique_ptr<Machine> CreateMachine() { return std::make_unique<Win32Machine>(); }

std::string SystemLowerCase(std::string text) {
  if (!text.empty()) CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

}  // namespace platform::win32
