#include <vector>

#include "platform/win32/internal.h"
#include "platform/win32/machine.h"
#include "platform/win32/win.h"

namespace platform::win32 {
namespace {

// Vista and later: reads the image of processes that GetModuleFileNameEx
// cannot (64-bit processes seen from a 32-bit program, protected ones).
using QueryFullName = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, PDWORD);

QueryFullName QueryFullProcessImageName() {
  static const auto fn = reinterpret_cast<QueryFullName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameA")));
  return fn;
}

class Win32Processes final : public Processes {
 public:
  std::vector<ProcessEntry> Snapshot() override {
    std::vector<ProcessEntry> out;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return out;
    PROCESSENTRY32 e;
    e.dwSize = sizeof(e);
    for (BOOL ok = Process32First(snap, &e); ok; ok = Process32Next(snap, &e))
      out.push_back({e.th32ProcessID, e.th32ParentProcessID, e.szExeFile});
    CloseHandle(snap);
    return out;
  }

  std::vector<std::uint32_t> EnumerateIds() override {
    std::vector<DWORD> ids(1025);
    for (;;) {
      DWORD bytes = 0;
      if (!EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes))
        return {};
      if (bytes < ids.size() * sizeof(DWORD)) {
        ids.resize(bytes / sizeof(DWORD));
        break;
      }
      ids.resize(ids.size() * 2);
    }
    return {ids.begin(), ids.end()};
  }

  std::optional<std::string> MainModulePath(std::uint32_t pid) override {
    char buf[MAX_PATH * 2];
    if (HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid)) {
      DWORD n = GetModuleFileNameExA(h, nullptr, buf, sizeof(buf));
      CloseHandle(h);
      if (n) return std::string(buf, n);
    }
    if (auto query = QueryFullProcessImageName()) {
      if (HANDLE h = OpenProcess(0x1000 /* PROCESS_QUERY_LIMITED_INFORMATION */, FALSE, pid)) {
        DWORD n = sizeof(buf);
        BOOL ok = query(h, 0, buf, &n);
        CloseHandle(h);
        if (ok && n) return std::string(buf, n);
      }
    }
    return std::nullopt;
  }

  Status Terminate(std::uint32_t pid, std::uint32_t exitCode) override {
    HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
    if (!h) return static_cast<Status>(GetLastError());
    Status s = TerminateProcess(h, exitCode) ? kOk : static_cast<Status>(GetLastError());
    CloseHandle(h);
    return s;
  }

  std::uint32_t CurrentPid() override { return GetCurrentProcessId(); }
};

}  // namespace

std::unique_ptr<Processes> CreateProcesses() { return std::make_unique<Win32Processes>(); }

std::uint32_t LaunchProgram(const std::string& path) {
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  std::string cmd = "\"" + path + "\"";
  if (!CreateProcessA(path.c_str(), cmd.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &si, &pi))
    return 0;
  WaitForInputIdle(pi.hProcess, 2000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return pi.dwProcessId;
}

int RunAndWait(const std::string& path, const std::string& arguments, unsigned timeoutMs) {
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  std::string cmd = "\"" + path + "\" " + arguments;
  if (!CreateProcessA(path.c_str(), cmd.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &si, &pi))
    return -1;
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0)
    GetExitCodeProcess(pi.hProcess, &code);
  else
    TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

}  // namespace platform::win32
