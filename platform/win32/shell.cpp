// The shell: documents and property sheets, special folders, shell links
// and file icons.

#include "platform/win32/internal.h"
#include "platform/win32/win.h"

namespace platform::win32 {
namespace {

std::wstring Wide(const std::string& s) {
  int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, nullptr, 0);
  std::wstring w(n > 0 ? static_cast<std::size_t>(n) : 1u, L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, w.data(), n);
  w.resize(w.size() - 1);
  return w;
}

// COM for this thread, once; shell links need it.
void EnsureCom() {
  static thread_local bool done = false;
  if (!done) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    done = true;
  }
}

template <class T>
struct ComPtr {
  T* p = nullptr;
  ~ComPtr() {
    if (p) p->Release();
  }
  T* operator->() { return p; }
};

class Win32Shell final : public Shell {
 public:
  Status Execute(std::string_view verb, std::string_view file, std::string_view params,
                 std::string_view directory, int show) override {
    // Without the shell's item menu an unknown verb runs the file: never for
    // a property sheet of a suspect program.
    if (verb == "properties") return ShowProperties(file);
    const std::string v(verb), f(file), p(params), d(directory);
    auto r = reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, v.c_str(), f.c_str(),
                                                     p.empty() ? nullptr : p.c_str(),
                                                     d.empty() ? nullptr : d.c_str(), show));
    return r > 32 ? kOk : static_cast<Status>(r ? r : ERROR_OUTOFMEMORY);
  }

  Status ShowProperties(std::string_view file) override {
    EnsureCom();
    const std::string f(file);
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_INVOKEIDLIST | SEE_MASK_FLAG_NO_UI;
    info.hwnd = GetActiveWindow();
    info.lpVerb = "properties";
    info.lpFile = f.c_str();
    info.nShow = SW_SHOW;
    if (ShellExecuteExA(&info)) return kOk;
    DWORD e = GetLastError();
    return e ? static_cast<Status>(e) : kFileNotFound;
  }

  std::string SpecialFolder(int csidl) override {
    LPITEMIDLIST list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &list)) || !list) return {};
    char path[MAX_PATH + 1] = {};
    const bool ok = SHGetPathFromIDListA(list, path);
    CoTaskMemFree(list);
    return ok ? std::string(path) : std::string();
  }

  std::optional<std::string> ShortcutTarget(std::string_view linkPath) override {
    EnsureCom();
    ComPtr<IShellLinkA> link;
    ComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link.p))) ||
        FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p))))
      return std::nullopt;
    const std::wstring w = Wide(std::string(linkPath));
    if (FAILED(file->Load(w.c_str(), 0))) return std::nullopt;
    char target[MAX_PATH + 1] = {};
    if (FAILED(link->GetPath(target, MAX_PATH, nullptr, SLGP_UNCPRIORITY))) return std::string();
    return std::string(target);
  }

  Status CreateShortcut(std::string_view linkPath, std::string_view target) override {
    EnsureCom();
    ComPtr<IShellLinkA> link;
    ComPtr<IPersistFile> file;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(&link.p));
    if (SUCCEEDED(hr)) hr = link->SetPath(std::string(target).c_str());
    if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p));
    if (SUCCEEDED(hr)) hr = file->Save(Wide(std::string(linkPath)).c_str(), TRUE);
    return SUCCEEDED(hr) ? kOk : kAccessDenied;
  }

  bool HasIcon(std::string_view file) override {
    const std::string f(file);
    if (GetFileAttributesA(f.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    const UINT count = ExtractIconExA(f.c_str(), -1, nullptr, nullptr, 0);
    return count > 0 && count != UINT(-1);
  }
};

}  // namespace

std::unique_ptr<Shell> CreateShell() { return std::make_unique<Win32Shell>(); }

}  // namespace platform::win32
