#pragma once
// The offline machine's registry over the installation's hives:
// HKEY_LOCAL_MACHINE\SOFTWARE and \SYSTEM (with "CurrentControlSet" the
// control set SYSTEM's Select key names), HKEY_CURRENT_USER the current
// profile's NTUSER.DAT, HKEY_CLASSES_ROOT SOFTWARE's Classes, HKEY_USERS the
// open profiles by SID. A key of SOFTWARE (and of Classes) that also exists
// in the 32-bit view ("Wow6432Node") reads as both: the native key's values
// and subkeys first, then those only the 32-bit key has.
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry.h"

namespace platform::offline {

class HiveFile;

class OfflineRegistry final : public Registry {
 public:
  std::unique_ptr<RegistryKey> Open(Hive hive, std::string_view path, std::uint32_t access,
                                    Status* error = nullptr) override;
  std::unique_ptr<RegistryKey> Create(Hive hive, std::string_view path, std::uint32_t access,
                                      Status* error = nullptr) override;
  Status DeleteKey(Hive hive, std::string_view path) override;

  // controlSet: the name of the current control set ("ControlSet001").
  void SetMachineHives(HiveFile* software, HiveFile* system, std::string controlSet);
  // The profiles' hives by SID; the default user's hive under ".DEFAULT".
  void SetUserHives(std::vector<std::pair<std::string, HiveFile*>> users);
  void SetCurrentUser(HiveFile* user);
  // Where a value lives for good: HKEY_CURRENT_USER as the current
  // profile's HKEY_USERS\<SID>, and a value only the 32-bit view holds
  // under its "Wow6432Node" path; otherwise as named.
  void PlaceOf(Hive& hive, std::string& path, std::string_view name);

  struct Target;

 private:
  // The places a key path stands for, native view first; virtual: the names
  // of a key made by the mapping itself (a root with hives below it).
  std::vector<Target> Map(Hive hive, std::string_view path, std::vector<std::string>* virtualNames);

  std::recursive_mutex mutex_;
  HiveFile* software_ = nullptr;
  HiveFile* system_ = nullptr;
  std::string controlSet_ = "ControlSet001";
  std::vector<std::pair<std::string, HiveFile*>> users_;
  HiveFile* currentUser_ = nullptr;
};

}  // namespace platform::offline
