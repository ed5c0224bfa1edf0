#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace platform {

enum class Hive : std::uint32_t { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };

// Access masks with their Win32 values.
namespace keyaccess {
inline constexpr std::uint32_t kQueryValue = 0x0001;
inline constexpr std::uint32_t kSetValue = 0x0002;
inline constexpr std::uint32_t kCreateSubKey = 0x0004;
inline constexpr std::uint32_t kEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kRead = 0x20019;
inline constexpr std::uint32_t kWrite = 0x20006;
inline constexpr std::uint32_t kAllAccess = 0xF003F;
}  // namespace keyaccess

enum class ValueType : std::uint32_t {
  None = 0,
  String = 1,
  ExpandString = 2,
  Binary = 3,
  Dword = 4,
  MultiString = 7,
};

// A value as the registry holds it: raw bytes, strings with their
// terminating NULs exactly as written.
struct RegValue {
  ValueType type = ValueType::None;
  std::string data;
};

class RegistryKey {
 public:
  virtual ~RegistryKey() = default;

  virtual std::vector<std::string> SubkeyNames() = 0;
  virtual std::vector<std::string> ValueNames() = 0;
  virtual std::optional<RegValue> Query(std::string_view name) = 0;
  virtual Status Set(std::string_view name, ValueType type, std::string_view data) = 0;
  virtual Status DeleteValue(std::string_view name) = 0;

  // Typed access over Query/Set. Reads fail (nullopt) on a missing value or
  // a value of another type.
  std::optional<std::string> ReadString(std::string_view name);  // String or ExpandString
  std::optional<std::vector<std::string>> ReadMultiString(std::string_view name);
  std::optional<std::uint32_t> ReadDword(std::string_view name);
  std::optional<std::string> ReadBinary(std::string_view name);
  Status WriteString(std::string_view name, std::string_view value);
  Status WriteExpandString(std::string_view name, std::string_view value);
  Status WriteMultiString(std::string_view name, const std::vector<std::string>& values);
  Status WriteDword(std::string_view name, std::uint32_t value);
  Status WriteBinary(std::string_view name, std::string_view bytes);
};

// The names of a key path, empty ones (doubled or outer backslashes) left out.
std::vector<std::string> SplitKeyPath(std::string_view path);

class Registry {
 public:
  virtual ~Registry() = default;
  // Opens an existing key; null with *error set when it does not open.
  virtual std::unique_ptr<RegistryKey> Open(Hive hive, std::string_view path,
                                            std::uint32_t access, Status* error = nullptr) = 0;
  // Opens the key, creating it and any missing parents.
  virtual std::unique_ptr<RegistryKey> Create(Hive hive, std::string_view path,
                                              std::uint32_t access, Status* error = nullptr) = 0;
  // Deletes a key that has no subkeys.
  virtual Status DeleteKey(Hive hive, std::string_view path) = 0;
};

}  // namespace platform
