#include <vector>

#include "platform/win32/internal.h"
#include "platform/win32/win.h"

namespace platform::win32 {
namespace {

HKEY RootOf(Hive h) {
  switch (h) {
    case Hive::ClassesRoot: return HKEY_CLASSES_ROOT;
    case Hive::CurrentUser: return HKEY_CURRENT_USER;
    case Hive::LocalMachine: return HKEY_LOCAL_MACHINE;
    case Hive::Users: return HKEY_USERS;
    case Hive::CurrentConfig: return HKEY_CURRENT_CONFIG;
  }
  return HKEY_CURRENT_USER;
}

class Win32Key final : public RegistryKey {
 public:
  explicit Win32Key(HKEY k) : key_(k) {}
  ~Win32Key() override { RegCloseKey(key_); }

  std::vector<std::string> SubkeyNames() override {
    std::vector<std::string> out;
    char name[256];
    for (DWORD i = 0;; ++i) {
      DWORD len = sizeof(name);
      LONG r = RegEnumKeyExA(key_, i, name, &len, nullptr, nullptr, nullptr, nullptr);
      if (r == ERROR_MORE_DATA) continue;
      if (r != ERROR_SUCCESS) break;
      out.emplace_back(name, len);
    }
    return out;
  }

  std::vector<std::string> ValueNames() override {
    std::vector<std::string> out;
    std::vector<char> name(16384);
    for (DWORD i = 0;; ++i) {
      DWORD len = static_cast<DWORD>(name.size());
      LONG r = RegEnumValueA(key_, i, name.data(), &len, nullptr, nullptr, nullptr, nullptr);
      if (r != ERROR_SUCCESS && r != ERROR_MORE_DATA) break;
      out.emplace_back(name.data(), len);
    }
    return out;
  }

  std::optional<RegValue> Query(std::string_view name) override {
    const std::string n(name);
    DWORD type = 0, size = 0;
    // Grow and retry: the value may change between the two calls.
    std::string data;
    for (int attempt = 0; attempt < 8; ++attempt) {
      LONG r = RegQueryValueExA(key_, n.c_str(), nullptr, &type,
                                data.empty() ? nullptr : reinterpret_cast<BYTE*>(data.data()), &size);
      if (r == ERROR_SUCCESS && (!data.empty() || size == 0)) {
        data.resize(size);
        return RegValue{static_cast<ValueType>(type), std::move(data)};
      }
      if (r != ERROR_SUCCESS && r != ERROR_MORE_DATA) return std::nullopt;
      data.resize(size ? size : 1);
    }
    return std::nullopt;
  }

  Status Set(std::string_view name, ValueType type, std::string_view data) override {
    const std::string n(name);
    return static_cast<Status>(RegSetValueExA(key_, n.c_str(), 0, static_cast<DWORD>(type),
                                              reinterpret_cast<const BYTE*>(data.data()),
                                              static_cast<DWORD>(data.size())));
  }

  Status DeleteValue(std::string_view name) override {
    const std::string n(name);
    return static_cast<Status>(RegDeleteValueA(key_, n.c_str()));
  }

 private:
  HKEY key_;
};

class Win32Registry final : public Registry {
 public:
  std::unique_ptr<RegistryKey> Open(Hive hive, std::string_view path, std::uint32_t access,
                                    Status* error) override {
    const std::string p(path);
    HKEY k = nullptr;
    LONG r = RegOpenKeyExA(RootOf(hive), p.c_str(), 0, access, &k);
    if (error) *error = static_cast<Status>(r);
    if (r != ERROR_SUCCESS) return nullptr;
    return std::make_unique<Win32Key>(k);
  }
  std::unique_ptr<RegistryKey> Create(Hive hive, std::string_view path, std::uint32_t access,
                                      Status* error) override {
    const std::string p(path);
    HKEY k = nullptr;
    LONG r = RegCreateKeyExA(RootOf(hive), p.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                             nullptr, &k, nullptr);
    if (error) *error = static_cast<Status>(r);
    if (r != ERROR_SUCCESS) return nullptr;
    return std::make_unique<Win32Key>(k);
  }
  Status DeleteKey(Hive hive, std::string_view path) override {
    const std::string p(path);
    return static_cast<Status>(RegDeleteKeyA(RootOf(hive), p.c_str()));
  }
};

}  // namespace

std::unique_ptr<Registry> CreateRegistry() { return std::make_unique<Win32Registry>(); }

}  // namespace platform::win32
